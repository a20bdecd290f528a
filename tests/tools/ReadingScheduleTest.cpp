// The times of the simulator's schedules: durations as the command line
// writes them, and when the adapter is silent.
#include <gtest/gtest.h>

#include "ReadingSchedule.h"

namespace tarnwick::test {

TEST(ReadingSchedule, DurationsInEveryUnitAndNothingElse) {
    const std::pair<std::string, std::optional<long long>> cases[] = {
        {"0", 0},
        {"90", 90000},
        {"90s", 90000},
        {"1.5s", 1500},
        {"500ms", 500},
        {"5m", 300000},
        {"2h", 7200000},
        {"0.0004s", 0},
        {"168h", 604800000},
        {"169h", std::nullopt},
        {"", std::nullopt},
        {"s", std::nullopt},
        {"-1s", std::nullopt},
        {"1.s", std::nullopt},
        {".5s", std::nullopt},
        {"1.2.3", std::nullopt},
        {"5 s", std::nullopt},
        {"5sec", std::nullopt},
        {"1e3", std::nullopt},
        {"inf", std::nullopt},
    };
    for (const auto& [text, ms] : cases) EXPECT_EQ(sim::parseDurationMs(text), ms) << text;
}

TEST(ReadingSchedule, SilencesBeginAndEndAtTheirTimes) {
    // 2-5 s and 4-6 s overlap: one silence from 2 to 6 s; then 10-11 s.
    const std::vector<sim::Silence> silences = {
        *sim::parseSilence("3s@2s"), *sim::parseSilence("2000ms@4s"), *sim::parseSilence("1@10")};
    const std::tuple<long long, bool, std::optional<long long>> cases[] = {
        {0, false, 2000},     {1999, false, 2000},  {2000, true, 4000},
        {4500, true, 5000},   {5000, true, 6000},   {5999, true, 6000},
        {6000, false, 10000}, {10000, true, 11000}, {11000, false, std::nullopt},
    };
    for (const auto& [at, silent, next] : cases) {
        EXPECT_EQ(sim::silentAt(silences, at), silent) << at;
        EXPECT_EQ(sim::nextSilenceChange(silences, at), next) << at;
    }
    EXPECT_FALSE(sim::silentAt({}, 0));
    EXPECT_EQ(sim::nextSilenceChange({}, 0), std::nullopt);
}

}  // namespace tarnwick::test
