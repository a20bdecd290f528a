// Several loggers' logs read together (--instance), end to end through the
// report's entry point: two instances of the service in a temporary folder,
// each with its settings file, its roster and its rotated logs.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "../TestPrinters.h"
#include "Gzip.h"
#include "LoggerLines.h"
#include "RunReport.h"

namespace tarnwick::test {
namespace {

QByteArray at(int second, const QStringList& words) {
    return recordAt(QDateTime(QDate(2026, 12, 7), QTime(7, 0).addSecs(second)), words);
}

// cellar: the freezer (offset +0.5, high above -15) and the pipes (low below
// 3), its log rotated twice, the oldest part compressed; attic: slot 1 is
// the loft (offset -0.25, high above 30). Records 20 s apart, the attic's
// between the cellar's.
//   cellar 07:00:00  -16 -> -15.5    5     07:00:20  -14 -> -13.5 high   2 low
//          07:00:40  -13 -> -12.5    2     (the log.2.gz, .1 and the live log)
//   attic  07:00:10   25 -> 24.75          07:00:30   31 -> 30.75 high
class TwoInstances : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(QDir(dir_.path()).mkpath("cellar") && QDir(dir_.path()).mkpath("attic"));
        append(path("cellar.roster"),
               "9C000000B4A89828, Freezer, +0.5, high=-15\n06000000A4EC7428, Pipes, low=3\n");
        append(path("attic.roster"), "B900000027CA8F28, Loft, -0.25, high=30\n");
        append(path("cellar.conf"),
               "# the cellar's logger\nTARNWICK_ADAPTER=192.168.1.50\n"
               "TARNWICK_ROSTER=" +
                   path("cellar.roster").toUtf8() +
                   "\nTARNWICK_LOG=" + path("cellar/tarnwick.log").toUtf8() + "\n");
        append(path("attic.conf"), "TARNWICK_ROSTER=\"" + path("attic.roster").toUtf8() +
                                       "\"\n  TARNWICK_LOG = '" +
                                       path("attic/tarnwick.log").toUtf8() + "'\n");
        append(path("cellar/tarnwick.log.2.gz"), gzip(at(0, {"00FF", "5000"})));
        append(path("cellar/tarnwick.log.1"), at(20, {"20FF", "2000"}));
        append(path("cellar/tarnwick.log"), at(40, {"30FF", "2000"}));
        append(path("cellar/tarnwick.log.old"), "not a rotated log\r\n");
        append(path("attic/tarnwick.log"), at(10, {"9001"}) + at(30, {"F001"}));
    }
    QString path(const QString& name) const { return dir_.filePath(name); }
    // --instance for both, then `options`.
    QStringList both(const QStringList& options) const {
        return QStringList{"--locale",   "en_US",
                           "--unit",     "C",
                           "--instance", "cellar=" + path("cellar.conf"),
                           "--instance", "attic=" + path("attic.conf")} +
               options;
    }

    QTemporaryDir dir_;
};

