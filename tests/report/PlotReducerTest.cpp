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

LogRecord record(WallSeconds t, ReadingKind kind, int sixteenths = 0) {
    LogRecord r;
    r.time = t;
    r.sensorCount = 12;
    for (int i = 0; i < 12; ++i) r.readings[i] = {ReadingKind::Valid, 400};
    r.readings[0] = {kind, static_cast<std::int16_t>(sixteenths)};
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
    EXPECT_EQ(line.segments[0].back().sixteenths, 409);
    EXPECT_EQ(line.segments[1].front().time, 12);
}

TEST(PlotReducer, BreaksTheLineAcrossAPauseWithoutRecords) {
    PlotReducer reducer(firstSensor(), 1000);
    for (int t = 0; t < 100; ++t) reducer.add(record(t, ReadingKind::Valid, 400));
    // The logger stopped: the next record comes more than kGapSeconds later.
    const WallSeconds resumed = 99 + PlotReducer::kGapSeconds + 1;
    for (int t = 0; t < 100; ++t) reducer.add(record(resumed + t, ReadingKind::Valid, 400));
    EXPECT_EQ(segmentSizes(reducer).size(), 2u);

    // Records a pass apart but slower than one a column keep the line whole.
    PlotReducer slow(firstSensor(), 1000);
    for (int t = 0; t < 600; t += 7) slow.add(record(t, ReadingKind::Valid, 400));
    EXPECT_EQ(segmentSizes(slow).size(), 1u);
}

TEST(PlotReducer, PowerOnReadingsJoinTheLineWhenKept) {
    PlotReducer reducer(firstSensor(true), 60);
    for (int t = 0; t < 5; ++t) reducer.add(record(t, ReadingKind::Valid, 400));
    reducer.add(record(5, ReadingKind::PowerOn, 1360));
    for (int t = 6; t < 10; ++t) reducer.add(record(t, ReadingKind::Valid, 400));
    ASSERT_EQ(segmentSizes(reducer), (std::vector<std::size_t>{10}));
    EXPECT_EQ(reducer.lines().front().segments[0][5].sixteenths, 1360);
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
        highest = std::max(highest, p.sixteenths);
        lowest = std::min(lowest, p.sixteenths);
        EXPECT_GT(p.time, previous);  // in time order
        previous = p.time;
    }
    EXPECT_EQ(highest, 1200);
    EXPECT_EQ(lowest, -300);
}

}  // namespace
}  // namespace tarnwick::test
