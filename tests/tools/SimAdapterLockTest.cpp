// Pages and the bus lock of the simulated adapter.
#include <future>
#include <set>

#include "SimTestSupport.h"

namespace tarnwick::test {

class SimAdapterLock : public AdapterFixture {};

TEST_F(SimAdapterLock, LockPageCarriesAFreshIdentifierEachTime) {
    startWith(instant());
    std::set<std::string> ids;
    for (int i = 0; i < 5; ++i) {
        const Page page = get("/1Wire/GetLock.html");
        ASSERT_EQ(page.status, 200);
        const auto id = field(page.body, "LockID_0");
        ASSERT_TRUE(id.has_value()) << page.body;
        EXPECT_FALSE(id->empty());
        ids.insert(*id);
    }
    EXPECT_EQ(ids.size(), 5u);
}

TEST_F(SimAdapterLock, PagesLookLikeAnEmbeddedDevicesForms) {
    startWith(instant());
    const Page lockPage = get("/1Wire/GetLock.html");
    EXPECT_NE(lockPage.body.find("<INPUT TYPE=\"TEXT\" NAME=\"LockID_0\" VALUE=\""),
              std::string::npos);
    EXPECT_NE(lockPage.body.find("<FORM"), std::string::npos);
    EXPECT_NE(lockPage.body.find("TYPE=\"HIDDEN\""), std::string::npos);
    const std::string id = *field(lockPage.body, "LockID_0");

    const Page read = writeBlock(kReadData, sensor(0), id);
    EXPECT_EQ(read.status, 200);
    EXPECT_EQ(field(read.body, "Data_0"), kReadData) << "the request echoed in its own field";
    EXPECT_EQ(field(read.body, "LockID"), id);
    EXPECT_NE(read.body.find("<INPUT TYPE=\"TEXT\" NAME=\"ResultData_0\" VALUE=\"BE"),
              std::string::npos);

    const Page release = get("/1Wire/ReleaseLock.html?LockID=" + id);
    EXPECT_EQ(release.status, 200);
    EXPECT_NE(release.body.find("<HTML>"), std::string::npos);
}

TEST_F(SimAdapterLock, WrongOrReleasedLockGetsAnErrorPageWithoutResult) {
    startWith(instant());
    const std::string id = lock();
    for (const std::string& bad : {id + "1", std::string(), std::string("abc")}) {
        const Page page = writeBlock(kReadData, sensor(0), bad);
        EXPECT_EQ(page.status, 403) << bad;
        EXPECT_FALSE(field(page.body, "ResultData_0").has_value()) << bad;
        EXPECT_NE(page.body.find("<HTML>"), std::string::npos);
    }
    EXPECT_EQ(get("/1Wire/ReleaseLock.html?LockID=" + id + "0").status, 403);
    EXPECT_EQ(get("/1Wire/ReleaseLock.html?LockID=" + id).status, 200);

    const Page after = writeBlock(kReadData, sensor(0), id);
    EXPECT_EQ(after.status, 403);
    EXPECT_FALSE(field(after.body, "ResultData_0").has_value());
    EXPECT_EQ(get("/1Wire/ReleaseLock.html?LockID=" + id).status, 403) << "released twice";
}

TEST_F(SimAdapterLock, NewLockTakesTheBusFromAnAbandonedHolder) {
    startWith(instant());
    const std::string first = lock();
    const std::string second = lock();
    ASSERT_NE(first, second);
    EXPECT_EQ(writeBlock(kReadData, sensor(0), first).status, 403);
    EXPECT_EQ(readReply(sensor(0), second).size(), 20u);
}

TEST_F(SimAdapterLock, WithALockWaitTheNextCallerGetsTheBusOnRelease) {
    sim::Options o = instant();
    o.lockWaitMs = 20000;
    startWith(o);
    const std::string first = lock();

    auto other = makeClient();
    auto waiting = std::async(std::launch::async, [&] {
        return field(fetch(*other, "/1Wire/GetLock.html").body, "LockID_0");
    });
    ASSERT_TRUE(eventually([&] { return adapter->requests().size() == 2; }));
    // Still the first caller's bus: its pages work and its release is accepted.
    EXPECT_EQ(readReply(sensor(0), first).size(), 20u);
    EXPECT_EQ(get("/1Wire/ReleaseLock.html?LockID=" + first).status, 200);

    const auto second = waiting.get();
    ASSERT_TRUE(second.has_value());
    EXPECT_NE(*second, first);
    EXPECT_EQ(readReply(sensor(0), *second).size(), 20u);
}

}  // namespace tarnwick::test