TEST_F(TwoInstances, SummaryCsvAlarmsAndInfluxKeepTheirSensorsApart) {
    const Output summary = run(both({}));
    EXPECT_EQ(summary.result.exitStatus, kExitOk) << summary.err;
    EXPECT_EQ(summary.err, "");
    EXPECT_EQ(summary.out,
              "Records: 5, 2026-12-07T07:00:00 to 2026-12-07T07:00:40\n"
              "   Sensor  ROM identifier    Name      Readings  Missing  Power-on     Min °C     "
              "Max °C    Mean °C  First                Last\n"
              "cellar: 1  9C000000B4A89828  Freezer          3        0         0   -15.5000   "
              "-12.5000   -13.8333  2026-12-07T07:00:00  2026-12-07T07:00:40\n"
              "cellar: 2  06000000A4EC7428  Pipes            3        0         0     2.0000     "
              "5.0000     3.0000  2026-12-07T07:00:00  2026-12-07T07:00:40\n"
              " attic: 1  B900000027CA8F28  Loft             2        0         0    24.7500    "
              "30.7500    27.7500  2026-12-07T07:00:10  2026-12-07T07:00:30\n");

    expectOutput(both({"--csv", "-"}),
                 "time,cellar: Freezer (9C000000B4A89828),cellar: Pipes (06000000A4EC7428),"
                 "attic: Loft (B900000027CA8F28)\r\n"
                 "2026-12-07T07:00:00,-15.5000,5.0000,\r\n"
                 "2026-12-07T07:00:10,,,24.7500\r\n"
                 "2026-12-07T07:00:20,-13.5000,2.0000,\r\n"
                 "2026-12-07T07:00:30,,,30.7500\r\n"
                 "2026-12-07T07:00:40,-12.5000,2.0000,\r\n");
    // A bare sensor names it in every instance; NAME:SENSOR in one.
    expectOutput(both({"--sensors", "1", "--csv", "-", "--to", "2026-12-07T07:00:10"}),
                 "time,cellar: Freezer (9C000000B4A89828),attic: Loft (B900000027CA8F28)\r\n"
                 "2026-12-07T07:00:00,-15.5000,\r\n2026-12-07T07:00:10,,24.7500\r\n");
    expectOutput(
        both({"--sensors", "cellar:Pipes, Loft", "--csv", "-", "--to", "2026-12-07T07:00:10"}),
        "time,cellar: Pipes (06000000A4EC7428),attic: Loft (B900000027CA8F28)\r\n"
        "2026-12-07T07:00:00,5.0000,\r\n2026-12-07T07:00:10,,24.7500\r\n");
    // An instance none of whose sensors is chosen is not read.
    expectOutput(both({"--sensors", "cellar:2", "--csv", "-"}),
                 "time,cellar: Pipes (06000000A4EC7428)\r\n2026-12-07T07:00:00,5.0000\r\n"
                 "2026-12-07T07:00:20,2.0000\r\n2026-12-07T07:00:40,2.0000\r\n");

    expectOutput(
        both({"--alarms"}),
        "Start                End                     Duration     Sensor  Name     State  "
        "Extreme °C\n"
        "2026-12-07T07:00:20  ongoing                  0:00:20  cellar: 1  Freezer  high   "
        "-12.5000\n"
        "2026-12-07T07:00:20  ongoing                  0:00:20  cellar: 2  Pipes    low    "
        "2.0000\n"
        "2026-12-07T07:00:30  ongoing                  0:00:00   attic: 1  Loft     high   "
        "30.7500\n"
        "Alarm periods: 3 (3 ongoing)\n");
    expectOutput(both({"--daily", "--csv", "-"}),
                 "date,sensor,name,rom,readings,missing,power-on,min °C,min time,mean °C,max °C,"
                 "max time\r\n"
                 "2026-12-07,cellar: 1,Freezer,9C000000B4A89828,3,0,0,-15.5000,"
                 "2026-12-07T07:00:00,-13.8333,-12.5000,2026-12-07T07:00:40\r\n"
                 "2026-12-07,cellar: 2,Pipes,06000000A4EC7428,3,0,0,2.0000,2026-12-07T07:00:20,"
                 "3.0000,5.0000,2026-12-07T07:00:00\r\n"
                 "2026-12-07,attic: 1,Loft,B900000027CA8F28,2,0,0,24.7500,2026-12-07T07:00:10,"
                 "27.7500,30.7500,2026-12-07T07:00:30\r\n");

    const Output influx = run(both({"--influx", "-", "--to", "2026-12-07T07:00:10"}));
    const auto ns = [](int second) {
        return std::to_string(
                   QDateTime(QDate(2026, 12, 7), QTime(7, 0, second)).toSecsSinceEpoch()) +
               "000000000\n";
    };
    EXPECT_EQ(influx.out,
              "temperature,adapter=cellar,sensor=9C000000B4A89828,name=Freezer celsius=-15.5000 " +
                  ns(0) +
                  "temperature,adapter=cellar,sensor=06000000A4EC7428,name=Pipes celsius=5.0000 " +
                  ns(0) +
                  "temperature,adapter=attic,sensor=B900000027CA8F28,name=Loft celsius=24.7500 " +
                  ns(10));

    // The chart: a line per sensor of each instance.
    const Output chart = run(both({"--plot", path("both.png")}));
    std::vector<std::pair<int, int>> lines;
    for (const PlotLine& line : chart.result.plot) lines.emplace_back(line.instance, line.slot);
    EXPECT_EQ(lines, (std::vector<std::pair<int, int>>{{0, 0}, {0, 1}, {1, 0}}));
}

