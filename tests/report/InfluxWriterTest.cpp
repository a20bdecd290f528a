#include <gtest/gtest.h>

#include <QDateTime>
#include <QTimeZone>
#include <cstdio>
#include <string>
#include <vector>

#include "InfluxWriter.h"
#include "WallClockZone.h"

namespace tarnwick::test {
namespace {

TEST(LineProtocol, EscapesWhatTheProtocolAsks) {
    const struct {
        const char* text;
        const char* key;          // tag key, tag value or field key
        const char* measurement;  // measurement name
    } rows[] = {
        {"Cellar", "Cellar", "Cellar"},
        {"Living room", "Living\\ room", "Living\\ room"},
        {"North, upstairs", "North\\,\\ upstairs", "North\\,\\ upstairs"},
        {"a=b", "a\\=b", "a=b"},
        {"C:\\sensors\\", "C:\\\\sensors\\\\", "C:\\\\sensors\\\\"},
        {"\\,", "\\\\\\,", "\\\\\\,"},
        {"two\nlines\r", "two\\ lines\\ ", "two\\ lines\\ "},
        {"K\xC3\xBC"
         "che \"S\xC3\xBC"
         "d\"",
         "K\xC3\xBC"
         "che\\ \"S\xC3\xBC"
         "d\"",
         "K\xC3\xBC"
         "che\\ \"S\xC3\xBC"
         "d\""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(lineProtocolKey(row.text), row.key);
        EXPECT_EQ(lineProtocolMeasurement(row.text), row.measurement);
    }
}

WallSeconds wall(int year, int month, int day, int hour, int minute) {
    return toWallSeconds(QDate(year, month, day), QTime(hour, minute));
}

qint64 utc(int year, int month, int day, int hour, int minute) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute), Qt::UTC).toSecsSinceEpoch();
}

TEST(WallClockZone, LocalTimesToUtc) {
    const struct {
        const char* zone;
        WallSeconds wall;
        qint64 utc;
    } rows[] = {
        {"Europe/Berlin", wall(2026, 1, 15, 12, 0), utc(2026, 1, 15, 11, 0)},
        {"Europe/Berlin", wall(2026, 7, 1, 12, 0), utc(2026, 7, 1, 10, 0)},
        // Skipped when summer time begins: read with the winter offset.
        {"Europe/Berlin", wall(2026, 3, 29, 2, 30), utc(2026, 3, 29, 1, 30)},
        // Repeated when it ends, met without a record before: the first time.
        {"Europe/Berlin", wall(2026, 10, 25, 2, 30), utc(2026, 10, 25, 0, 30)},
        {"America/New_York", wall(2026, 11, 1, 1, 30), utc(2026, 11, 1, 5, 30)},
        {"UTC", wall(2026, 10, 25, 2, 30), utc(2026, 10, 25, 2, 30)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.zone);
        WallClockZone zone{QTimeZone(row.zone)};
        EXPECT_EQ(zone.toUtc(row.wall), row.utc);
    }
}

// What a zone remembers between records changes no result: every half hour
// of a year, one after the other, as each alone.
TEST(WallClockZone, RecordAfterRecordAsEachAlone) {
    for (const char* name :
         {"Europe/Berlin", "America/New_York", "Australia/Lord_Howe", "Asia/Kolkata"}) {
        SCOPED_TRACE(name);
        const QTimeZone tz(name);
        WallClockZone running(tz);
        const WallSeconds start = wall(2026, 1, 1, 0, 0);
        int differ = 0;
        for (WallSeconds w = start; w < start + 365 * kSecondsPerDay; w += 1800) {
            WallClockZone alone(tz);
            if (running.toUtc(w) != alone.toUtc(w)) ++differ;
        }
        EXPECT_EQ(differ, 0);
    }
}

