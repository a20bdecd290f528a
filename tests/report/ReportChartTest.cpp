#include <gtest/gtest.h>

#include <QChart>
#include <QValueAxis>
#include <memory>

#include "ReportChart.h"

namespace tarnwick::test {
namespace {

QValueAxis* timeAxis(QChart* chart) {
    return qobject_cast<QValueAxis*>(chart->axes(Qt::Horizontal).value(0));
}

TEST(ReportChart, TheTimeAxisSpansTheData) {
    const WallSeconds start = toWallSeconds(QDate(2026, 12, 7), QTime(9, 0, 0));
    const struct {
        const char* what;
        std::vector<WallSeconds> times;
        WallSeconds from, to;
    } rows[] = {
        {"a 40-second log", {start, start + 17, start + 40}, start, start + 40},
        {"a day", {start, start + kSecondsPerDay}, start, start + kSecondsPerDay},
        {"a single record", {start}, start - 5, start + 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        PlotLine line;
        line.segments.emplace_back();
        for (const WallSeconds t : row.times) line.segments.back().push_back({t, 320});
        const std::unique_ptr<QChart> chart(
            buildChart({line}, Unit::Celsius, SensorLabels::compiled(), "t"));
        ASSERT_NE(timeAxis(chart.get()), nullptr);
        EXPECT_EQ(timeAxis(chart.get())->min(), row.from * 1000.0);
        EXPECT_EQ(timeAxis(chart.get())->max(), row.to * 1000.0);
    }
}

}  // namespace
}  // namespace tarnwick::test
