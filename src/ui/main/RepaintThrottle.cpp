#include "RepaintThrottle.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace tarnwick {

RepaintThrottle::RepaintThrottle(QWidget* window, std::chrono::milliseconds interval)
    : QObject(window), window_(window), interval_(interval) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &RepaintThrottle::release);
    window_->installEventFilter(this);
}

void RepaintThrottle::setInterval(std::chrono::milliseconds interval) {
    interval_ = interval;
    if (timer_.isActive()) timer_.start(0);  // a held repaint is timed afresh
}

bool RepaintThrottle::canBeSeen() const {
    const QWindow* handle = window_->windowHandle();
    return window_->isVisible() && !window_->isMinimized() && handle != nullptr &&
           handle->isExposed();
}

void RepaintThrottle::release() {
    if (!pending_ || !canBeSeen()) return;
    // Qt asks for no further repaint while the one it asked for is held, so
    // the held one is asked for again; it comes through the filter below.
    QCoreApplication::postEvent(window_, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}

void RepaintThrottle::runBeforePaint() {
    if (beforePaint_) beforePaint_();
}

bool RepaintThrottle::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_) return false;
    switch (event->type()) {
        case QEvent::UpdateRequest: {
            const auto elapsed = std::chrono::milliseconds(
                sinceLastPaint_.isValid() ? sinceLastPaint_.elapsed() : interval_.count());
            if (canBeSeen() && elapsed >= interval_) {
                pending_ = false;
                sinceLastPaint_.restart();
                runBeforePaint();
                return false;
            }
            pending_ = true;
            ++heldBack_;
            if (canBeSeen() && !timer_.isActive()) timer_.start(interval_ - elapsed);
            return true;
        }
        case QEvent::WindowStateChange:
        case QEvent::Show:
            // Seen again: what was held back is painted now.
            if (!window_->isMinimized()) runBeforePaint();
            if (pending_) timer_.start(0);
            return false;
        default:
            return false;
    }
}

}  // namespace tarnwick
