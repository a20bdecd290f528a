#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "../TestPrinters.h"
#include "LoggerLines.h"
#include "RunReport.h"

namespace tarnwick::test {
namespace {

// Two days of two sensors, the first with an offset of +0.5: a failed and a
// power-on reading on the first day, a maximum read twice on the second (its
// first time counts), a day that ends a second before midnight.
TEST(DailyTable, TwoDaysAsTextAndCsv) {
    QTemporaryDir dir;
    const QString roster = dir.filePath("roster.conf");
    const QString log = dir.filePath("tarnwick.log");
    append(roster, "9C000000B4A89828, Freezer, +0.5\n06000000A4EC7428\n");
    const struct {
        QDate day;
        QTime time;
        const char* first;
        const char* second;
    } records[] = {
        {QDate(2026, 12, 7), QTime(22, 0), "4001", "0000"},
        {QDate(2026, 12, 7), QTime(23, 0), "5001", "5005"},
        {QDate(2026, 12, 7), QTime(23, 59, 59), "3001", "A000"},
        {QDate(2026, 12, 8), QTime(0, 0), "6001", "B000"},
        {QDate(2026, 12, 8), QTime(12, 0), "6001", "9000"},
    };
    QByteArray text;
    for (const auto& r : records)
        text += recordAt(QDateTime(r.day, r.time),
                         {QString::fromLatin1(r.first), QString::fromLatin1(r.second)});
    append(log, text);

    const struct {
        QStringList options;
        const char* out;
    } rows[] = {
        {{"--daily"},
         "Date        Sensor  Name              Readings  Missing  Power-on     Min °C  at        "
         "  Mean °C     Max °C  at\n"
         "2026-12-07       1  Freezer                  3        0         0    19.5000  23:59:59 "
         "   20.5000    21.5000  23:00:00\n"
         "2026-12-07       2  06000000A4EC7428         1        1         1    10.0000  23:59:59 "
         "   10.0000    10.0000  23:59:59\n"
         "2026-12-08       1  Freezer                  2        0         0    22.5000  00:00:00 "
         "   22.5000    22.5000  00:00:00\n"
         "2026-12-08       2  06000000A4EC7428         2        0         0     9.0000  12:00:00 "
         "   10.0000    11.0000  00:00:00\n"},
        {{"--daily", "--csv", "-", "--sensors", "2", "--keep-power-on"},
         "date,sensor,name,rom,readings,missing,power-on,min °C,min time,mean °C,max °C,max "
         "time\r\n"
         "2026-12-07,2,,06000000A4EC7428,2,1,1,10.0000,2026-12-07T23:59:59,47.5000,85.0000,"
         "2026-12-07T23:00:00\r\n"
         "2026-12-08,2,,06000000A4EC7428,2,0,0,9.0000,2026-12-08T12:00:00,10.0000,11.0000,"
         "2026-12-08T00:00:00\r\n"},
    };
    for (const auto& row : rows)
        expectOutput(QStringList{"--locale", "en_US", "--unit", "C", "--roster", roster} +
                         row.options + QStringList{log},
                     row.out);
}

}  // namespace
}  // namespace tarnwick::test