// A log written every ten minutes through the night summer time ends: its
// wall clock runs through the repeated hour twice; in UTC the records stay
// ten minutes apart.
TEST(WallClockZone, ARecordThroughTheRepeatedHourKeepsItsOrder) {
    for (const auto& [name, date, repeated] :
         {std::tuple{"Europe/Berlin", QDate(2026, 10, 25), 2},
          std::tuple{"America/New_York", QDate(2026, 11, 1), 1}}) {
        SCOPED_TRACE(name);
        WallClockZone zone{QTimeZone(name)};
        std::vector<WallSeconds> walls;
        for (int minute = 0; minute < 5 * 60; minute += 10) {
            const WallSeconds w = toWallSeconds(date, QTime(minute / 60, minute % 60));
            walls.push_back(w);
            if (minute / 60 == repeated && minute % 60 == 50) {
                // The clock goes back: the hour again.
                for (int again = 0; again < 60; again += 10)
                    walls.push_back(toWallSeconds(date, QTime(repeated, again)));
            }
        }
        qint64 previous = zone.toUtc(walls.front());
        for (std::size_t i = 1; i < walls.size(); ++i) {
            const qint64 t = zone.toUtc(walls[i]);
            EXPECT_EQ(t - previous, 600) << i;
            previous = t;
        }
    }
}

std::string written(const std::function<void(std::FILE*)>& write) {
    std::FILE* f = std::tmpfile();
    write(f);
    std::rewind(f);
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
    return text;
}

TEST(InfluxWriter, OneLinePerTemperatureWithItsNameAndUtcTime) {
    Selection selection;
    selection.sensorSlots = {0, 1, 2, 3};
    SensorLabels labels = SensorLabels::compiled();
    labels.setName(0, "Living room, north");
    labels.setName(2, "a=b\\");

    LogRecord record;
    record.time = wall(2026, 7, 1, 12, 0);
    record.sensorCount = 12;
    record.readings[0] = {ReadingKind::Valid, 331};
    record.readings[1] = {ReadingKind::Missing, 0};
    record.readings[2] = {ReadingKind::Valid, -162};
    record.readings[3] = {ReadingKind::PowerOn, 1360};
    const std::string text = written([&](std::FILE* f) {
        InfluxWriter writer(f, selection, labels, QTimeZone("Europe/Berlin"));
        writer.add(record);
        EXPECT_TRUE(writer.finish());
    });
    const std::string ns = std::to_string(utc(2026, 7, 1, 10, 0)) + "000000000";
    EXPECT_EQ(text,
              "temperature,sensor=9C000000B4A89828,name=Living\\ room\\,\\ north "
              "celsius=20.6875 " +
                  ns +
                  "\n"
                  "temperature,sensor=B900000027CA8F28,name=a\\=b\\\\ celsius=-10.1250 " +
                  ns + "\n");
}

// Lines of one sensor with the same time would overwrite each other: records
// that share a second are spread within it, also before 1970.
TEST(InfluxWriter, RecordsThatShareASecondAreSpreadWithinIt) {
    Selection selection;
    selection.sensorSlots = {0};
    const struct {
        std::vector<WallSeconds> times;
        const char* nanoseconds;
    } rows[] = {
        {{7, 8, 8, 9}, "7000000000 8000000000 8500000000 9000000000"},
        {{0, 0, 0}, "0 333333333 666666666"},
        {{-5, -5, -5, -5}, "-5000000000 -4750000000 -4500000000 -4250000000"},
        {{-1, -1}, "-1000000000 -500000000"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.nanoseconds);
        const std::string text = written([&](std::FILE* f) {
            InfluxWriter writer(f, selection, SensorLabels::compiled(), QTimeZone::utc());
            LogRecord record;
            record.sensorCount = 12;
            record.readings[0] = {ReadingKind::Valid, 16};
            for (const WallSeconds t : row.times) {
                record.time = t;
                writer.add(record);
            }
            EXPECT_TRUE(writer.finish());
        });
        // Each line's time, after its last blank.
        std::string times;
        for (std::size_t begin = 0, end; (end = text.find('\n', begin)) != std::string::npos;
             begin = end + 1) {
            const std::size_t blank = text.rfind(' ', end);
            times += (times.empty() ? "" : " ") + text.substr(blank + 1, end - blank - 1);
        }
        EXPECT_EQ(times, row.nanoseconds) << text;
    }
}

}  // namespace
}  // namespace tarnwick::test
