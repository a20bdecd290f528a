#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdio>
#include <string>

#include "../TestPrinters.h"
#include "Gzip.h"
#include "RecordFormat.h"
#include "Report.h"
#include "RunReport.h"
#include "Timestamp.h"

namespace tarnwick::test {
namespace {

QByteArray loggerRecord(int hour, int minute, int second, const QStringList& words) {
    const QDateTime t(QDate(2026, 12, 7), QTime(hour, minute, second));
    return formatRecord(generalDateTime(t, QLocale("en_US")), words);
}

QStringList words(std::initializer_list<const char*> first, int count) {
    QStringList list;
    for (const char* w : first) list << QString::fromLatin1(w);
    while (list.size() < count) list << QStringLiteral("9001");
    return list;
}

bool write(const QString& path, const QByteArray& data) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

std::string readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// Two logs of one series, read as one in time order: a 12-word and a 16-word
// record, a failed reading, power-on values and a line that is not a record.
class SmallLogs : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        a_ = dir_.filePath("a.log");
        b_ = dir_.filePath("b.log");
        ASSERT_TRUE(write(a_, loggerRecord(7, 0, 0, words({"4B01", "0000", "5005"}, 12)) +
                                  "12/7/2026 7:00:05 AM, 4B01 , 90\r\n" +
                                  loggerRecord(7, 0, 20, words({"5EFF", "0000", "4B01"}, 12))));
        ASSERT_TRUE(write(b_, loggerRecord(7, 0, 10,
                                           words({"FFFF", "9001", "5005"}, 12) +
                                               QStringList{"0100", "9001", "9001", "9001"})));
    }
    QTemporaryDir dir_;
    QString a_, b_;
};

TEST_F(SmallLogs, SummaryAndCsvInTimeOrder) {
    const QString csv = dir_.filePath("out.csv");
    const Output o =
        run({"--unit", "C", "--locale", "en_US", "--sensors", "13,1,2,3", "--csv", csv, a_, b_});
    EXPECT_EQ(o.result.exitStatus, kExitOk);
    EXPECT_EQ(o.result.records, 3);
    EXPECT_EQ(o.result.badLines, 1);
    EXPECT_EQ(o.out,
              "Records: 3, 2026-12-07T07:00:00 to 2026-12-07T07:00:20\n"
              "Sensor  ROM identifier     Readings  Missing  Power-on     Min °C     Max °C    "
              "Mean °C  First                Last\n"
              "     1  9C000000B4A89828          3        0         0   -10.1250    20.6875     "
              "3.5000  2026-12-07T07:00:00  2026-12-07T07:00:20\n"
              "     2  06000000A4EC7428          1        2         0    25.0000    25.0000    "
              "25.0000  2026-12-07T07:00:00  2026-12-07T07:00:20\n"
              "     3  B900000027CA8F28          1        0         2    20.6875    20.6875    "
              "20.6875  2026-12-07T07:00:00  2026-12-07T07:00:20\n"
              "    13  84000000B4D33B28          1        0         0     0.0625     0.0625     "
              "0.0625  2026-12-07T07:00:10  2026-12-07T07:00:10\n"
              "Lines that are not records: 1\n");
    EXPECT_EQ(readFile(csv),
              "time,9C000000B4A89828,06000000A4EC7428,B900000027CA8F28,84000000B4D33B28\r\n"
              "2026-12-07T07:00:00,20.6875,,,\r\n"
              "2026-12-07T07:00:10,-0.0625,25.0000,,0.0625\r\n"
              "2026-12-07T07:00:20,-10.1250,,20.6875,\r\n");
    EXPECT_NE(o.err.find(a_.toStdString() + ":2: not a record"), std::string::npos) << o.err;
}

TEST_F(SmallLogs, FahrenheitTimeRangePowerOnKeptAndColumnsOfTheWidestRecord) {
    const Output o = run({"--unit", "F", "--locale", "en_US", "--keep-power-on", "--from",
                          "2026-12-07T07:00:05", "--to", "2026-12-07", "--csv", "-", b_, a_});
    EXPECT_EQ(o.result.exitStatus, kExitOk);
    EXPECT_EQ(o.result.records, 2);
    const std::string header = o.out.substr(0, o.out.find("\r\n"));
    EXPECT_EQ(std::count(header.begin(), header.end(), ','), 16) << header;
    EXPECT_EQ(o.out.substr(o.out.find("\r\n") + 2, 60),
              "2026-12-07T07:00:10,31.8875,77.0000,185.0000,77.0000,77.0000");
    EXPECT_NE(o.out.find("\r\n2026-12-07T07:00:20,13.7750,,69.2375,77.0000"), std::string::npos);
    EXPECT_EQ(o.out.find("Records"), std::string::npos);  // the CSV alone on standard output
}

