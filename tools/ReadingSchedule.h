// What the simulated adapter does over time, counted from its start: each
// sensor's readings ("20@0,31.5@10s,unplugged@20s,own@40s") and the
// stretches in which the whole adapter is silent ("30s@60s").
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarnwick::sim {

// One step of a sensor's schedule, in force from atMs until the next step.
struct ScheduleStep {
    enum class Kind {
        Held,       // reads `celsius`
        Unplugged,  // lost contact: answers all FF
        Own,        // back to its own reading (its --temperature, or its drift)
    };
    long long atMs = 0;
    Kind kind = Kind::Own;
    double celsius = 0.0;

    bool operator==(const ScheduleStep&) const = default;
};

// Steps in increasing time.
using ReadingSchedule = std::vector<ScheduleStep>;

// The step in force `elapsedMs` after the start; nullptr before the first.
const ScheduleStep* stepAt(const ReadingSchedule& schedule, long long elapsedMs);

// "VALUE@TIME,..." with VALUE a temperature in degrees C (-55 to 125),
// "unplugged" or "own", and TIME a duration (see parseDurationMs), each later
// than the one before. The reason it is refused otherwise.
struct ScheduleParse {
    ReadingSchedule schedule;
    std::string error;  // empty when accepted
};
ScheduleParse parseReadingSchedule(const std::string& text);

// "90", "90s", "1.5s", "500ms", "5m", "2h": seconds unless a unit says
// otherwise; at most a week. nullopt when malformed or out of range.
std::optional<long long> parseDurationMs(const std::string& text);

// The adapter silent (not listening) from startMs for durationMs.
struct Silence {
    long long startMs = 0;
    long long durationMs = 0;

    bool operator==(const Silence&) const = default;
};

// "DURATION@TIME", e.g. "30s@60s"; nullopt when malformed or empty.
std::optional<Silence> parseSilence(const std::string& text);
bool silentAt(const std::vector<Silence>& silences, long long elapsedMs);
// The first time after `elapsedMs` at which a silence begins or ends;
// nullopt when none is left.
std::optional<long long> nextSilenceChange(const std::vector<Silence>& silences,
                                           long long elapsedMs);

}  // namespace tarnwick::sim
