// Paces the painting of what the acquisition cycle changes in a window. The
// cycle changes controls after each page, up to a hundred times a second.
// The controls handed to hold() take their new values at once, so what code
// or a screen reader reads of them is current; only painting them waits, at
// most one interval, and whatever changed meanwhile is painted in one go.
// Work put off until the paint (setBeforePaint) is for what only the screen
// needs: the caller keeps the values current itself. While the window is
// minimised, hidden or not exposed, nothing of it is painted until it can be
// seen again. What the user does (typing, hovering, clicking) is painted at
// once as usual: only the controls handed to hold() wait.
#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <chrono>
#include <functional>

class QWidget;

namespace tarnwick {

class RepaintThrottle : public QObject {
    Q_OBJECT
  public:
    explicit RepaintThrottle(QWidget* window,
                             std::chrono::milliseconds interval = std::chrono::milliseconds(250));

    void setInterval(std::chrono::milliseconds interval);
    // Runs when held controls are let go, before they are painted: work that
    // only the painting needs (text layout) is done here, once for all the
    // changes since the last paint.
    void setBeforePaint(std::function<void()> beforePaint) {
        beforePaint_ = std::move(beforePaint);
    }
    // Called before a change to `control` (a child of the window): its
    // repaint waits for the next paint of the held controls. Until then it
    // asks Qt for no repaint at all, so no event is posted per change.
    void hold(QWidget* control);
    // Asks for the before-paint work to run, at the same pace, for a change
    // that asks Qt for no repaint by itself.
    void paintDue();
    // Changes held back so far; tests and benchmarks read it.
    int heldBack() const { return heldBack_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool canBeSeen() const;
    bool anythingHeld() const { return !held_.isEmpty() || paintDue_; }
    void schedule();
    void release();

    QWidget* window_;
    std::function<void()> beforePaint_;
    std::chrono::milliseconds interval_;
    QElapsedTimer sinceLastRelease_;
    QTimer timer_;
    QList<QPointer<QWidget>> held_;
    QPointer<QWindow> watchedHandle_;
    int heldBack_ = 0;
    bool paintDue_ = false;
};

}  // namespace tarnwick