// The line protocol takes the CSV's filters; its times are UTC nanoseconds
// by this system's time zone.
TEST_F(SmallLogs, LineProtocolWithTheCsvsFilters) {
    const auto ns = [](int second) {
        return std::to_string(
                   QDateTime(QDate(2026, 12, 7), QTime(7, 0, second)).toSecsSinceEpoch()) +
               "000000000\n";
    };
    const std::string one = "temperature,sensor=9C000000B4A89828 celsius=";
    const std::string three = "temperature,sensor=B900000027CA8F28 celsius=";

    const Output later = run({"--locale", "en_US", "--unit", "F", "--sensors", "3,1", "--from",
                              "2026-12-07T07:00:05", "--influx", "-", a_, b_});
    EXPECT_EQ(later.result.exitStatus, kExitOk);
    EXPECT_EQ(later.out,
              one + "-0.0625 " + ns(10) + one + "-10.1250 " + ns(20) + three + "20.6875 " + ns(20));

    const Output earlier = run({"--locale", "en_US", "--sensors", "1,3", "--keep-power-on", "--to",
                                "2026-12-07T07:00:10", "--influx", "-", a_, b_});
    EXPECT_EQ(earlier.out, one + "20.6875 " + ns(0) + three + "85.0000 " + ns(0) + one +
                               "-0.0625 " + ns(10) + three + "85.0000 " + ns(10));
}

// A shorter record after a longer one in the same log carries only its own
// sensors: the cells of the others stay empty, with no line protocol for
// them, even where its words repeat the longer record's.
TEST(RecordWidths, AShorterRecordKeepsNothingOfTheLongerBefore) {
    QTemporaryDir dir;
    const QString log = dir.filePath("widths.log");
    const QStringList sixteen = words({"9001"}, 12) + QStringList{"0100", "0200", "0300", "0400"};
    ASSERT_TRUE(write(log, loggerRecord(7, 0, 0, sixteen) + loggerRecord(7, 0, 1, words({}, 12)) +
                               loggerRecord(7, 0, 2, words({}, 14)) +
                               loggerRecord(7, 0, 3, sixteen)));
    const Output csv = run({"--unit", "C", "--locale", "en_US", "--csv", "-", log});
    const QStringList rows = QString::fromStdString(csv.out).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 5);
    const QString twelve = QStringLiteral(",25.0000").repeated(12);
    EXPECT_EQ(rows[1], "2026-12-07T07:00:00" + twelve + ",0.0625,0.1250,0.1875,0.2500");
    EXPECT_EQ(rows[2], "2026-12-07T07:00:01" + twelve + ",,,,");
    EXPECT_EQ(rows[3], "2026-12-07T07:00:02" + twelve + ",25.0000,25.0000,,");
    EXPECT_EQ(rows[4], QString(rows[1]).replace("07:00:00", "07:00:03"));

    const Output influx = run({"--locale", "en_US", "--sensors", "13,15", "--influx", "-", log});
    const std::string ns =
        std::to_string(QDateTime(QDate(2026, 12, 7), QTime(7, 0, 0)).toSecsSinceEpoch());
    const auto line = [&](const char* rom, const char* degrees, int second) {
        return "temperature,sensor=" + std::string(rom) + " celsius=" + degrees + " " +
               std::to_string(std::stoll(ns) + second) + "000000000\n";
    };
    EXPECT_EQ(influx.out,
              line("84000000B4D33B28", "0.0625", 0) + line("F9000000A4DF6628", "0.1875", 0) +
                  line("84000000B4D33B28", "25.0000", 2) + line("84000000B4D33B28", "0.0625", 3) +
                  line("F9000000A4DF6628", "0.1875", 3));
}

