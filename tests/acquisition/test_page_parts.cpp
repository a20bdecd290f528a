// Addresses, field look-up and the roster.
#include <gtest/gtest.h>

#include "../TestPrinters.h"
#include "HtmlField.h"
#include "PageUrl.h"
#include "Roster.h"

using namespace tarnwick;

TEST(PageUrls, AreBuiltVerbatim) {
    const QString a = QStringLiteral("10.1.2.3");
    EXPECT_EQ(lockPageUrl(a), "http://10.1.2.3/1Wire/GetLock.html");
    EXPECT_EQ(conversionPageUrl(a, "9C000000B4A89828", "77"),
              "http://10.1.2.3/1Wire/WriteBlock.html?Data=44&Address=9C000000B4A89828&LockID=77");
    EXPECT_EQ(readPageUrl(a, "9C000000B4A89828", "77"),
              "http://10.1.2.3/1Wire/WriteBlock.html?Data=BEFFFFFFFFFFFFFFFFFF"
              "&Address=9C000000B4A89828&LockID=77");
    EXPECT_EQ(releasePageUrl(a, "77"), "http://10.1.2.3/1Wire/ReleaseLock.html?LockID=77");
    EXPECT_EQ(releasePageUrl(a, ""), "http://10.1.2.3/1Wire/ReleaseLock.html?LockID=");
    EXPECT_EQ(conversionPageUrl(a, "X", "a b#c"),
              "http://10.1.2.3/1Wire/WriteBlock.html?Data=44&Address=X&LockID=a b#c");
}

TEST(RequestUrl, KeepsOrdinaryAddressesUnchanged) {
    const QString url = readPageUrl("127.0.0.1:8642", "9C000000B4A89828", "12345");
    const QUrl wire = toRequestUrl(url);
    ASSERT_TRUE(wire.isValid());
    EXPECT_EQ(wire.toEncoded(), url.toLatin1());
    EXPECT_EQ(wire.port(), 8642);
    EXPECT_EQ(wire.host(), "127.0.0.1");
}

TEST(RequestUrl, EscapesWhatCannotStandInAUrl) {
    const QUrl wire = toRequestUrl(releasePageUrl("127.0.0.1", "a b\r\nHost: evil#frag\"<>%zz%41"));
    ASSERT_TRUE(wire.isValid());
    EXPECT_EQ(wire.toEncoded(),
              "http://127.0.0.1/1Wire/ReleaseLock.html?LockID="
              "a%20b%0D%0AHost:%20evil%23frag%22%3C%3E%25zzA");  // %41 is an escape already
    EXPECT_FALSE(wire.hasFragment());
    EXPECT_EQ(toRequestUrl(releasePageUrl("127.0.0.1", "\u00e9")).toEncoded(),
              "http://127.0.0.1/1Wire/ReleaseLock.html?LockID=%C3%A9");
}

TEST(HtmlFieldLookup, ReadsInputValuesWhateverTheCase) {
    const QByteArray page =
        "<HTML><BODY><FORM><INPUT TYPE=\"hidden\" NAME=\"Other\" VALUE=\"x\">"
        "Lock: <INPUT TYPE=\"TEXT\" NAME=\"LockID_0\" VALUE=\"4711\"></FORM></BODY></HTML>";
    EXPECT_EQ(findFieldValue(page, "LockID_0"), QString("4711"));
    EXPECT_EQ(findFieldValue(page, "Other"), QString("x"));
    EXPECT_EQ(findFieldValue(page, "lockid_0"), std::nullopt) << "names compare exactly";
    EXPECT_EQ(findFieldValue(page, "ResultData_0"), std::nullopt);
}

TEST(HtmlFieldLookup, FirstElementInDocumentOrderWins) {
    const QByteArray page =
        "<div><p><input name=R value=first></p></div><input name=R value=second>";
    EXPECT_EQ(findFieldValue(page, "R"), QString("first"));
    const QByteArray divFirst = "<div name=R>text</div><input name=R value=v>";
    EXPECT_EQ(findFieldValue(divFirst, "R"), std::nullopt) << "a div has no value";
}

