#include "RepaintThrottle.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace tarnwick {

RepaintThrottle::RepaintThrottle(QWidget* window, std::chrono::milliseconds interval)
    : QObject(window), window_(window), interval_(interval) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &RepaintThrottle::release);
    window_->installEventFilter(this);
}

void RepaintThrottle::setInterval(std::chrono::milliseconds interval) {
    interval_ = interval;
    if (timer_.isActive()) {
        timer_.stop();
        schedule();  // a held repaint is timed afresh
    }
}

bool RepaintThrottle::canBeSeen() const {
    const QWindow* handle = window_->windowHandle();
    return window_->isVisible() && !window_->isMinimized() && handle != nullptr &&
           handle->isExposed();
}

void RepaintThrottle::hold(QWidget* control) {
    ++heldBack_;
    if (!held_.contains(control)) {
        control->setUpdatesEnabled(false);
        held_.append(control);
    }
    schedule();
}

void RepaintThrottle::paintDue() {
    ++heldBack_;
    paintDue_ = true;
    schedule();
}

void RepaintThrottle::schedule() {
    // A window that cannot be seen is scheduled again when it can.
    if (!anythingHeld() || timer_.isActive() || !canBeSeen()) return;
    const qint64 since =
        sinceLastRelease_.isValid() ? sinceLastRelease_.elapsed() : interval_.count();
    timer_.start(std::chrono::milliseconds(std::max<qint64>(interval_.count() - since, 0)));
}

void RepaintThrottle::release() {
    if (!anythingHeld()) return;
    // Not to be seen: showing, restoring or exposing the window schedules
    // the release again.
    if (!canBeSeen()) return;
    sinceLastRelease_.restart();
    paintDue_ = false;
    if (beforePaint_) beforePaint_();
    // Letting a control be updated again asks for its whole repaint.
    const QList<QPointer<QWidget>> held = std::exchange(held_, {});
    for (const QPointer<QWidget>& control : held)
        if (control) control->setUpdatesEnabled(true);
    // Painted now, not when that request comes round: this runs in the wait
    // for a page, often in the same wake-up as the page itself (the timer is
    // coarse), and the cycle's next change would hold the control again
    // first; a control held when its repaint comes round is skipped, and
    // one that changes with every page was never painted at all.
    QEvent paintNow(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(window_, &paintNow);
}

bool RepaintThrottle::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    const bool seenAgain = watched == window_
                               ? type == QEvent::Show || type == QEvent::WindowStateChange
                               : type == QEvent::Expose;
    if (!seenAgain) return false;
    // The native window exists once the window is shown; its exposure is
    // watched from then on.
    if (QWindow* handle = window_->windowHandle(); handle != nullptr && handle != watchedHandle_) {
        handle->installEventFilter(this);
        watchedHandle_ = handle;
    }
    // Seen again: what was held back is painted now.
    if (anythingHeld() && window_->isVisible() && !window_->isMinimized()) timer_.start(0);
    return false;
}

}  // namespace tarnwick