// Records that share a second (passes not exactly a second apart) are all
// kept in file order: the CSV repeats the time; the line protocol and the
// chart spread them within the second, the k-th of n at k/n of it, so that
// no line is overwritten and no line doubles back.
TEST(SharedSeconds, EveryRecordKeptInFileOrderAndSpreadWithinItsSecond) {
    QTemporaryDir dir;
    const QString log = dir.filePath("shared.log");
    QByteArray data;
    const struct {
        int second;
        const char* word;
    } records[] = {{0, "4001"}, {1, "5001"}, {1, "6001"}, {1, "5801"}, {2, "4001"}};
    for (const auto& r : records) data += loggerRecord(7, 0, r.second, words({r.word}, 12));
    ASSERT_TRUE(write(log, data));

    const Output csv =
        run({"--unit", "C", "--locale", "en_US", "--sensors", "1", "--csv", "-", log});
    EXPECT_EQ(csv.out,
              "time,9C000000B4A89828\r\n2026-12-07T07:00:00,20.0000\r\n"
              "2026-12-07T07:00:01,21.0000\r\n2026-12-07T07:00:01,22.0000\r\n"
              "2026-12-07T07:00:01,21.5000\r\n2026-12-07T07:00:02,20.0000\r\n");

    const Output influx = run({"--locale", "en_US", "--sensors", "1", "--influx", "-", log});
    const qint64 start = QDateTime(QDate(2026, 12, 7), QTime(7, 0, 0)).toSecsSinceEpoch();
    std::string expected;
    for (const auto& [degrees, ns] : {std::pair{"20.0000", start * 1000000000},
                                      {"21.0000", (start + 1) * 1000000000},
                                      {"22.0000", (start + 1) * 1000000000 + 333333333},
                                      {"21.5000", (start + 1) * 1000000000 + 666666666},
                                      {"20.0000", (start + 2) * 1000000000}})
        expected += "temperature,sensor=9C000000B4A89828 celsius=" + std::string(degrees) + " " +
                    std::to_string(ns) + "\n";
    EXPECT_EQ(influx.out, expected);

    // One column per second: within the shared one, its lowest and highest
    // reading, the 1st and the 2nd of its three.
    const Output chart =
        run({"--locale", "en_US", "--sensors", "1", "--plot", dir.filePath("c.png"), log});
    ASSERT_EQ(chart.result.plot.size(), 1u);
    ASSERT_EQ(chart.result.plot[0].segments.size(), 1u);
    std::vector<std::pair<double, int>> points;
    for (const PlotPoint& p : chart.result.plot[0].segments[0])
        points.emplace_back(
            static_cast<double>(p.time - chart.result.plot[0].segments[0][0].time) + p.fraction,
            p.steps);
    EXPECT_EQ(points, (std::vector<std::pair<double, int>>{
                          {0.0, 320}, {1.0, 336}, {1 + 1.0 / 3, 352}, {2.0, 320}}));

    // Across a rotation the older log's record of the second comes first,
    // whatever the order the logs are named in (tarnwick.log* names the
    // newest first).
    const QString older = dir.filePath("tarnwick.log.1");
    const QString newer = dir.filePath("tarnwick.log");
    ASSERT_TRUE(write(older, loggerRecord(7, 0, 4, words({"4001"}, 12)) +
                                 loggerRecord(7, 0, 5, words({"5001"}, 12))));
    ASSERT_TRUE(write(newer, loggerRecord(7, 0, 5, words({"6001"}, 12)) +
                                 loggerRecord(7, 0, 6, words({"4001"}, 12))));
    const Output rotated =
        run({"--unit", "C", "--locale", "en_US", "--sensors", "1", "--csv", "-", newer, older});
    EXPECT_EQ(rotated.out,
              "time,9C000000B4A89828\r\n2026-12-07T07:00:04,20.0000\r\n"
              "2026-12-07T07:00:05,21.0000\r\n2026-12-07T07:00:05,22.0000\r\n"
              "2026-12-07T07:00:06,20.0000\r\n");
}

TEST(BadLines, ReportedWithTheirNumbersTheFirstFewOnly) {
    QTemporaryDir dir;
    const QString log = dir.filePath("bad.log");
    QByteArray data;
    for (int i = 1; i <= 9; ++i) {
        data += i == 4 ? loggerRecord(7, 0, 0, words({}, 12))
                       : QByteArray("line ") + QByteArray::number(i) + "\r\n";
    }
    ASSERT_TRUE(write(log, data));
    const Output o = run({"--locale", "en_US", log});
    EXPECT_EQ(o.result.exitStatus, kExitOk);
    EXPECT_EQ(o.result.records, 1);
    EXPECT_EQ(o.result.badLines, 8);
    for (const int n : {1, 2, 3, 5, 6}) {
        EXPECT_NE(o.err.find(QStringLiteral("%1:%2: not a record").arg(log).arg(n).toStdString()),
                  std::string::npos)
            << n;
    }
    EXPECT_EQ(o.err.find(":7: not a record"), std::string::npos);
    EXPECT_NE(o.err.find("8 of 9 lines were not records"), std::string::npos) << o.err;

    // A log that cannot be read ends the run with a failure.
    const Output missing = run({dir.filePath("none.log")});
    EXPECT_EQ(missing.result.exitStatus, kExitFailure);
    EXPECT_NE(missing.err.find("none.log"), std::string::npos);
}

