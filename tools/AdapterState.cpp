#include "AdapterState.h"

#include <algorithm>

namespace tarnwick::sim {

namespace {

std::vector<std::string> upperIds(const std::vector<std::string>& ids) {
    std::vector<std::string> out;
    out.reserve(ids.size());
    for (const auto& id : ids) out.push_back(upper(id));
    return out;
}

}  // namespace

AdapterState::AdapterState(Options opts)
    : random(opts.seed), busLock(100000 + random.next() % 800000) {
    apply(std::move(opts));
}

void AdapterState::apply(Options opts) {
    opts.sensors = upperIds(opts.sensors);
    opts.disconnected = upperIds(opts.disconnected);
    for (auto& rule : opts.faults) rule.address = upper(rule.address);
    Bus::Settings settings;
    settings.conversionMs = opts.conversionMs;
    for (const auto& [id, ms] : opts.conversionMsFor) settings.conversionMsFor[upper(id)] = ms;
    for (const auto& [id, c] : opts.temperatureC) settings.temperatureC[upper(id)] = c;
    for (const auto& [id, steps] : opts.readings) settings.schedules[upper(id)] = steps;
    settings.origin = origin;
    bus.addSensors(opts.sensors, random);
    bus.setPresent(opts.sensors);
    bus.setDisconnected(opts.disconnected);
    bus.setSettings(std::move(settings));
    faults.restart();
    requests.setLimit(opts.recordLimit);
    options = std::move(opts);
}

bool AdapterState::isStopping() const {
    std::lock_guard guard(mutex);
    return stopping;
}

bool AdapterState::sleepUnlessStopping(int ms) {
    if (ms <= 0) return !isStopping();
    std::unique_lock guard(mutex);
    return !wake.wait_for(guard, std::chrono::milliseconds(ms), [this] { return stopping; });
}

bool AdapterState::holdStalledPage() {
    std::unique_lock guard(mutex);
    const std::uint64_t generation = releaseGeneration;
    ++stalled;
    wake.notify_all();
    wake.wait(guard, [&] { return stopping || releaseGeneration != generation; });
    --stalled;
    return !stopping;
}

void AdapterState::releaseStalls() {
    {
        std::lock_guard guard(mutex);
        ++releaseGeneration;
    }
    wake.notify_all();
}

}  // namespace tarnwick::sim
