// Paces the painting of a top-level window. Every change to a control asks Qt
// for a repaint of the window, and the acquisition cycle changes the window
// after each page, up to a hundred times a second. The changes themselves are
// made at once, so what a test or a screen reader reads is always current;
// only painting them (and the text layout that painting needs) waits, at most
// one interval, and whatever changed meanwhile is painted in one go. A window
// that is minimised, hidden or not exposed paints nothing until it can be
// seen again.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

class QWidget;

namespace tarnwick {

class RepaintThrottle : public QObject {
  public:
    explicit RepaintThrottle(QWidget* window,
                             std::chrono::milliseconds interval = std::chrono::milliseconds(100));

    void setInterval(std::chrono::milliseconds interval);
    // Runs before each paint that the throttle lets through, and when the
    // window is shown or restored: work that only the painting needs (text
    // layout) is done here, once for all the changes since the last paint.
    void setBeforePaint(std::function<void()> beforePaint) {
        beforePaint_ = std::move(beforePaint);
    }
    // Repaints held back so far; tests and benchmarks read it.
    int heldBack() const { return heldBack_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool canBeSeen() const;
    void release();

    void runBeforePaint();

    QWidget* window_;
    std::function<void()> beforePaint_;
    std::chrono::milliseconds interval_;
    QElapsedTimer sinceLastPaint_;
    QTimer timer_;
    bool pending_ = false;
    int heldBack_ = 0;
};

}  // namespace tarnwick
