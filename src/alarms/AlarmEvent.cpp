#include "AlarmEvent.h"

namespace tarnwick {

namespace {

// A limit as the roster gives it: "-15", "2.5", "0.125".
QString limitText(double celsius) {
    QString text = QString::number(celsius, 'f', 3);
    while (text.endsWith(u'0')) text.chop(1);
    if (text.endsWith(u'.')) text.chop(1);
    return text + QStringLiteral(" °C");
}

QString readingText(const AlarmEvent& event) {
    if (event.celsius) return QString::number(*event.celsius, 'f', 2) + QStringLiteral(" °C");
    return QStringLiteral("no valid reading (%1)").arg(event.word);
}

}  // namespace

QString alarmStateName(AlarmState state) {
    switch (state) {
        case AlarmState::Ok:
            return QStringLiteral("ok");
        case AlarmState::Fault:
            return QStringLiteral("fault");
        case AlarmState::Low:
            return QStringLiteral("low");
        case AlarmState::High:
            return QStringLiteral("high");
    }
    return QString();
}

QString AlarmEvent::subjectText() const {
    if (subject == Subject::Adapter) return QStringLiteral("adapter ") + adapter;
    const QString who = name.isEmpty() ? rom : name + QStringLiteral(", ") + rom;
    return QStringLiteral("sensor %1 (%2)").arg(number).arg(who);
}

QString AlarmEvent::describe() const {
    return (raised() ? QStringLiteral("Alarm: ") : QStringLiteral("Alarm cleared: ")) + summary();
}

QString AlarmEvent::summary() const {
    if (subject == Subject::Adapter) {
        return subjectText() + (raised() ? QStringLiteral(" not answering: ") + reason
                                         : QStringLiteral(" answering again"));
    }
    QString line = subjectText() + u' ' + alarmStateName(kind()) + QStringLiteral(": ") +
                   readingText(*this);
    if (raised() && limit)
        line += (to == AlarmState::Low ? QStringLiteral(", below ") : QStringLiteral(", above ")) +
                limitText(*limit);
    return line;
}

}  // namespace tarnwick
