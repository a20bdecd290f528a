// The cycle's event pump with the service manager's watchdog fed from it: a
// wait that lasts as long as the cycle likes still wakes in time to send
// WATCHDOG=1. A cycle that hangs anywhere but in its waits (a write that never
// returns, a loop without end) stops feeding it, and the service manager
// restarts the logger.
#pragma once

#include "Clock.h"
#include "EventPump.h"
#include "ServiceNotifier.h"

namespace tarnwick {

class WatchdogPump : public EventPump {
  public:
    // Sends WATCHDOG=1 through `notifier` at half the interval the service
    // manager asks for, while the cycle waits through `inner`; when it
    // watches nothing, the pump only passes the waits on. Every reference
    // must outlive the pump.
    WatchdogPump(EventPump& inner, const Clock& clock, ServiceNotifier& notifier);

    void waitForEvents() override;
    void waitForEvents(qint64 timeoutMs) override;

  private:
    // Feeds the watchdog when it is due; returns the ms until it is due again.
    qint64 feedIfDue();

    EventPump& inner_;
    const Clock& clock_;
    ServiceNotifier& notifier_;
    qint64 feedEveryMs_;
    qint64 nextFeedMs_ = 0;
};

}  // namespace tarnwick
