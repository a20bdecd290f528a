#include <gtest/gtest.h>

#include <QChart>
#include <QDateTime>
#include <QFile>
#include <QLegendMarker>
#include <QLineSeries>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>
#include <cstdio>
#include <map>
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

// The roster's limits are dashed lines in their sensor's colour, across the
// time of the data, for a sensor that has a line; the view takes them in.
TEST(ReportChart, LimitsAreDashedLinesInTheSensorsColour) {
    std::vector<RosterSensor> sensors(3);
    const char* roms[] = {"9C000000B4A89828", "06000000A4EC7428", "B900000027CA8F28"};
    for (int slot = 0; slot < 3; ++slot) {
        sensors[slot].slot = slot;
        sensors[slot].rom = QString::fromLatin1(roms[slot]);
    }
    sensors[0].limits.lowMilliCelsius = -20'000;
    sensors[0].limits.highMilliCelsius = -15'000;
    sensors[1].limits.highMilliCelsius = 5'000;  // no line: no limit drawn
    const SensorLabels labels(SensorRoster(sensors, "roster.conf"));
    const WallSeconds start = toWallSeconds(QDate(2026, 12, 7), QTime(9, 0, 0));
    std::vector<PlotLine> lines(2);
    lines[0].slot = 0;
    lines[0].segments = {{{start, -17 * 16}, {start + 60, -16 * 16}}};
    lines[1].slot = 2;
    lines[1].segments = {{{start + 30, 20 * 16}}};
    const std::unique_ptr<QChart> chart(buildChart(lines, Unit::Celsius, labels, "t"));

    QColor lineColour;
    std::vector<std::pair<QString, QList<QPointF>>> dashed;
    for (QAbstractSeries* s : chart->series()) {
        auto* series = static_cast<QLineSeries*>(s);
        if (series->pen().style() == Qt::DashLine) {
            dashed.emplace_back(series->name(), series->points());
            EXPECT_EQ(series->pen().color(), lineColour) << series->name().toStdString();
            for (QLegendMarker* marker : chart->legend()->markers(series))
                EXPECT_FALSE(marker->isVisible());
        } else if (series->name().startsWith("1 ")) {
            lineColour = series->pen().color();
        }
    }
    const double from = start * 1000.0, to = (start + 60) * 1000.0;
    const std::vector<std::pair<QString, QList<QPointF>>> expected = {
        {"1  9C000000B4A89828 low limit", {QPointF(from, -20), QPointF(to, -20)}},
        {"1  9C000000B4A89828 high limit", {QPointF(from, -15), QPointF(to, -15)}},
    };
    EXPECT_EQ(dashed, expected);
    auto* y = qobject_cast<QValueAxis*>(chart->axes(Qt::Vertical).value(0));
    ASSERT_NE(y, nullptr);
    EXPECT_LE(y->min(), -20);
    EXPECT_GE(y->max(), 20);
}

// Slot 1 of two instances: two lines, each headed with its instance's name,
// in colours of their own, and each instance's limit in its line's colour.
TEST(ReportChart, TheSameSlotOfTwoInstancesIsTwoLines) {
    std::vector<SensorLabels> labels;
    for (const char* name : {"cellar", "attic"}) {
        RosterSensor sensor;
        sensor.rom = QStringLiteral("9C000000B4A89828");
        sensor.name = QStringLiteral("Freezer");
        sensor.limits.highMilliCelsius = -15'000;
        labels.emplace_back(SensorRoster({sensor}, "roster.conf"));
        labels.back().setAdapter(QString::fromLatin1(name));
    }
    const WallSeconds start = toWallSeconds(QDate(2026, 12, 7), QTime(9, 0, 0));
    std::vector<PlotLine> lines(2);
    lines[0].segments = {{{start, -17 * 16}, {start + 60, -16 * 16}}};
    lines[1].instance = 1;
    lines[1].segments = {{{start, -18 * 16}, {start + 60, -17 * 16}}};
    const std::unique_ptr<QChart> chart(buildChart(lines, Unit::Celsius, labels, "t"));

    std::map<QString, QColor> colours;
    for (QAbstractSeries* s : chart->series()) {
        auto* series = static_cast<QLineSeries*>(s);
        colours[series->name()] = series->pen().color();
    }
    ASSERT_EQ(colours.size(), 4u);
    EXPECT_NE(colours["cellar: 1  Freezer"], colours["attic: 1  Freezer"]);
    EXPECT_EQ(colours["cellar: 1  Freezer high limit"], colours["cellar: 1  Freezer"]);
    EXPECT_EQ(colours["attic: 1  Freezer high limit"], colours["attic: 1  Freezer"]);
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