// One instance is read as its logs with its roster are today, word for word;
// only the line protocol tags the adapter.
TEST_F(TwoInstances, OneInstanceAsItsLogsWithItsRoster) {
    const QStringList instance{"--instance", "cellar=" + path("cellar.conf")};
    const QStringList logs{"--roster", path("cellar.roster"), path("cellar/tarnwick.log"),
                           path("cellar/tarnwick.log.1"), path("cellar/tarnwick.log.2.gz")};
    for (const QStringList& options :
         {QStringList{}, QStringList{"--csv", "-"}, QStringList{"--alarms"}, QStringList{"--daily"},
          QStringList{"--sensors", "Pipes", "--daily", "--csv", "-"}}) {
        SCOPED_TRACE(options.join(' ').toStdString());
        const QStringList common = QStringList{"--locale", "en_US", "--unit", "C"} + options;
        const Output today = run(common + logs);
        const Output read = run(common + instance);
        EXPECT_EQ(read.result.records, 3);
        EXPECT_EQ(read.out, today.out);
    }
    const QStringList influx{"--locale", "en_US", "--influx", "-"};
    QString tagged = QString::fromStdString(run(influx + logs).out);
    tagged.replace("temperature,", "temperature,adapter=cellar,");
    EXPECT_EQ(run(influx + instance).out, tagged.toStdString());
}

TEST_F(TwoInstances, Refusals) {
    append(path("broken.roster"), "9C000000B4A89828, Freezer\nnot a rom\n");
    append(path("broken.conf"), "TARNWICK_ROSTER=" + path("broken.roster").toUtf8() + "\n");
    append(path("typo.conf"), "TARNWICK_LOG=/tmp/x.log\nTARNWICK ROSTER=/tmp/r\n");
    append(path("plain.conf"), "TARNWICK_LOG=" + path("cellar/tarnwick.log").toUtf8() + "\n");
    const QString cellar = "cellar=" + path("cellar.conf");
    const struct {
        QStringList arguments;
        QString message;
    } rows[] = {
        {{"--instance", "cellar=" + path("none.conf")},
         "--instance cellar: " + path("none.conf") + ": cannot read the settings"},
        {{"--instance", cellar, path("attic/tarnwick.log")},
         "LOG files (\"" + path("attic/tarnwick.log") + "\") cannot be given with --instance"},
        {{"--instance", cellar, "--roster", path("attic.roster")},
         "--roster cannot be given with --instance"},
        {{"--instance", cellar, "--sensors", "garage:1"},
         "--sensors: \"garage\" names no instance given by --instance (cellar), and no sensor"},
        {{"--instance", cellar, "--sensors", "cellar:Loft"}, "\"Loft\" is none of these"},
        {{"--instance", "broken=" + path("broken.conf")},
         "--instance broken: " + path("broken.roster") + ":2:"},
        {{"--instance", "typo=" + path("typo.conf")}, path("typo.conf") + ":2: expected KEY=value"},
        {{"--instance", cellar, "--instance", "cellar=" + path("attic.conf")},
         "--instance cellar is given twice"},
        {{"--instance", "../cellar"}, "--instance takes NAME or NAME=FILE"},
        {{"--instance", cellar, "--instance", "attic=" + path("attic.conf"), "--show", "--follow"},
         "give one --instance with it"},
        {{"--instance", cellar, "--instance", "plain=" + path("plain.conf"), "--alarms"},
         "the instance plain has none"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        const ParsedArguments parsed =
            parseArguments(QStringList{"tarnwick-report"} + row.arguments, "0");
        EXPECT_EQ(parsed.outcome, ParsedArguments::Error);
        EXPECT_TRUE(parsed.text.contains(row.message)) << parsed.text.toStdString();
    }
}

}  // namespace
}  // namespace tarnwick::test
