#include <gtest/gtest.h>

#include <QDateTime>
#include <QLocale>
#include <QStringList>
#include <string>

#include "../TestPrinters.h"
#include "Degrees.h"
#include "LogRecord.h"
#include "RecordFormat.h"
#include "SensorLabels.h"
#include "Timestamp.h"

namespace tarnwick::test {
namespace {

// A record line as the logger writes it, without its CR LF.
std::string loggerLine(const QDateTime& time, const QLocale& locale, const QStringList& words) {
    QByteArray record = formatRecord(generalDateTime(time, locale), words);
    EXPECT_TRUE(record.endsWith("\r\n"));
    record.chop(2);
    return record.toStdString();
}

QStringList twelve(const QString& first) {
    QStringList words{first};
    for (int i = 1; i < 12; ++i) words << QStringLiteral("9001");
    return words;
}

// A word by its sensor's family (sixteenths, or half degrees for family 10,
// each with its own power-on word) and with its offset from the roster.
TEST(TemperatureConversion, WordsToReadingsAndDegreesByFamilyAndOffset) {
    struct Row {
        const char* word;
        int family;
        int offset;  // thousandths of a degree
        ReadingKind kind;
        int steps;
        const char* celsius;
        const char* fahrenheit;
    };
    const Row rows[] = {
        {"4B01", 0x28, 0, ReadingKind::Valid, 331, "20.6875", "69.2375"},
        {"9001", 0x28, 0, ReadingKind::Valid, 400, "25.0000", "77.0000"},
        {"0100", 0x28, 0, ReadingKind::Valid, 1, "0.0625", "32.1125"},
        {"FFFF", 0x28, 0, ReadingKind::Valid, -1, "-0.0625", "31.8875"},
        {"5EFF", 0x28, 0, ReadingKind::Valid, -162, "-10.1250", "13.7750"},
        {"6EFE", 0x28, 0, ReadingKind::Valid, -402, "-25.1250", "-13.2250"},
        {"d0fe", 0x28, 0, ReadingKind::Valid, -304, "-19.0000", "-2.2000"},
        {"0000", 0x28, 0, ReadingKind::Missing, 0, "", ""},
        {"5005", 0x28, 0, ReadingKind::PowerOn, 1360, "85.0000", "185.0000"},
        {"4B01", 0x28, -250, ReadingKind::Valid, 331, "20.4375", "68.7875"},
        {"4B01", 0x22, 3, ReadingKind::Valid, 331, "20.6905", "69.2429"},
        {"2B00", 0x10, 0, ReadingKind::Valid, 43, "21.5000", "70.7000"},
        {"CEFF", 0x10, 300, ReadingKind::Valid, -50, "-24.7000", "-12.4600"},
        {"0000", 0x10, 0, ReadingKind::Missing, 0, "", ""},
        {"AA00", 0x10, 0, ReadingKind::PowerOn, 170, "85.0000", "185.0000"},
        {"5005", 0x10, 0, ReadingKind::Valid, 1360, "680.0000", "1256.0000"},
    };
    const QLocale locale("en_US");
    GeneralDateTimeParser parser(locale);
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.word) + " family " + std::to_string(row.family));
        RosterSensor sensor;
        sensor.rom = QStringLiteral("9C000000B4A89828");
        sensor.family = row.family;
        sensor.offsetMilliCelsius = row.offset;
        const SensorLabels labels(SensorRoster({sensor}, QStringLiteral("r.conf")));
        const std::string line = loggerLine(QDateTime(QDate(2026, 12, 7), QTime(7, 12, 49)), locale,
                                            twelve(QString::fromLatin1(row.word)));
        LogRecord record;
        ASSERT_EQ(parseRecordLine(line, parser, record, labels.powerOn()), LineError::None);
        const Reading r = record.readings[0];
        EXPECT_EQ(r.kind, row.kind);
        if (row.kind == ReadingKind::Missing) continue;
        EXPECT_EQ(r.steps, row.steps);
        EXPECT_EQ(degreesText(labels.celsius(0, r.steps), Unit::Celsius), row.celsius);
        EXPECT_EQ(degreesText(labels.celsius(0, r.steps), Unit::Fahrenheit), row.fahrenheit);
        EXPECT_NEAR(degrees(labels.meanCelsius(0, r.steps), Unit::Fahrenheit),
                    std::stod(row.fahrenheit), 1e-9);
    }
}

