// The simulated adapter's fault knobs.
#include <QString>
#include <future>

#include "../TestPrinters.h"
#include "CRCRoutines.h"
#include "SimTestSupport.h"

namespace tarnwick::test {
using sim::Fault;
using sim::FaultRule;
using sim::PageKind;

namespace {

bool accepted(const std::string& reply) {
    return CRCRoutines::AcceptReply(QString::fromStdString(reply));
}

sim::Options withRule(FaultRule rule) {
    sim::Options o;
    o.conversionMs = 0;
    o.temperatureC[sensor(0)] = 25.0625;
    o.faults.push_back(std::move(rule));
    return o;
}

}  // namespace

class SimAdapterFaults : public AdapterFixture {};

TEST_F(SimAdapterFaults, FirstLockPageWithoutItsField) {
    startWith(withRule(FaultRule(PageKind::Lock, Fault::MissingField, "", 1, 1)));
    const Page first = get("/1Wire/GetLock.html");
    EXPECT_EQ(first.status, 200);
    EXPECT_FALSE(field(first.body, "LockID_0").has_value());
    EXPECT_TRUE(field(first.body, "Bus_0").has_value()) << "the rest of the page is there";
    EXPECT_TRUE(field(get("/1Wire/GetLock.html").body, "LockID_0").has_value());
    EXPECT_TRUE(field(get("/1Wire/GetLock.html").body, "LockID_0").has_value());
}

TEST_F(SimAdapterFaults, ThirdReadPageWithoutResult) {
    startWith(withRule(FaultRule(PageKind::Read, Fault::MissingField, "", 3, 1)));
    const std::string id = lock();
    result("44", sensor(0), id);  // conversions do not count as read pages
    std::vector<std::string> replies;
    for (int i = 0; i < 5; ++i) replies.push_back(readReply(sensor(0), id));
    EXPECT_EQ(replies[0], "BE91014B467FFF0C1070");
    EXPECT_EQ(replies[1], replies[0]);
    EXPECT_EQ(replies[2], "<none>");
    EXPECT_EQ(replies[3], replies[0]);
    EXPECT_EQ(replies[4], replies[0]);
}

TEST_F(SimAdapterFaults, RuleForOneSensorLeavesTheOthersAlone) {
    startWith(withRule(FaultRule(PageKind::Read, Fault::AllFF, sensor(0))));
    const std::string id = lock();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(convertAndRead(sensor(0), id), std::string(20, 'F'));
    EXPECT_TRUE(accepted(convertAndRead(sensor(1), id)));
    adapter->clearFaults();
    EXPECT_EQ(readReply(sensor(0), id).substr(2, 4), "9101") << "the conversions went through";
}

TEST_F(SimAdapterFaults, SlowLockPage) {
    startWith(withRule(FaultRule(PageKind::Lock, Fault::Delay, "", 1, -1, 300)));
    const auto before = std::chrono::steady_clock::now();
    const std::string id = lock();
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(300));
    EXPECT_FALSE(id.empty());

    adapter->clearFaults();
    adapter->setRequestDelayMs(120);
    const auto again = std::chrono::steady_clock::now();
    EXPECT_EQ(readReply(sensor(0), id).size(), 20u);
    EXPECT_GE(std::chrono::steady_clock::now() - again, std::chrono::milliseconds(120));
}

TEST_F(SimAdapterFaults, CrcErrorsShortAndLongRepliesAndLowerCase) {
    sim::Options o = instant();
    o.temperatureC[sensor(0)] = 25.0625;
    startWith(o);
    const std::string id = lock();
    const std::string good = convertAndRead(sensor(0), id);
    ASSERT_TRUE(accepted(good));

    adapter->setRates(1.0, 0.0, 0.0);
    const std::string badCrc = readReply(sensor(0), id);
    EXPECT_EQ(badCrc.substr(0, 18), good.substr(0, 18));
    EXPECT_NE(badCrc, good);
    EXPECT_FALSE(accepted(badCrc));

    adapter->setRates(0.0, 1.0, 0.0);
    EXPECT_EQ(readReply(sensor(0), id), good.substr(0, 18));
    adapter->setRates(0.0, 0.0, 1.0);
    EXPECT_EQ(readReply(sensor(0), id), good + "FF");
    adapter->setRates(0.0, 0.0, 0.0);

    adapter->setLowerCaseHex(true);
    std::string lower = good;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(readReply(sensor(0), id), lower);
    adapter->setLowerCaseHex(false);
    EXPECT_EQ(readReply(sensor(0), id), good);
}

TEST_F(SimAdapterFaults, CrcErrorRateHitsSomeReadsAndRepeatsWithTheSeed) {
    auto pattern = [this](std::uint64_t seed) {
        sim::Options o = instant();
        o.seed = seed;
        o.crcErrorRate = 0.5;
        startWith(o);
        const std::string id = lock();
        std::string hits;
        for (int i = 0; i < 40; ++i) hits += accepted(readReply(sensor(2), id)) ? '.' : 'x';
        adapter->stop();
        return hits;
    };
    const std::string first = pattern(11);
    EXPECT_NE(first.find('x'), std::string::npos);
    EXPECT_NE(first.find('.'), std::string::npos);
    EXPECT_EQ(pattern(11), first);
}

