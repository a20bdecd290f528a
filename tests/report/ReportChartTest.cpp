#include <gtest/gtest.h>

#include <QChart>
#include <QDateTime>
#include <QFile>
#include <QLineSeries>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>
#include <cstdio>
#include <memory>

#include "../TestPrinters.h"
#include "../Waiting.h"
#include "LoggerLines.h"
#include "Report.h"
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

double msAt(int second) {
    return static_cast<double>(toWallSeconds(QDate(2026, 12, 7), QTime(7, 0, second))) * 1000.0;
}

// The latest time among the first sensor's points, and its pieces of line.
std::pair<double, int> firstSensor(QChart* chart) {
    double latest = 0;
    int pieces = 0;
    for (QAbstractSeries* s : chart->series()) {
        auto* series = static_cast<QLineSeries*>(s);
        if (!series->name().startsWith("1 ")) continue;
        ++pieces;
        if (series->count() > 0) latest = std::max(latest, series->at(series->count() - 1).x());
    }
    return {latest, pieces};
}

// The window of --show --follow, with the logger writing to its log: every
// record reaches the chart, through a rotation; the view keeps to the newest
// data unless zoomed in; a pause breaks the lines as in a chart drawn at the end.
TEST(LiveChart, AppendedRecordsReachTheWindow) {
    QTemporaryDir dir;
    const QString log = dir.filePath("tarnwick.log");
    QByteArray start;
    for (int second = 0; second < 10; ++second) start += recordAt(second);
    append(log, start);

    const ParsedArguments parsed = parseArguments(
        {"tarnwick-report", "--locale", "en_US", "--sensors", "1,2", "--show", "--follow", log},
        "0");
    ASSERT_EQ(parsed.outcome, ParsedArguments::Run) << parsed.text.toStdString();
    std::FILE* out = std::tmpfile();
    ReportResult result = runReport(parsed.options, out, out, 200);
    std::fclose(out);
    ASSERT_TRUE(result.followed);
    QStringList notes;
    LiveChart live(std::move(result.reducer), std::move(result.followed), parsed.options, "t",
                   [&](const QString& note) { notes << note; });
    ZoomableChartView view(live.chart());
    view.resize(800, 500);
    view.show();
    live.follower().watch();
    QValueAxis* x = timeAxis(live.chart());
    EXPECT_EQ(firstSensor(live.chart()), std::make_pair(msAt(9), 1));

    append(log, recordAt(10));
    ASSERT_TRUE(eventuallyEquals([&] { return firstSensor(live.chart()).first; }, msAt(10)));
    EXPECT_EQ(x->max(), msAt(10));

    live.chart()->zoom(2.0);
    const double zoomedMax = x->max();
    append(log, recordAt(11));
    ASSERT_TRUE(eventuallyEquals([&] { return firstSensor(live.chart()).first; }, msAt(11)));
    EXPECT_EQ(x->max(), zoomedMax);

    QTest::keyClick(&view, Qt::Key_0);  // back to all of it
    ASSERT_TRUE(QFile::rename(log, log + ".1"));
    append(log, recordAt(12));
    ASSERT_TRUE(eventuallyEquals([&] { return firstSensor(live.chart()).first; }, msAt(12)));
    EXPECT_EQ(x->max(), msAt(12));

    append(log, recordAt(40));
    ASSERT_TRUE(
        eventuallyEquals([&] { return firstSensor(live.chart()); }, std::make_pair(msAt(40), 2)));
    EXPECT_TRUE(notes.join(' ').contains("rotated")) << notes.join(' ').toStdString();
}

}  // namespace
}  // namespace tarnwick::test
