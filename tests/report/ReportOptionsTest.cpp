#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "../TestPrinters.h"
#include "../logging/TestFiles.h"
#include "ReportOptions.h"

namespace tarnwick::test {
namespace {

ParsedArguments parse(const QStringList& arguments) {
    return parseArguments(QStringList{"tarnwick-report"} + arguments, "1.0.0");
}

TEST(ReportOptions, EveryBadArgumentIsAnError) {
    const struct {
        QStringList arguments;
        const char* message;
    } rows[] = {
        {{}, "no log file"},
        {{"--unit", "K", "a.log"}, "--unit must be C or F"},
        {{"--from", "yesterday", "a.log"}, "--from must be an ISO 8601"},
        {{"--to", "2026-13-01", "a.log"}, "--to must be an ISO 8601"},
        {{"--from", "2026-12-08", "--to", "2026-12-07", "a.log"}, "later than --to"},
        {{"--sensors", "0,3", "a.log"}, "--sensors takes"},
        {{"--sensors", "17", "a.log"}, "--sensors takes"},
        {{"--sensors", "1,,2", "a.log"}, "--sensors takes"},
        {{"--locale", "xx_YY", "a.log"}, "unknown locale"},
        {{"--plot", "chart.jpg", "a.log"}, ".png or .svg"},
        {{"--csv", "", "a.log"}, "--csv needs"},
        {{"--influx", "", "a.log"}, "--influx needs"},
        {{"--follow", "a.log"}, "--follow needs --show"},
        {{"--csv", "-", "--influx", "-", "a.log"}, "cannot both go to standard output"},
        {{"--alarms", "--daily", "--csv", "x.csv", "a.log"}, "cannot share one --csv"},
        {{"--alarms", "a.log"}, "no roster file was found"},
        {{"--daily", "--influx", "-", "a.log"}, "--daily prints to standard output"},
        {{"--bogus", "a.log"}, "Unknown option"},
        {{"--unit"}, "Missing value"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        const ParsedArguments parsed = parse(row.arguments);
        EXPECT_EQ(parsed.outcome, ParsedArguments::Error);
        EXPECT_TRUE(parsed.text.contains(QString::fromUtf8(row.message)))
            << parsed.text.toStdString();
    }
}

TEST(ReportOptions, GoodArguments) {
    const ParsedArguments p =
        parse({"--unit", "f", "--from", "2026-12-07", "--to", "2026-12-07", "--sensors", "5,1,5",
               "--locale", "de_DE", "--plot", "x.SVG", "--keep-power-on", "a.log", "b.log"});
    ASSERT_EQ(p.outcome, ParsedArguments::Run) << p.text.toStdString();
    EXPECT_EQ(p.options.unit, Unit::Fahrenheit);
    EXPECT_EQ(p.options.selection.sensorSlots, (std::vector<int>{0, 4}));
    const WallSeconds day = toWallSeconds(QDate(2026, 12, 7), QTime(0, 0));
    EXPECT_EQ(p.options.selection.from, day);
    EXPECT_EQ(p.options.selection.to, day + kSecondsPerDay - 1);  // the whole day
    EXPECT_EQ(p.options.locale.name(), "de_DE");
    EXPECT_TRUE(p.options.plotSvg);
    EXPECT_TRUE(p.options.selection.keepPowerOn);
    EXPECT_EQ(p.options.logs, (QStringList{"a.log", "b.log"}));
}

// The roster names the sensors --sensors may pick, as the logger finds it
// (--roster over TARNWICK_ROSTER); a roster in error is refused.
TEST(ReportOptions, RosterNamesForSensors) {
    QTemporaryDir dir;
    const auto write = [&](const char* name, const QByteArray& text) {
        EXPECT_TRUE(writeAll(dir.filePath(name), text));
        return dir.filePath(name);
    };
    const QString roster = write("roster.conf",
                                 "9C000000B4A89828, Freezer door, -0.25\n06000000A4EC7428, Loft\n"
                                 "B900000027CA8F28\nE6000000B4E6AC28, K\xC3\xBC"
                                 "che\n"
                                 "6E00000027CD1E28, loft\n");
    const QString other = write("other.conf", "9C000000B4A89828, Cellar\n");
    const QString typo = write("typo.conf", "9C000000B4A89828\n\n9C000000B4A89828\n");
    const auto parseWith = [](QStringList arguments, const QString& environment) {
        return parseArguments(QStringList{"tarnwick-report"} + arguments + QStringList{"a.log"},
                              "1.0.0", environment);
    };
    const struct {
        QStringList arguments;
        const char* sensors;
        std::vector<int> chosen;
        const char* error;
    } rows[] = {
        {{"--roster", roster},
         "freezer DOOR, 3 ,K\xC3\x9C"
         "CHE",
         {0, 2, 3},
         nullptr},
        {{"--roster", roster}, "e6000000b4e6ac28,16", {3, 15}, nullptr},
        {{"--roster", roster}, "Loft", {}, "\"Loft\" names sensors 2 and 5 of the roster"},
        {{"--roster", roster}, "Cellar", {}, "\"Cellar\" is none of these"},
        {{}, "Cellar", {0}, nullptr},  // TARNWICK_ROSTER names other.conf
        {{"--roster", typo}, "1", {}, "typo.conf:3: sensor 9C000000B4A89828 is listed twice"},
    };
    for (const auto& row : rows) {
        const QStringList arguments =
            row.arguments + QStringList{"--sensors", QString::fromUtf8(row.sensors)};
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const ParsedArguments p = parseWith(arguments, other);
        if (row.error) {
            EXPECT_EQ(p.outcome, ParsedArguments::Error);
            EXPECT_TRUE(p.text.contains(QString::fromUtf8(row.error))) << p.text.toStdString();
        } else {
            ASSERT_EQ(p.outcome, ParsedArguments::Run) << p.text.toStdString();
            EXPECT_EQ(p.options.selection.sensorSlots, row.chosen);
        }
    }
    const ParsedArguments named = parseWith({"--roster", roster}, other);
    EXPECT_EQ(named.options.labels.heading(0), "Freezer door (9C000000B4A89828)");
    EXPECT_EQ(named.options.labels.heading(2), "B900000027CA8F28");
    EXPECT_EQ(named.options.labels.heading(5), "sensor 6");
    EXPECT_EQ(named.options.labels.legend(1), "2  Loft");
}

// --follow follows the log written last, whatever the order they are named in.
TEST(ReportOptions, FollowTheLogWrittenLast) {
    QTemporaryDir dir;
    const QStringList logs{dir.filePath("tarnwick.log"), dir.filePath("tarnwick.log.1"),
                           dir.filePath("tarnwick.log.2.gz")};
    const QDateTime now = QDateTime::currentDateTime();
    for (int i = 0; i < logs.size(); ++i) {
        QFile file(logs[i]);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.setFileTime(now.addDays(-7 * i), QFileDevice::FileModificationTime));
    }
    const ParsedArguments p =
        parse(QStringList{"--show", "--follow"} + QStringList{logs[2], logs[1], logs[0]});
    ASSERT_EQ(p.outcome, ParsedArguments::Run) << p.text.toStdString();
    EXPECT_EQ(p.options.followPath, logs[0]);
    EXPECT_TRUE(parse({"--show", logs[0]}).options.followPath.isEmpty());
}

// The program itself: exit statuses, messages, the version, and an output
// that would overwrite a log.
TEST(ReportProgram, ExitStatusesAndMessages) {
    QTemporaryDir dir;
    const QString log = dir.filePath("a.log");
    {
        QFile file(log);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            "12/7/2026 7:00:00 AM, 9001 , 9001 , 9001 , 9001 , 9001 , 9001 , 9001 , "
            "9001 , 9001 , 9001 , 9001 , 9001\r\n");
    }
    const auto runProgram = [](const QStringList& arguments, QByteArray* out, QByteArray* err) {
        QProcess p;
        p.start(QStringLiteral(TARNWICK_REPORT_PATH), arguments);
        EXPECT_TRUE(p.waitForFinished(30000));
        *out = p.readAllStandardOutput();
        *err = p.readAllStandardError();
        return p.exitCode();
    };
    QByteArray out, err;
    EXPECT_EQ(runProgram({"--unit", "K", log}, &out, &err), 2);
    EXPECT_TRUE(err.contains("--unit must be C or F")) << err.toStdString();
    EXPECT_EQ(runProgram({"--csv", log, log}, &out, &err), 2);
    EXPECT_TRUE(err.contains("would be overwritten")) << err.toStdString();
    // An instance's settings that cannot be read are a command line in error.
    EXPECT_EQ(runProgram({"--instance", "cellar=" + dir.filePath("none.conf")}, &out, &err), 2);
    EXPECT_TRUE(err.contains("none.conf: cannot read the settings")) << err.toStdString();
    EXPECT_EQ(runProgram({"--version"}, &out, &err), 0);
    EXPECT_EQ(out, "tarnwick-report 1.0.0\n");
    EXPECT_EQ(runProgram({"--help"}, &out, &err), 0);
    EXPECT_TRUE(out.contains("\"0000\"") && out.contains("missing")) << out.toStdString();
    EXPECT_EQ(runProgram({dir.filePath("none.log")}, &out, &err), 1);
    EXPECT_EQ(runProgram({"--locale", "en_US", "--unit", "C", log}, &out, &err), 0);
    EXPECT_TRUE(out.contains("25.0000")) << out.toStdString();
    const QString png = dir.filePath("chart.png");
    EXPECT_EQ(runProgram({"--locale", "en_US", "--plot", png, log}, &out, &err), 0)
        << err.toStdString();
    QFile chart(png);
    ASSERT_TRUE(chart.open(QIODevice::ReadOnly));
    EXPECT_TRUE(chart.read(8).startsWith("\x89PNG"));
}

}  // namespace
}  // namespace tarnwick::test
