#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "../TestPrinters.h"
#include "RecordFormat.h"

namespace tarnwick::test {
namespace {

TEST(FormatRecord, TwelveWordsWithAFailedReading) {
    const QStringList words{"0191", "018F", "0000", "0190", "0191", "0192",
                            "018E", "0193", "0191", "0190", "018F", "0192"};
    EXPECT_EQ(formatRecord("12/7/2026 7:12:49 AM", words),
              QByteArray("12/7/2026 7:12:49 AM, 0191 , 018F , 0000 , 0190 , 0191 , 0192 , "
                         "018E , 0193 , 0191 , 0190 , 018F , 0192\r\n"));
}

TEST(FormatRecord, SixteenWordsHaveFifteenSeparatorsAndOneLineEnd) {
    QStringList words;
    for (int i = 0; i < 16; ++i)
        words << QStringLiteral("01%1").arg(i, 2, 16, QChar(u'0')).toUpper();
    const QByteArray record = formatRecord("07.12.2026 07:12:49", words);

    EXPECT_EQ(record,
              QByteArray("07.12.2026 07:12:49, 0100 , 0101 , 0102 , 0103 , 0104 , 0105 , 0106 , "
                         "0107 , 0108 , 0109 , 010A , 010B , 010C , 010D , 010E , 010F\r\n"));
    EXPECT_EQ(record.count(" , "), 15);
    EXPECT_EQ(record.count("\r\n"), 1);
    EXPECT_EQ(record.count('\n'), 1);
    EXPECT_EQ(record.count('\r'), 1);
}

TEST(FormatRecord, WordsAreWrittenAsTheyAre) {
    EXPECT_EQ(formatRecord("t", {"ffff", "00A1", "0000"}), QByteArray("t, ffff , 00A1 , 0000\r\n"));
    EXPECT_EQ(formatRecord("t", {"0000"}), QByteArray("t, 0000\r\n"));
}

TEST(FormatRecord, NonAsciiTimestampIsUtf8) {
    const QString stamp = QString::fromUtf8(
        "2026/12/07 7\u6642"
        "12\u5206"
        "49\u79d2");
    const QByteArray record = formatRecord(stamp, {"0191"});
    EXPECT_EQ(record, stamp.toUtf8() + ", 0191\r\n");
    EXPECT_EQ(QString::fromUtf8(record), stamp + QStringLiteral(", 0191\r\n"));
}

}  // namespace
}  // namespace tarnwick::test
