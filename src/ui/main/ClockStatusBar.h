// The main window's status bar: three panels, left to right a text panel that
// takes all spare width, the current date (short date form of the locale) and
// the current time (hours and minutes, short time form of the locale). The bar
// keeps panels 2 and 3 current by itself: a timer re-reads the wall clock just
// after every change of minute.
#pragma once

#include <QDateTime>
#include <QStatusBar>
#include <array>

#include "WallClock.h"

class QLabel;
class QTimer;

namespace tarnwick {

class ClockStatusBar : public QStatusBar {
    Q_OBJECT
  public:
    static constexpr int kPanelCount = 3;

    // Panels 2 and 3 show `clock`'s date and time; it must outlive the bar.
    // `panelMinimumWidth` (pixels) is the least width of every panel; panels 2
    // and 3 grow beyond it when their text needs more room.
    ClockStatusBar(const WallClock& clock, int panelMinimumWidth, QWidget* parent = nullptr);

    // Panel 1 to 3, numbered as on screen; nullptr outside that range.
    QLabel* panel(int number) const;

    // The text of panel 1 ("Status" at first).
    QString statusText() const;
    void setStatusText(const QString& text);

    // Reads the clock into panels 2 and 3 and arms the timer for the next
    // change of minute.
    void refresh();

    // The timer that calls refresh().
    const QTimer* refreshTimer() const { return timer_; }

    // Milliseconds from `now` until the minute after it begins (1 to 60000).
    static int msecsToNextMinute(const QDateTime& now);

  private:
    std::array<QLabel*, kPanelCount> panels_{};
    QTimer* timer_ = nullptr;
    const WallClock& clock_;
};

}  // namespace tarnwick
