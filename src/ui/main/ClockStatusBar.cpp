#include "ClockStatusBar.h"

#include <QLabel>
#include <QLocale>
#include <QTimer>

#include "Timestamp.h"

namespace tarnwick {

ClockStatusBar::ClockStatusBar(const WallClock& clock, int panelMinimumWidth, QWidget* parent)
    : QStatusBar(parent), timer_(new QTimer(this)), clock_(clock) {
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("sbStatusBarPanel%1").arg(i + 1));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setIndent(3);
        label->setMinimumWidth(panelMinimumWidth);
        panels_[i] = label;
    }
    panels_[0]->setText(QStringLiteral("Status"));
    addWidget(panels_[0], 1);
    addPermanentWidget(panels_[1]);
    addPermanentWidget(panels_[2]);

    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    connect(timer_, &QTimer::timeout, this, &ClockStatusBar::refresh);
    refresh();
}

QLabel* ClockStatusBar::panel(int number) const {
    if (number < 1 || number > kPanelCount) return nullptr;
    return panels_[static_cast<std::size_t>(number - 1)];
}

QString ClockStatusBar::statusText() const { return panels_[0]->text(); }

void ClockStatusBar::setStatusText(const QString& text) { panels_[0]->setText(text); }

void ClockStatusBar::refresh() {
    const QDateTime now = clock_.localNow();
    const QLocale locale;
    panels_[1]->setText(locale.toString(now.date(), QLocale::ShortFormat));
    panels_[2]->setText(locale.toString(now.time(), hoursMinutesFormat(locale)));
    // An early tick shows the old minute again and re-arms for the few
    // milliseconds left, so the change is never missed.
    timer_->start(msecsToNextMinute(now));
}

int ClockStatusBar::msecsToNextMinute(const QDateTime& now) {
    const QTime time = now.time();
    return 60000 - (time.second() * 1000 + time.msec());
}

}  // namespace tarnwick
