#include "RunMetrics.h"

#include <algorithm>
#include <utility>

namespace tarnwick {

RunMetrics::RunMetrics(const WallClock& wallClock, QString version) : wallClock_(wallClock) {
    figures_.version = std::move(version);
}

void RunMetrics::runStarted(const SensorRoster& roster, const QString& adapter) {
    std::vector<SensorFigures> sensors;
    sensors.reserve(roster.sensors().size());
    for (const RosterSensor& s : roster.sensors())
        sensors.push_back(
            {.number = s.number(), .rom = s.rom, .name = s.name, .celsius = std::nullopt});
    const std::lock_guard lock(mutex_);
    // Counters of a sensor that stays in the roster go on counting.
    for (SensorFigures& fresh : sensors)
        if (const SensorFigures* old = sensor(fresh.number, fresh.rom)) {
            fresh.readFailures = old->readFailures;
            fresh.polled = old->polled;
        }
    figures_.adapter = adapter;
    figures_.sensors = std::move(sensors);
}

void RunMetrics::passFinished(const SensorRoster& roster, const QStringList& words,
                              const LogControl::RecordResult& record) {
    const qint64 now = wallClock_.localNow().toMSecsSinceEpoch();
    const std::size_t count = std::min<std::size_t>(roster.sensors().size(), words.size());
    const std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < count; ++i) {
        const RosterSensor& rosterSensor = roster.sensors()[i];
        SensorFigures* figures = sensor(rosterSensor.number(), rosterSensor.rom);
        if (!figures) continue;
        figures->polled = true;
        const QString& word = words[static_cast<qsizetype>(i)];
        if (RosterSensor::isMissing(word) || rosterSensor.isPowerOn(word))
            figures->celsius.reset();
        else
            figures->celsius = rosterSensor.celsius(word);
        if (!figures->celsius) ++figures->readFailures;
    }
    ++figures_.passes;
    if (record.attempted)
        ++(record.written ? figures_.recordsWritten : figures_.recordWriteFailures);
    if (!figures_.adapterUp) figures_.adapterUp = true;
    if (*figures_.adapterUp) figures_.lastCompletePassMs = now;
}

void RunMetrics::adapterChanged(const std::optional<QString>& reason) {
    const std::lock_guard lock(mutex_);
    figures_.adapterUp = !reason.has_value();
}

void RunMetrics::alarmChanged(const AlarmEvent& event) {
    if (event.subject != AlarmEvent::Subject::Sensor) return;
    const std::lock_guard lock(mutex_);
    if (SensorFigures* figures = sensor(event.number, event.rom)) figures->alarm = event.to;
}

MetricsSnapshot RunMetrics::snapshot() const {
    const std::lock_guard lock(mutex_);
    return figures_;
}

SensorFigures* RunMetrics::sensor(int number, const QString& rom) {
    const auto found =
        std::find_if(figures_.sensors.begin(), figures_.sensors.end(),
                     [&](const SensorFigures& s) { return s.number == number && s.rom == rom; });
    return found == figures_.sensors.end() ? nullptr : &*found;
}

}  // namespace tarnwick