// What the logger writes under a locale reads back, to the second, under the
// same locale, with one to sixteen words; midnight is the date alone.
TEST(RecordLine, RoundTripWithTheLoggersWriterInTwoLocales) {
    const QDate day(2026, 12, 7);
    const QTime times[] = {QTime(7, 12, 49), QTime(19, 5, 3), QTime(0, 0, 0),
                           QTime(0, 0, 1),   QTime(12, 0, 0), QTime(23, 59, 59)};
    for (const char* name : {"en_US", "de_DE"}) {
        const QLocale locale(name);
        GeneralDateTimeParser parser(locale);
        for (const QTime& time : times) {
            for (const int count : {1, 5, 12, 16}) {
                QStringList words;
                for (int i = 0; i < count; ++i)
                    words << QStringLiteral("%1A1").arg(i, 2, 16, QChar(u'0'));
                const QDateTime written(day, time);
                const std::string line = loggerLine(written, locale, words);
                SCOPED_TRACE(line);
                LogRecord record;
                ASSERT_EQ(parseRecordLine(line, parser, record), LineError::None);
                EXPECT_EQ(record.time, toWallSeconds(written));
                EXPECT_EQ(record.sensorCount, count);
                EXPECT_EQ(record.readings[count - 1].steps,
                          static_cast<std::int16_t>(0xA100 | (count - 1)));
                if (count < 16) {
                    EXPECT_EQ(record.readings[count].kind, ReadingKind::Absent);
                }
            }
        }
    }
    // Midnight really is written as the date alone, and read as 00:00:00.
    const std::string midnight =
        loggerLine(QDateTime(day, QTime(0, 0)), QLocale("de_DE"), twelve("9001"));
    EXPECT_EQ(midnight.substr(0, 12), "07.12.2026, ");

    // A line from one locale is not read under the other.
    GeneralDateTimeParser american{QLocale("en_US")};
    LogRecord record;
    EXPECT_EQ(parseRecordLine(
                  loggerLine(QDateTime(day, QTime(7, 12, 49)), QLocale("de_DE"), twelve("9001")),
                  american, record),
              LineError::BadTimestamp);
}

TEST(RecordLine, LinesThatAreNotRecords) {
    GeneralDateTimeParser parser{QLocale("en_US")};
    const std::string words11 =
        "9001 , 9001 , 9001 , 9001 , 9001 , 9001 , 9001 , 9001 , 9001 , 9001 , 9001";
    const struct {
        std::string line;
        LineError error;
    } rows[] = {
        {"", LineError::NoTimestamp},
        {"garbage", LineError::NoTimestamp},
        {"12/7/2026 7:12:49 AM, " + words11 + " , " + words11, LineError::WrongWordCount},
        {"12/7/2026 7:12:49 AM, " + words11 + " , 9001 , 9001 , 9001 , 9001 , 9001 , 9001",
         LineError::WrongWordCount},
        {"12/7/2026 7:12:49 AM, " + words11 + " , 90G1", LineError::BadWord},
        {"12/7/2026 7:12:49 AM,9001 , " + words11, LineError::NoTimestamp},
        {"12/7/2026 7:12:49, 9001 , " + words11, LineError::BadTimestamp},
        {"13/7/2026 7:12:49 AM, 9001 , " + words11, LineError::BadTimestamp},
        {"12/7/2026 7:61:49 AM, 9001 , " + words11, LineError::BadTimestamp},
        {"12/7/2026 7:12:49 AM, 9001 , " + words11 + std::string(2000, ' '), LineError::TooLong},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        LogRecord record;
        EXPECT_EQ(parseRecordLine(row.line, parser, record), row.error);
    }
}

}  // namespace
}  // namespace tarnwick::test
