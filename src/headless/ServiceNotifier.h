// What the headless logger tells the service manager that runs it: that it is
// ready, that it is alive (the watchdog) and that it is stopping.
#pragma once

#include <QtGlobal>

namespace tarnwick {

class ServiceNotifier {
  public:
    virtual ~ServiceNotifier() = default;
    // A state in sd_notify's form: "READY=1", "WATCHDOG=1", "STOPPING=1".
    virtual void notify(const char* state) = 0;
    // How often the service manager wants WATCHDOG=1 at the latest, in ms;
    // 0 when it watches nothing.
    virtual qint64 watchdogIntervalMs() const = 0;
};

}  // namespace tarnwick
