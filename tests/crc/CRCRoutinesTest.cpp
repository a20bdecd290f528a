#include <gtest/gtest.h>

#include "../TestPrinters.h"
#include "CRCRoutines.h"

namespace tarnwick::test {

using namespace CRCRoutines;

namespace {

// Bit-by-bit Dallas/Maxim CRC-8 of one byte, to check the literal table against.
int crcOfByte(int b) {
    int crc = 0;
    for (int bit = 0; bit < 8; ++bit) {
        const bool mix = ((crc ^ b) & 1) != 0;
        crc >>= 1;
        if (mix) crc ^= 0x8C;
        b >>= 1;
    }
    return crc;
}

QString reply(const char* spaced) { return QString::fromLatin1(spaced).remove(QLatin1Char(' ')); }

}  // namespace

TEST(CrcTable, MatchesThePolynomialEntryByEntry) {
    CRCTable.fill(-1);
    FillCRCTable();
    for (int i = 0; i < 256; ++i) EXPECT_EQ(CRCTable[i], crcOfByte(i)) << "entry " << i;
    EXPECT_EQ(CRCTable[1], 94);
    EXPECT_EQ(CRCTable[2], 188);
    EXPECT_EQ(CRCTable[128], 140);
    EXPECT_EQ(CRCTable[255], 53);
}

TEST(HexStringCrc8, KnownValues) {
    FillCRCTable();
    EXPECT_EQ(HexStringCRC8(u""), 0);
    EXPECT_EQ(HexStringCRC8(u"01"), 94);
    EXPECT_EQ(HexStringCRC8(u"FFFFFFFFFFFFFFFF"), 0xC9);
}

TEST(HexStringCrc8, LowerCaseReadsLikeUpperCase) {
    FillCRCTable();
    EXPECT_EQ(HexStringCRC8(u"50054b467fff0c10"), HexStringCRC8(u"50054B467FFF0C10"));
    EXPECT_EQ(HexStringCRC8(u"50054B467FFF0C10"), 0x1C);
}

TEST(HexStringCrc8, TrailingOddCharacterIsOneByteOfItsOwn) {
    FillCRCTable();
    // "011" is the bytes 0x01 and 0x1.
    EXPECT_EQ(HexStringCRC8(u"011"), CRCTable[1 ^ 94]);
}

TEST(HexStringCrc8, NonHexPairRaisesConversionError) {
    FillCRCTable();
    EXPECT_THROW(HexStringCRC8(u"50G5"), ConversionError);
    EXPECT_THROW(HexStringCRC8(u"5 05"), ConversionError);
    EXPECT_THROW(HexStringCRC8(u"0x"), ConversionError);
    EXPECT_THROW(HexStringCRC8(u"\u0661\u0662"), ConversionError) << "non-Latin digits are not hex";
}

TEST(ReplyCrc, ComputesOverBytesZeroToSevenAsTwoUpperCaseDigits) {
    EXPECT_EQ(ReplyCRC(reply("BE 50 05 4B 46 7F FF 0C 10 1C")), "1C");
    EXPECT_EQ(ReplyCRC(reply("BE 5B 01 4B 46 7F FF 0C 10 07")), "07");
    EXPECT_EQ(ReplyCRC(reply("BE 00 00 00 00 00 00 00 00 00")), "00");
}

TEST(ReplyCrc, AnyLengthButTwentyIsTooShort) {
    EXPECT_EQ(ReplyCRC(QString()), "Too short");
    EXPECT_EQ(ReplyCRC(reply("BE 50 05 4B 46 7F FF 0C 10 1")), "Too short");
    EXPECT_EQ(ReplyCRC(reply("BE 50 05 4B 46 7F FF 0C 10 1C 0")), "Too short");
}

TEST(ReplyCrc, LeavesTheCallersTextAlone) {
    const QString r = reply("BE 50 05 4b 46 7f ff 0c 10 1c");
    const QString copy = r;
    ReplyCRC(r);
    EXPECT_EQ(r, copy);
}

TEST(ReplyCrc, NonHexInTheCrcRangeRaises) {
    EXPECT_THROW(ReplyCRC(reply("BE 50 05 4B 46 7F FF 0C 1Z 1C")), ConversionError);
}

TEST(AcceptanceRule, AcceptsMatchingAndRejectsEverythingElse) {
    EXPECT_TRUE(AcceptReply(reply("BE 50 05 4B 46 7F FF 0C 10 1C")));
    EXPECT_FALSE(AcceptReply(reply("BE 50 05 4B 46 7F FF 0C 10 1D")));
    EXPECT_TRUE(AcceptReply(reply("BE 5B 01 4B 46 7F FF 0C 10 07"))) << "leading zero in the field";
    EXPECT_TRUE(AcceptReply(reply("BE 00 00 00 00 00 00 00 00 00")));
    EXPECT_TRUE(AcceptReply(reply("XX 50 05 4B 46 7F FF 0C 10 1C"))) << "echo byte not checked";
}

TEST(AcceptanceRule, AnySingleChangedDataCharacterIsRejected) {
    const QString good = reply("BE 50 05 4B 46 7F FF 0C 10 1C");
    for (int pos = 2; pos < 18; ++pos) {
        QString bad = good;
        bad[pos] = bad[pos] == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
        EXPECT_FALSE(AcceptReply(bad)) << "position " << pos + 1;
    }
}

TEST(AcceptanceRule, CaseAndLengthAndJunk) {
    EXPECT_TRUE(AcceptReply(reply("BE 50 05 4b 46 7f ff 0c 10 1C"))) << "lower-case data is read";
    EXPECT_FALSE(AcceptReply(reply("BE 50 05 4B 46 7F FF 0C 10 1c")))
        << "the field compares exactly";
    EXPECT_FALSE(AcceptReply(reply("BE 50 05 4B 46 7F FF 0C 10 1")));
    EXPECT_FALSE(AcceptReply(reply("BE 50 05 4B 46 7F FF 0C 10 1C 1C")));
    EXPECT_FALSE(AcceptReply(QString()));
    EXPECT_FALSE(AcceptReply(reply("BE 50 05 4B 46 7F FF 0C 1Z 1C"))) << "conversion error rejects";
    EXPECT_FALSE(AcceptReply(reply("BE FF FF FF FF FF FF FF FF FF"))) << "an absent sensor";
}

}  // namespace tarnwick::test
