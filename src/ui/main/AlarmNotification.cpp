#include "AlarmNotification.h"

#include "SensorTip.h"

namespace tarnwick {

namespace {

QString who(const AlarmEvent& event) {
    if (event.subject == AlarmEvent::Subject::Adapter)
        return QStringLiteral("Adapter ") + event.adapter;
    if (!event.name.isEmpty()) return event.name;
    return QStringLiteral("Sensor %1").arg(event.number);
}

QString what(const AlarmEvent& event) {
    if (event.subject == AlarmEvent::Subject::Adapter)
        return event.raised() ? QStringLiteral("not answering") : QStringLiteral("answering again");
    return event.raised() ? alarmStateName(event.to) : QStringLiteral("back to normal");
}

// The first line of the body: the reading and the limit.
QString reading(const AlarmEvent& event, const QLocale& locale) {
    if (event.subject == AlarmEvent::Subject::Adapter) {
        if (!event.raised()) return QStringLiteral("Readings are taken again");
        QString reason = event.reason;
        if (!reason.isEmpty()) reason[0] = reason[0].toUpper();
        return reason;
    }
    if (!event.celsius) return QStringLiteral("No valid reading (%1)").arg(event.word);
    QString line = shownReading(*event.celsius, locale);
    if (event.limit) {
        const QString side = !event.raised()               ? QStringLiteral(", back inside ")
                             : event.to == AlarmState::Low ? QStringLiteral(", below ")
                                                           : QStringLiteral(", above ");
        line += side + shownLimit(*event.limit, locale);
    }
    return line;
}

// The second: which sensor (or adapter) and when.
QString where(const AlarmEvent& event) {
    const QString when = event.at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (event.subject == AlarmEvent::Subject::Adapter) return QStringLiteral("At ") + when;
    return QStringLiteral("Sensor %1 (%2) at %3").arg(event.number).arg(event.rom, when);
}

}  // namespace

DesktopNotification alarmNotification(const AlarmEvent& event, const QLocale& locale) {
    return {.summary = who(event) + QStringLiteral(": ") + what(event),
            .body = reading(event, locale) + u'\n' + where(event),
            .urgency = event.raised() ? DesktopNotification::Urgency::Critical
                                      : DesktopNotification::Urgency::Normal};
}

}  // namespace tarnwick
