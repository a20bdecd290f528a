// What the simulated adapter's pages and its public setters share: the knobs,
// the bus and its lock, the fault counts, held pages and the stop flag, all
// guarded by one mutex; and the request log, which has its own.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "Bus.h"
#include "BusLock.h"
#include "FaultMatcher.h"
#include "RequestLog.h"
#include "SimAdapter.h"

namespace tarnwick::sim {

struct AdapterState {
    // Seeds the generator from options.seed, then applies the options.
    explicit AdapterState(Options options);

    // Replaces every knob (ids in upper case); fault counts start again. Mutex held.
    void apply(Options options);

    bool isStopping() const;
    // Waits `ms`; false when the adapter stops (or has stopped) meanwhile.
    bool sleepUnlessStopping(int ms);
    // Holds a stalled page until releaseStalls(); false when the adapter stops instead.
    bool holdStalledPage();
    void releaseStalls();

    // What the schedules count from.
    const Bus::Clock::time_point origin = Bus::Clock::now();
    mutable std::mutex mutex;
    std::condition_variable wake;  // stalls, delays, lock waits and the stop
    Options options;
    FaultMatcher faults;  // counts against options.faults
    Random random;
    BusLock busLock;
    Bus bus;
    std::uint64_t releaseGeneration = 0;
    int stalled = 0;
    bool stopping = false;

    RequestLog requests;  // thread-safe on its own
};

}  // namespace tarnwick::sim
