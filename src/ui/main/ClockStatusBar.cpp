#include "ClockStatusBar.h"

#include <QLabel>
#include <QLocale>
#include <QRegularExpression>
#include <QTimer>

namespace {

// The locale's short time form without seconds (some locales show them).
QString HoursMinutesFormat(const QLocale& locale) {
    static const QRegularExpression kSeconds(QStringLiteral("[^Hhm'AaPp ]?s{1,2}(\\.z+)?"));
    QString format = locale.timeFormat(QLocale::ShortFormat);
    format.remove(kSeconds);
    return format.trimmed();
}

}  // namespace

ClockStatusBar::ClockStatusBar(int panelMinimumWidth, QWidget* parent)
    : QStatusBar(parent),
      m_timer(new QTimer(this)),
      m_clock([] { return QDateTime::currentDateTime(); }) {
    for (std::size_t i = 0; i < m_panels.size(); ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("sbStatusBarPanel%1").arg(i + 1));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setIndent(3);
        label->setMinimumWidth(panelMinimumWidth);
        m_panels[i] = label;
    }
    m_panels[0]->setText(QStringLiteral("Status"));
    addWidget(m_panels[0], 1);
    addPermanentWidget(m_panels[1]);
    addPermanentWidget(m_panels[2]);

    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &ClockStatusBar::refresh);
    refresh();
}

QLabel* ClockStatusBar::panel(int number) const {
    if (number < 1 || number > kPanelCount) return nullptr;
    return m_panels[static_cast<std::size_t>(number - 1)];
}

QString ClockStatusBar::statusText() const { return m_panels[0]->text(); }

void ClockStatusBar::setStatusText(const QString& text) { m_panels[0]->setText(text); }

void ClockStatusBar::setClock(Clock clock) {
    m_clock = std::move(clock);
    refresh();
}

void ClockStatusBar::refresh() {
    const QDateTime now = m_clock();
    const QLocale locale;
    m_panels[1]->setText(locale.toString(now.date(), QLocale::ShortFormat));
    m_panels[2]->setText(locale.toString(now.time(), HoursMinutesFormat(locale)));
    // An early tick shows the old minute again and re-arms for the few
    // milliseconds left, so the change is never missed.
    m_timer->start(MsecsToNextMinute(now));
}

int ClockStatusBar::MsecsToNextMinute(const QDateTime& now) {
    const QTime time = now.time();
    return 60000 - (time.second() * 1000 + time.msec());
}
