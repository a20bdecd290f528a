#include "SystemdNotifier.h"

#include <systemd/sd-daemon.h>

#include <cstdint>

namespace tarnwick {

void SystemdNotifier::notify(const char* state) { sd_notify(0, state); }

qint64 SystemdNotifier::watchdogIntervalMs() const {
    std::uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0) return 0;
    return static_cast<qint64>(usec / 1000);
}

}  // namespace tarnwick
