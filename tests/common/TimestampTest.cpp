#include <gtest/gtest.h>

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QTime>

#include "../TestPrinters.h"
#include "Timestamp.h"

namespace tarnwick::test {
namespace {

QDateTime at(int hour, int minute, int second, int msec = 0) {
    return QDateTime(QDate(2026, 12, 7), QTime(hour, minute, second, msec));
}

// Letters outside single quotes that stand for `field` in a Qt format string.
bool hasUnquotedField(const QString& format, QChar field) {
    bool quoted = false;
    for (QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        else if (!quoted && c == field)
            return true;
    }
    return false;
}

TEST(GeneralDateTime, WritesShortDateFourDigitYearAndTimeWithSeconds) {
    const QDateTime morning = at(7, 12, 49);
    EXPECT_EQ(generalDateTime(morning, QLocale("en_US")), "12/7/2026 7:12:49 AM");
    EXPECT_EQ(generalDateTime(morning, QLocale("de_DE")), "07.12.2026 07:12:49");
    EXPECT_EQ(generalDateTime(morning, QLocale("en_GB")), "07/12/2026 07:12:49");
    EXPECT_EQ(generalDateTime(morning, QLocale("fr_FR")), "07/12/2026 07:12:49");
    EXPECT_EQ(generalDateTime(morning, QLocale("ja_JP")), QString::fromUtf8("2026/12/07 7\u6642"
                                                                            "12\u5206"
                                                                            "49\u79d2"));
    EXPECT_EQ(generalDateTime(morning, QLocale::c()), "7 Dec 2026 07:12:49");
    EXPECT_EQ(generalDateTime(at(19, 5, 3), QLocale("en_US")), "12/7/2026 7:05:03 PM");
}

TEST(GeneralDateTime, MidnightIsTheDateAlone) {
    const QLocale us("en_US");
    EXPECT_EQ(generalDateTime(at(0, 0, 0), us), "12/7/2026");
    EXPECT_EQ(generalDateTime(at(0, 0, 0, 500), us), "12/7/2026");
    EXPECT_EQ(generalDateTime(at(0, 0, 1), us), "12/7/2026 12:00:01 AM");
    EXPECT_EQ(generalDateTime(at(12, 0, 0), us), "12/7/2026 12:00:00 PM");
    EXPECT_EQ(generalDateTime(at(0, 0, 0), QLocale("de_DE")), "07.12.2026");
    EXPECT_EQ(generalDateTime(at(0, 1, 0), QLocale("de_DE")), "07.12.2026 00:01:00");
}

TEST(GeneralDateTime, SwitchingLocalesBetweenCallsUsesEachLocalesFormat) {
    const QDateTime t = at(7, 12, 49);
    EXPECT_EQ(generalDateTime(t, QLocale("de_DE")), "07.12.2026 07:12:49");
    EXPECT_EQ(generalDateTime(t, QLocale("en_US")), "12/7/2026 7:12:49 AM");
    EXPECT_EQ(generalDateTime(t, QLocale("de_DE")), "07.12.2026 07:12:49");
}

TEST(GeneralDateFormat, WidensTwoDigitYears) {
    EXPECT_EQ(generalDateFormat(QLocale("en_US")), "M/d/yyyy");
    EXPECT_EQ(generalDateFormat(QLocale("de_DE")), "dd.MM.yyyy");
    EXPECT_EQ(generalDateFormat(QLocale("en_GB")), "dd/MM/yyyy");
    EXPECT_EQ(generalDateFormat(QLocale("ja_JP")), "yyyy/MM/dd");
}

TEST(GeneralTimeFormat, DropsTheZoneWithItsSeparatorOrBrackets) {
    EXPECT_EQ(generalTimeFormat(QLocale("en_US")), "h:mm:ss AP");  // "h:mm:ss AP t"
    EXPECT_EQ(generalTimeFormat(QLocale("de_DE")), "HH:mm:ss");    // "HH:mm:ss t"
    EXPECT_EQ(generalTimeFormat(QLocale("zh_CN")), "HH:mm:ss");    // "t HH:mm:ss"
    EXPECT_EQ(generalTimeFormat(QLocale("es_ES")), "H:mm:ss");     // "H:mm:ss (t)"
    EXPECT_EQ(generalTimeFormat(QLocale("sq_AL")), "h:mm:ss AP");  // "h:mm:ss AP, t"
    EXPECT_EQ(generalTimeFormat(QLocale("zh_TW")), "APh:mm:ss");   // "Bh:mm:ss [t]"
    EXPECT_EQ(generalTimeFormat(QLocale("bg_BG")),                 // "H:mm:ss 'ч'. t"
              QString::fromUtf8("H:mm:ss '\u0447'."));
}

// Every locale Qt knows: a four-digit year, seconds, no zone, no stray separators.
TEST(GeneralFormats, HoldForEveryKnownLocale) {
    const QList<QLocale> all =
        QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    ASSERT_GT(all.size(), 100);
    for (const QLocale& locale : all) {
        SCOPED_TRACE(locale.name().toStdString());
        const QString date = generalDateFormat(locale);
        const QString time = generalTimeFormat(locale);
        EXPECT_TRUE(date.contains(QStringLiteral("yyyy"))) << date.toStdString();
        EXPECT_FALSE(date.contains(QStringLiteral("yyyyy"))) << date.toStdString();
        EXPECT_FALSE(hasUnquotedField(time, u't')) << time.toStdString();
        EXPECT_FALSE(hasUnquotedField(time, u'B')) << time.toStdString();
        EXPECT_TRUE(hasUnquotedField(time, u's')) << time.toStdString();
        ASSERT_FALSE(time.isEmpty());
        EXPECT_FALSE(time.front().isSpace() || time.front() == u',') << time.toStdString();
        EXPECT_FALSE(time.back().isSpace() || time.back() == u',') << time.toStdString();
    }
}

// What generalDateTime writes, GeneralDateTimeParser reads back to the second,
// in every locale Qt knows (its own digits, day periods, month names); the
// date alone is midnight.
TEST(GeneralDateTimeParser, ReadsBackWhatIsWrittenInEveryKnownLocale) {
    const QDateTime times[] = {at(7, 12, 49),
                               at(19, 5, 3),
                               at(0, 0, 0),
                               at(0, 0, 1),
                               at(12, 0, 0),
                               at(23, 59, 59),
                               QDateTime(QDate(2027, 2, 28), QTime(12, 30, 9))};
    const QList<QLocale> all =
        QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    for (const QLocale& locale : all) {
        GeneralDateTimeParser parser(locale);
        for (const QDateTime& t : times) {
            const QString text = generalDateTime(t, locale);
            SCOPED_TRACE(locale.name().toStdString() + " \"" + text.toStdString() + "\"");
            const std::optional<QDateTime> read = parser.parse(text);
            ASSERT_TRUE(read.has_value());
            EXPECT_EQ(*read, t);
        }
    }
    GeneralDateTimeParser us(QLocale("en_US"));
    EXPECT_FALSE(us.parse(u"12/7/2026 7:12:49").has_value());      // no AM/PM
    EXPECT_FALSE(us.parse(u"12/7/2026  7:12:49 AM").has_value());  // two blanks
    EXPECT_FALSE(us.parse(u"2/30/2026 7:12:49 AM").has_value());   // no such day
    EXPECT_FALSE(us.parse(u"12/7/2026 13:12:49 PM").has_value());
    EXPECT_FALSE(us.parse(u"12/7/2026 7:12:49 AM x").has_value());
    EXPECT_FALSE(us.parse(u"12/7/26 7:12:49 AM").has_value());  // two-digit year
}

}  // namespace
}  // namespace tarnwick::test
