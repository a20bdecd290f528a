#include "QtEventPump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>

namespace tarnwick {

void QtEventPump::waitForEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    // Carry out deleteLater() calls made at this level, which processEvents()
    // alone leaves queued while no event loop runs.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void QtEventPump::waitForEvents(qint64 timeoutMs) {
    // A timer event ends the sleep when nothing else does.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(std::chrono::milliseconds(std::max<qint64>(timeoutMs, 0)));
    waitForEvents();
}

}  // namespace tarnwick
