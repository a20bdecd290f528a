#include "ReadingSchedule.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tarnwick::sim {

namespace {

constexpr long long kWeekMs = 7LL * 24 * 3600 * 1000;
constexpr double kMinC = -55.0;
constexpr double kMaxC = 125.0;

// The whole of `text` as a number; nullopt if any of it is left over.
std::optional<double> number(const std::string& text) {
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
    return value;
}

// "VALUE@TIME" split at its last '@'.
std::optional<std::pair<std::string, std::string>> atSplit(const std::string& text) {
    const auto at = text.rfind('@');
    if (at == std::string::npos) return std::nullopt;
    return std::pair{text.substr(0, at), text.substr(at + 1)};
}

std::optional<ScheduleStep> step(const std::string& value, long long atMs) {
    if (value == "unplugged") return ScheduleStep{atMs, ScheduleStep::Kind::Unplugged, 0.0};
    if (value == "own") return ScheduleStep{atMs, ScheduleStep::Kind::Own, 0.0};
    const auto celsius = number(value);
    if (!celsius || !(*celsius >= kMinC && *celsius <= kMaxC)) return std::nullopt;
    return ScheduleStep{atMs, ScheduleStep::Kind::Held, *celsius};
}

}  // namespace

const ScheduleStep* stepAt(const ReadingSchedule& schedule, long long elapsedMs) {
    const auto after =
        std::upper_bound(schedule.begin(), schedule.end(), elapsedMs,
                         [](long long ms, const ScheduleStep& step) { return ms < step.atMs; });
    return after == schedule.begin() ? nullptr : &*(after - 1);
}

std::optional<long long> parseDurationMs(const std::string& text) {
    static const std::pair<const char*, double> units[] = {
        {"ms", 1.0}, {"s", 1e3}, {"m", 60e3}, {"h", 3600e3}};
    const auto digitsEnd = text.find_first_not_of("0123456789.");
    const std::string digits = text.substr(0, digitsEnd);
    const std::string unit = digitsEnd == std::string::npos ? "" : text.substr(digitsEnd);
    if (digits.empty() || digits.front() == '.' || digits.back() == '.' ||
        std::count(digits.begin(), digits.end(), '.') > 1)
        return std::nullopt;
    double scale = unit.empty() ? 1e3 : 0.0;
    for (const auto& [name, ms] : units)
        if (unit == name) scale = ms;
    const auto value = number(digits);
    if (!value || scale == 0.0) return std::nullopt;
    const double ms = std::round(*value * scale);
    if (!(ms <= static_cast<double>(kWeekMs))) return std::nullopt;
    return static_cast<long long>(ms);
}

ScheduleParse parseReadingSchedule(const std::string& text) {
    ScheduleParse result;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t comma = text.find(',', pos);
        if (comma == std::string::npos) comma = text.size();
        const std::string item = text.substr(pos, comma - pos);
        pos = comma + 1;
        const auto parts = atSplit(item);
        const auto atMs = parts ? parseDurationMs(parts->second) : std::nullopt;
        const auto next = atMs ? step(parts->first, *atMs) : std::nullopt;
        if (!next) {
            result.error = "expected TEMPERATURE@TIME, unplugged@TIME or own@TIME: " + item;
            return result;
        }
        if (!result.schedule.empty() && next->atMs <= result.schedule.back().atMs) {
            result.error = "times must increase: " + item;
            return result;
        }
        result.schedule.push_back(*next);
    }
    return result;
}

std::optional<Silence> parseSilence(const std::string& text) {
    const auto parts = atSplit(text);
    if (!parts) return std::nullopt;
    const auto duration = parseDurationMs(parts->first);
    const auto start = parseDurationMs(parts->second);
    if (!duration || !start || *duration == 0) return std::nullopt;
    return Silence{*start, *duration};
}

bool silentAt(const std::vector<Silence>& silences, long long elapsedMs) {
    return std::any_of(silences.begin(), silences.end(), [elapsedMs](const Silence& s) {
        return elapsedMs >= s.startMs && elapsedMs < s.startMs + s.durationMs;
    });
}

std::optional<long long> nextSilenceChange(const std::vector<Silence>& silences,
                                           long long elapsedMs) {
    std::optional<long long> next;
    for (const Silence& s : silences)
        for (const long long at : {s.startMs, s.startMs + s.durationMs})
            if (at > elapsedMs && (!next || at < *next)) next = at;
    return next;
}

}  // namespace tarnwick::sim
