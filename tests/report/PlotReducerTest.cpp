#include <gtest/gtest.h>

#include <vector>

#include "PlotReducer.h"

namespace tarnwick::test {
namespace {

Selection firstSensor(bool keepPowerOn = false) {
    Selection s;
    s.sensorSlots = {0};
    s.keepPowerOn = keepPowerOn;
    return s;
}

LogRecord record(WallSeconds t, ReadingKind kind, int steps = 0) {
    LogRecord r;
    r.time = t;
    r.sensorCount = 12;
    for (int i = 0; i < 12; ++i) r.readings[i] = {ReadingKind::Valid, 400};
    r.readings[0] = {kind, static_cast<std::int16_t>(steps)};
    return r;
}

std::vector<std::size_t> segmentSizes(const PlotReducer& reducer) {
    std::vector<std::size_t> sizes;
    const std::vector<PlotLine> lines = reducer.lines();
    if (lines.empty()) return sizes;
    for (const auto& segment : lines.front().segments) sizes.push_back(segment.size());
    return sizes;
}

TEST(PlotReducer, BreaksTheLineWhereReadingsAreMissing) {
    // One column per second (60 columns allowed, 50 s of data): every reading
    // is its own point.
    PlotReducer reducer(firstSensor(), 60);
    for (int t = 0; t < 10; ++t) reducer.add(record(t, ReadingKind::Valid, 400 + t));
    reducer.add(record(10, ReadingKind::Missing));
    reducer.add(record(11, ReadingKind::Missing));
    for (int t = 12; t < 20; ++t) reducer.add(record(t, ReadingKind::Valid, 400));
    reducer.add(record(20, ReadingKind::PowerOn, 1360));  // left out: a gap too
    for (int t = 21; t < 30; ++t) reducer.add(record(t, ReadingKind::Valid, 400));
    LogRecord twelveOnly = record(30, ReadingKind::Valid, 400);
    twelveOnly.readings[0] = {};  // a record that does not carry the sensor
    reducer.add(twelveOnly);
    for (int t = 31; t < 35; ++t) reducer.add(record(t, ReadingKind::Valid, 400));
    EXPECT_EQ(segmentSizes(reducer), (std::vector<std::size_t>{10, 8, 9, 4}));

    const PlotLine line = reducer.lines().front();
    EXPECT_EQ(line.segments[0].front().time, 0);
    EXPECT_EQ(line.segments[0].back().steps, 409);
    EXPECT_EQ(line.segments[1].front().time, 12);
}

// A pause without records breaks every line when it is much longer than the
// log's cadence: over three times the median interval, and over 5 s.
TEST(PlotReducer, BreaksEveryLineAcrossAPauseMuchLongerThanTheCadence) {
    const struct {
        const char* what;
        std::vector<WallSeconds> steps;  // intervals between records, repeated
        WallSeconds pause;
        WallSeconds longestJoined;
        std::size_t segments;
    } rows[] = {
        {"a modal box held 13 s at one pass a second", {1}, 13, 5, 2},
        {"a pause of 5 s at one pass a second", {1}, 5, 5, 1},
        {"a pause of 6 s at one pass a second", {1}, 6, 5, 2},
        {"passes faster than a second", {0, 1, 0}, 6, 5, 2},
        {"a pass every 10 s, a pause of 30 s", {10}, 30, 30, 1},
        {"a pass every 10 s, a pause of 31 s", {10}, 31, 30, 2},
        {"passes of 1 and 2 s", {1, 2, 2}, 6, 6, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Selection two;
        two.sensorSlots = {0, 3};
        PlotReducer reducer(two, 100000);
        WallSeconds t = 0;
        for (int i = 0; i < 200; ++i) {
            if (i > 0) t += i == 100 ? row.pause : row.steps[i % row.steps.size()];
            reducer.add(record(t, ReadingKind::Valid, 400));
        }
        EXPECT_EQ(reducer.longestJoinedPause(), row.longestJoined);
        const std::vector<PlotLine> lines = reducer.lines();
        ASSERT_EQ(lines.size(), 2u);
        for (const PlotLine& line : lines) EXPECT_EQ(line.segments.size(), row.segments);
    }

    // A pause inside one column does not break the line: ten columns for 300 s.
    PlotReducer wide(firstSensor(), 10);
    for (WallSeconds t = 0; t < 300; ++t) {
        if (t < 100 || t > 113) wide.add(record(t, ReadingKind::Valid, 400));
    }
    EXPECT_GE(wide.columnSeconds(), 30);
    EXPECT_EQ(segmentSizes(wide).size(), 1u);
}

TEST(PlotReducer, PowerOnReadingsJoinTheLineWhenKept) {
    PlotReducer reducer(firstSensor(true), 60);
    for (int t = 0; t < 5; ++t) reducer.add(record(t, ReadingKind::Valid, 400));
    reducer.add(record(5, ReadingKind::PowerOn, 1360));
    for (int t = 6; t < 10; ++t) reducer.add(record(t, ReadingKind::Valid, 400));
    ASSERT_EQ(segmentSizes(reducer), (std::vector<std::size_t>{10}));
    EXPECT_EQ(reducer.lines().front().segments[0][5].steps, 1360);
}

// Records that share a second are spread within it in their order, the k-th
// of n at k/n: also while more of that second may still come (a followed
// log), and after columns are merged.
TEST(PlotReducer, RecordsThatShareASecondAreSpreadWithinIt) {
    PlotReducer reducer(firstSensor(), 4);
    using Points = std::vector<std::pair<double, int>>;
    const auto points = [&] {
        Points all;
        const std::vector<PlotLine> lines = reducer.lines();
        for (const auto& segment : lines.front().segments)
            for (const PlotPoint& p : segment)
                all.emplace_back(static_cast<double>(p.time) + p.fraction, p.steps);
        return all;
    };
    reducer.add(record(0, ReadingKind::Valid, 400));
    reducer.add(record(1, ReadingKind::Valid, 410));
    EXPECT_EQ(points(), (Points{{0, 400}, {1, 410}}));
    reducer.add(record(1, ReadingKind::Valid, 390));
    EXPECT_EQ(points(), (Points{{0, 400}, {1, 410}, {1.5, 390}}));
    reducer.add(record(1, ReadingKind::Valid, 420));
    const Points third{{0, 400}, {1 + 1.0 / 3, 390}, {1 + 2.0 / 3, 420}};
    EXPECT_EQ(points(), third);
    reducer.add(record(2, ReadingKind::Valid, 400));
    EXPECT_EQ(points(), (Points{third[0], third[1], third[2], {2, 400}}));
    for (int t = 3; t < 10; ++t) reducer.add(record(t, ReadingKind::Valid, 400));
    ASSERT_GE(reducer.columnSeconds(), 4);
    const Points merged = points();
    ASSERT_GE(merged.size(), 2u);
    EXPECT_EQ(Points(merged.begin(), merged.begin() + 2), (Points{third[1], third[2]}));
}

// A day at one pass a second in 100 columns: the data stays bounded, a
// single-second spike and dip survive, and a missing reading inside a column
// does not break the line.
TEST(PlotReducer, BoundsTheDataAndKeepsPeaks) {
    PlotReducer reducer(firstSensor(), 100);
    for (int t = 0; t < 86400; ++t) {
        int value = 400 + (t / 600) % 7;
        if (t == 40000) value = 1200;
        if (t == 70001) value = -300;
        reducer.add(record(t, t == 12345 ? ReadingKind::Missing : ReadingKind::Valid, value));
    }
    EXPECT_LE(reducer.columns(), 100);
    EXPECT_GE(reducer.columns(), 50);
    const std::vector<PlotLine> lines = reducer.lines();
    ASSERT_EQ(lines.size(), 1u);
    ASSERT_EQ(lines[0].segments.size(), 1u);
    const std::vector<PlotPoint>& points = lines[0].segments[0];
    EXPECT_LE(points.size(), 200u);
    int highest = 0, lowest = 10000;
    WallSeconds previous = -1;
    for (const PlotPoint& p : points) {
        highest = std::max(highest, p.steps);
        lowest = std::min(lowest, p.steps);
        EXPECT_GT(p.time, previous);  // in time order
        previous = p.time;
    }
    EXPECT_EQ(highest, 1200);
    EXPECT_EQ(lowest, -300);
}

}  // namespace
}  // namespace tarnwick::test
