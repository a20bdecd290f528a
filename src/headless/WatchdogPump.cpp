#include "WatchdogPump.h"

#include <algorithm>

namespace tarnwick {

WatchdogPump::WatchdogPump(EventPump& inner, const Clock& clock, ServiceNotifier& notifier)
    : inner_(inner),
      clock_(clock),
      notifier_(notifier),
      // Half: a feed that comes a little late still comes in time.
      feedEveryMs_(notifier.watchdogIntervalMs() / 2),
      nextFeedMs_(clock.monotonicMs()) {}

qint64 WatchdogPump::feedIfDue() {
    const qint64 now = clock_.monotonicMs();
    if (now >= nextFeedMs_) {
        notifier_.notify("WATCHDOG=1");
        nextFeedMs_ = now + feedEveryMs_;
    }
    return nextFeedMs_ - now;
}

void WatchdogPump::waitForEvents() {
    if (feedEveryMs_ <= 0) {
        inner_.waitForEvents();
        return;
    }
    // The cycle waits again if nothing came meanwhile.
    inner_.waitForEvents(feedIfDue());
    feedIfDue();
}

void WatchdogPump::waitForEvents(qint64 timeoutMs) {
    if (feedEveryMs_ <= 0) {
        inner_.waitForEvents(timeoutMs);
        return;
    }
    inner_.waitForEvents(std::min(timeoutMs, feedIfDue()));
    feedIfDue();
}

}  // namespace tarnwick
