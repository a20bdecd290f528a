// Page addresses and the request URL built from them.
#include <gtest/gtest.h>

#include "../TestPrinters.h"
#include "PageUrl.h"
#include "Roster.h"

namespace tarnwick::test {

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

TEST(Roster, CompiledAddressIsDottedDecimal) {
    const QString a = compiledAdapterAddress();
    const QUrl u = toRequestUrl(lockPageUrl(a));
    EXPECT_TRUE(u.isValid());
    EXPECT_EQ(a.split(':').first().split('.').size(), 4);
}

}  // namespace tarnwick::test