TEST(HtmlFieldLookup, KindsOfElements) {
    EXPECT_EQ(findFieldValue("<input name=F>", "F"), QString(""));
    EXPECT_EQ(findFieldValue("<button name=F value=b>label</button>", "F"), QString("b"));
    EXPECT_EQ(findFieldValue("<textarea name=F>BE00&amp;11</textarea>", "F"), QString("BE00&11"));
    EXPECT_EQ(
        findFieldValue("<select name=F><option value=1>a<option value=2 selected>b</select>", "F"),
        QString("2"));
    EXPECT_EQ(findFieldValue("<select name=F><option>  x  y </option><option>z</select>", "F"),
              QString("x y"));
    EXPECT_EQ(findFieldValue("<select name=F></select>", "F"), QString(""));
    EXPECT_EQ(findFieldValue("<img name=F src=a.png>", "F"), std::nullopt);
    EXPECT_EQ(findFieldValue("<a name=F>anchor</a>", "F"), std::nullopt);
}

TEST(HtmlFieldLookup, EntitiesAndEncodings) {
    EXPECT_EQ(findFieldValue("<input name=F value=\"a&amp;b&#65;\">", "F"), QString("a&bA"));
    // Latin-1 bytes that are not valid UTF-8.
    EXPECT_EQ(findFieldValue(QByteArray("<input name=F value=\"\xe9t\xe9\">"), "F"),
              QString::fromUtf8("\xc3\xa9t\xc3\xa9"));
    EXPECT_EQ(findFieldValue(QByteArray("<input name=F value=\"\xc3\xa9\">"), "F"),
              QString::fromUtf8("\xc3\xa9"));
}

TEST(HtmlFieldLookup, SurvivesBrokenAndHostilePages) {
    EXPECT_EQ(findFieldValue("", "F"), std::nullopt);
    EXPECT_EQ(findFieldValue("<input name=F value=\"unterminated", "F"), std::nullopt);
    EXPECT_EQ(findFieldValue("<<<>>><input name=F value=ok", "F"), std::nullopt);
    EXPECT_EQ(findFieldValue(QByteArray("\0\0", 2) + "<input name=F value=z>", "F"), QString("z"));
    QByteArray deep;
    for (int i = 0; i < 3000; ++i) deep += "<div>";
    deep += "<input name=F value=deep>";
    EXPECT_EQ(findFieldValue(deep, "F"), QString("deep"));
}

TEST(Roster, SixteenIdentifiersInSeventeenSlots) {
    const IdentifierTable ids = compiledRoster();
    ASSERT_EQ(ids.size(), 17u);
    EXPECT_EQ(ids[0], "9C000000B4A89828");
    EXPECT_EQ(ids[11], "A1000000A4D34C28");
    EXPECT_EQ(ids[12], "84000000B4D33B28");
    EXPECT_EQ(ids[15], "42000000B49D7028");
    EXPECT_TRUE(ids[16].isEmpty());
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(ids[i].size(), 16);
        EXPECT_TRUE(ids[i].endsWith("28"));
    }
}

TEST(Roster, CheckValueToCount) {
    EXPECT_EQ(sensorCountForCheckValue(0), 12);
    EXPECT_EQ(sensorCountForCheckValue(1), 16);
    EXPECT_EQ(sensorCountForCheckValue(2), 12) << "grayed counts as unchecked";
}

TEST(Roster, CompiledAddressIsDottedDecimal) {
    const QString a = compiledAdapterAddress();
    const QUrl u = toRequestUrl(lockPageUrl(a));
    EXPECT_TRUE(u.isValid());
    EXPECT_EQ(a.split(':').first().split('.').size(), 4);
}
