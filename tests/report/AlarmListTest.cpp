#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "../TestPrinters.h"
#include "AlarmList.h"
#include "LoggerLines.h"
#include "RunReport.h"

namespace tarnwick::test {
namespace {

// A freezer with a high limit, a delay and a wide hysteresis, and a cellar
// with a low limit; records ten seconds apart, with the logger stopped for
// four and a half minutes after 07:02:10.
//   freezer: over -15 from :10 (back at :20), from :30 for the delay of 60 s:
//            high at 07:01:30, up to -12.5, held at -15.5, cleared at exactly
//            -16 (07:02:00); over again at 07:02:10, but the hole restarts
//            the delay, which 07:06:40 and :50 do not reach.
//   cellar:  three failed readings make a fault at 07:01:00, a good one
//            clears it; below 3 at 07:01:40 (no delay) down to 1, held at
//            3.25 (within the hysteresis of 0.5), ended by the hole at
//            07:02:10; low again after it, ongoing at the end.
class AlarmLog : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        roster_ = dir_.filePath("roster.conf");
        log_ = dir_.filePath("tarnwick.log");
        append(roster_,
               "9C000000B4A89828, Freezer, high=-15, hysteresis=1, delay=1m\n"
               "06000000A4EC7428, Cellar, low=3\n");
        const struct {
            int second;
            const char* freezer;
            const char* cellar;
        } rows[] = {
            {0, "00FF", "5000"},   {10, "20FF", "5000"},  {20, "00FF", "5000"},
            {30, "20FF", "5000"},  {40, "20FF", "0000"},  {50, "30FF", "0000"},
            {60, "20FF", "0000"},  {70, "20FF", "5000"},  {80, "20FF", "5000"},
            {90, "20FF", "5000"},  {100, "38FF", "2000"}, {110, "08FF", "1000"},
            {120, "00FF", "3400"}, {130, "20FF", "2000"}, {400, "20FF", "2000"},
            {410, "20FF", "2000"},
        };
        QByteArray text;
        for (const auto& row : rows) {
            text += recordAt(QDateTime(QDate(2026, 12, 7), QTime(7, 0).addSecs(row.second)),
                             {QString::fromLatin1(row.freezer), QString::fromLatin1(row.cellar)});
        }
        append(log_, text);
    }

    QTemporaryDir dir_;
    QString roster_;
    QString log_;
};

TEST_F(AlarmLog, PeriodsAsTextAndCsv) {
    const struct {
        QStringList options;
        const char* out;
    } rows[] = {
        {{"--alarms"},
         "Start                End                     Duration  Sensor  Name     State  "
         "Extreme °C\n"
         "2026-12-07T07:01:00  2026-12-07T07:01:10      0:00:10       2  Cellar   fault  -\n"
         "2026-12-07T07:01:30  2026-12-07T07:02:00      0:00:30       1  Freezer  high   "
         "-12.5000\n"
         "2026-12-07T07:01:40  2026-12-07T07:02:10      0:00:30       2  Cellar   low    1.0000\n"
         "2026-12-07T07:06:40  ongoing                  0:00:10       2  Cellar   low    2.0000\n"
         "Alarm periods: 4 (1 ongoing)\n"},
        {{"--alarms", "--unit", "F", "--sensors", "Freezer", "--csv", "-"},
         "start,end,seconds,sensor,name,rom,state,extreme °F\r\n"
         "2026-12-07T07:01:30,2026-12-07T07:02:00,30,1,Freezer,9C000000B4A89828,high,9.5000\r\n"},
        {{"--alarms", "--csv", "-", "--from", "2026-12-07T07:01:35"},
         "start,end,seconds,sensor,name,rom,state,extreme °C\r\n"
         "2026-12-07T07:01:40,2026-12-07T07:02:10,30,2,Cellar,06000000A4EC7428,low,1.0000\r\n"
         "2026-12-07T07:06:40,ongoing,10,2,Cellar,06000000A4EC7428,low,2.0000\r\n"},
    };
    for (const auto& row : rows)
        expectOutput(QStringList{"--locale", "en_US", "--unit", "C", "--roster", roster_} +
                         row.options + QStringList{log_},
                     row.out);
}

TEST(AlarmList, Durations) {
    const struct {
        qint64 seconds;
        const char* text;
    } rows[] = {{0, "0:00:00"},
                {59, "0:00:59"},
                {3600 * 23 + 61, "23:01:01"},
                {kSecondsPerDay * 400 + 7, "400d 00:00:07"}};
    for (const auto& row : rows) EXPECT_EQ(durationText(row.seconds), row.text);
}

}  // namespace
}  // namespace tarnwick::test
