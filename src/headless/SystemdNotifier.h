// The service manager of the running program, reached through libsystemd's
// sd_notify: without NOTIFY_SOCKET in the environment (not started by
// systemd, or not as Type=notify) every call does nothing.
#pragma once

#include "ServiceNotifier.h"

namespace tarnwick {

class SystemdNotifier : public ServiceNotifier {
  public:
    void notify(const char* state) override;
    // From WATCHDOG_USEC (and WATCHDOG_PID, when set, naming this process).
    qint64 watchdogIntervalMs() const override;
};

}  // namespace tarnwick