TEST_F(SimAdapterFaults, RuleFaultsApplyToTheirPagesOnly) {
    startWith(withRule(FaultRule(PageKind::Read, Fault::BadCrc, "", 2, 1)));
    adapter->addFault(FaultRule(PageKind::Convert, Fault::LowerCase));
    adapter->addFault(FaultRule(PageKind::Read, Fault::ShortReply, "", 3, 1));
    adapter->addFault(FaultRule(PageKind::Read, Fault::LongReply, "", 4, 1));
    const std::string id = lock();
    EXPECT_EQ(result("BE", sensor(0), id), "BE") << "not a scratchpad read: first read page";
    EXPECT_FALSE(accepted(readReply(sensor(0), id)));
    EXPECT_EQ(readReply(sensor(0), id).size(), 18u);
    EXPECT_EQ(readReply(sensor(0), id).size(), 22u);
    EXPECT_EQ(readReply(sensor(0), id), "BE50054B467FFF0C101C") << "no conversion yet";
    EXPECT_EQ(result("44AB", sensor(0), id), "44ab");
}

TEST_F(SimAdapterFaults, StalledPageCompletesWhenReleased) {
    startWith(withRule(FaultRule(PageKind::Lock, Fault::Stall, "", 1, 1)));
    auto other = makeClient();
    auto page =
        std::async(std::launch::async, [&] { return fetch(*other, "/1Wire/GetLock.html"); });
    ASSERT_TRUE(eventually([&] { return adapter->stalledPages() == 1; }));
    EXPECT_EQ(page.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    // Other clients are served meanwhile.
    EXPECT_EQ(convertAndRead(sensor(0), lock()).substr(2, 4), "9101");

    adapter->releaseStalls();
    const Page done = page.get();
    EXPECT_EQ(done.status, 200);
    EXPECT_TRUE(field(done.body, "LockID_0").has_value());
    EXPECT_NE(done.body.find("</HTML>"), std::string::npos);
    EXPECT_EQ(adapter->stalledPages(), 0);
}

TEST_F(SimAdapterFaults, NthRequestStallsAndStopStillReturns) {
    startWith(withRule(FaultRule(PageKind::Any, Fault::Stall, "", 2, 1)));
    EXPECT_TRUE(field(get("/1Wire/GetLock.html").body, "LockID_0").has_value());
    auto page = std::async(std::launch::async, [&] { return get("/1Wire/GetLock.html"); });
    ASSERT_TRUE(eventually([&] { return adapter->stalledPages() == 1; }));

    auto stopped = std::async(std::launch::async, [&] { adapter->stop(); });
    ASSERT_EQ(stopped.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    const Page cut = page.get();
    EXPECT_NE(cut.status, 200) << "the page never completed";
    EXPECT_NE(cut.error, httplib::Error::Success);
}

TEST_F(SimAdapterFaults, DroppedConnectionMidPage) {
    startWith(withRule(FaultRule(PageKind::Read, Fault::Drop, "", 1, 1)));
    const std::string id = lock();
    const Page dropped = writeBlock(kReadData, sensor(0), id);
    EXPECT_EQ(dropped.status, 0);
    EXPECT_EQ(dropped.error, httplib::Error::Read);
    EXPECT_EQ(readReply(sensor(0), id), "BE50054B467FFF0C101C") << "served again afterwards";
}

TEST_F(SimAdapterFaults, OversizedPageCarriesTheFieldAtItsEnd) {
    startWith(withRule(FaultRule(PageKind::Read, Fault::Oversize)));
    const std::string id = lock();
    const Page page = writeBlock(kReadData, sensor(0), id);
    ASSERT_EQ(page.status, 200);
    EXPECT_GE(page.body.size(), std::size_t{2} << 20);
    const auto at = page.body.find("NAME=\"ResultData_0\"");
    ASSERT_NE(at, std::string::npos);
    EXPECT_GT(at, page.body.size() - 1000);
    EXPECT_EQ(field(page.body, "ResultData_0"), "BE50054B467FFF0C101C");
}

TEST_F(SimAdapterFaults, SetOptionsRestartsRuleCounts) {
    startWith(withRule(FaultRule(PageKind::Lock, Fault::MissingField, "", 1, 1)));
    EXPECT_FALSE(field(get("/1Wire/GetLock.html").body, "LockID_0").has_value());
    EXPECT_TRUE(field(get("/1Wire/GetLock.html").body, "LockID_0").has_value());
    adapter->setOptions(adapter->options());
    EXPECT_FALSE(field(get("/1Wire/GetLock.html").body, "LockID_0").has_value());
}

}  // namespace tarnwick::test