// A record of 12 words whose first word is `first`, at 07:mm:ss.
QByteArray recordAt(int minute, int second, const QString& first) {
    QStringList list = words({}, 12);
    list[0] = first;
    return loggerRecord(7, minute, second, list);
}

// A rotated series as logrotate leaves it with compress and delaycompress:
// the live log and the last one plain, older ones compressed. Compression is
// known by the data: a compressed log without .gz and a plain one named .gz.
TEST(CompressedLogs, ARotatedSeriesIsReadAsOneInTimeOrder) {
    QTemporaryDir dir;
    const auto minutes = [](int from, int to) {
        QByteArray data;
        for (int m = from; m < to; ++m)
            data += recordAt(m, 0, QStringLiteral("%1").arg(m, 2, 10, QLatin1Char('0')) + "01");
        return data;
    };
    QStringList sixteen = words({"0F01"}, 16);
    const QByteArray wide = loggerRecord(7, 7, 30, sixteen);
    ASSERT_TRUE(write(dir.filePath("tarnwick.log"), minutes(10, 12)));
    ASSERT_TRUE(write(dir.filePath("tarnwick.log.1"), minutes(8, 10)));
    ASSERT_TRUE(
        write(dir.filePath("tarnwick.log.2.gz"), gzip(minutes(4, 6)) + gzip(minutes(6, 8) + wide)));
    ASSERT_TRUE(write(dir.filePath("tarnwick.log.3"), gzip(minutes(2, 4))));
    ASSERT_TRUE(write(dir.filePath("plain.gz"), minutes(0, 2)));
    QStringList logs;
    for (const char* name :
         {"plain.gz", "tarnwick.log", "tarnwick.log.1", "tarnwick.log.2.gz", "tarnwick.log.3"})
        logs << dir.filePath(name);

    const Output o = run(QStringList{"--unit", "C", "--locale", "en_US", "--csv", "-"} + logs);
    EXPECT_EQ(o.result.exitStatus, kExitOk) << o.err;
    EXPECT_EQ(o.result.badLines, 0);
    const QStringList rows = QString::fromStdString(o.out).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 14);
    EXPECT_EQ(rows[0].count(u','), 16);  // the widest record, read from compressed data
    QStringList times;
    for (const QString& row : rows.mid(1)) times << row.section(u',', 0, 1);
    EXPECT_EQ(times, (QStringList{"2026-12-07T07:00:00,16.0000", "2026-12-07T07:01:00,16.0625",
                                  "2026-12-07T07:02:00,16.1250", "2026-12-07T07:03:00,16.1875",
                                  "2026-12-07T07:04:00,16.2500", "2026-12-07T07:05:00,16.3125",
                                  "2026-12-07T07:06:00,16.3750", "2026-12-07T07:07:00,16.4375",
                                  "2026-12-07T07:07:30,16.9375", "2026-12-07T07:08:00,16.5000",
                                  "2026-12-07T07:09:00,16.5625", "2026-12-07T07:10:00,17.0000",
                                  "2026-12-07T07:11:00,17.0625"}));

    // Only a log being written can be followed.
    const Output followed =
        run({"--locale", "en_US", "--show", "--follow", dir.filePath("tarnwick.log.2.gz")});
    EXPECT_EQ(followed.result.exitStatus, kExitFailure);
    EXPECT_NE(followed.err.find("tarnwick.log.2.gz is compressed"), std::string::npos);
}

TEST(CompressedLogs, ALogCutShortKeepsWhatCouldBeRead) {
    QTemporaryDir dir;
    QByteArray text;
    for (int second = 0; second < 3000; ++second) {
        const QString word =
            QStringLiteral("%1").arg(second % 4096, 3, 16, QLatin1Char('0')).toUpper();
        text += recordAt(second / 60, second % 60, word.right(2) + "0" + word.left(1));
    }
    const QByteArray compressed = gzip(text);
    const QString log = dir.filePath("tarnwick.log.2.gz");
    ASSERT_TRUE(write(log, compressed.left(compressed.size() * 2 / 3)));

    const Output o = run({"--locale", "en_US", log});
    EXPECT_EQ(o.result.exitStatus, kExitFailure);
    EXPECT_NE(o.err.find("tarnwick.log.2.gz: the compressed data ends early"), std::string::npos)
        << o.err;
    EXPECT_GT(o.result.records, 1000);
    EXPECT_LT(o.result.records, 3000);
    EXPECT_LE(o.result.badLines, 1);  // at most the line the cut went through
    EXPECT_NE(o.out.find("Records: " + std::to_string(o.result.records)), std::string::npos);
}

}  // namespace
}  // namespace tarnwick::test
