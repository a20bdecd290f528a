// The acquisition cycle step by step, against a scripted adapter.
#include <gtest/gtest.h>

#include "../TestPrinters.h"
#include "FakeAdapter.h"
#include "PageUrl.h"

namespace tarnwick::test {
using fake::Rig;

namespace {

QStringList expectedPass(int converted, int read, const QString& lock) {
    const IdentifierTable ids = compiledRoster();
    QStringList urls{lockPageUrl("10.0.0.9")};
    for (int i = 0; i < converted; ++i) urls << conversionPageUrl("10.0.0.9", ids[i], lock);
    for (int i = 0; i < read; ++i) urls << readPageUrl("10.0.0.9", ids[i], lock);
    urls << releasePageUrl("10.0.0.9", lock);
    return urls;
}

int countOf(const QStringList& list, const QString& item) {
    return static_cast<int>(std::count(list.begin(), list.end(), item));
}

}  // namespace

TEST(CyclePass, TwelveSensorsMakeTwentySixRequestsInOrder) {
    Rig rig;
    rig.runPasses(2);
    const QStringList expected = expectedPass(12, 12, "1") + expectedPass(12, 12, "2");
    EXPECT_EQ(rig.browser.urls, expected);
    ASSERT_EQ(rig.view.records.size(), 2u);
    EXPECT_EQ(rig.view.records[0], QStringList(12, "5005"));
}

TEST(CyclePass, SixteenSensorsMakeThirtyFourRequests) {
    Rig rig;
    rig.cycle.setActiveCount(16);
    rig.runPasses(1);
    EXPECT_EQ(rig.browser.urls, expectedPass(16, 16, "1"));
    EXPECT_EQ(rig.browser.urls.size(), 34);
    EXPECT_EQ(rig.view.records.at(0).size(), 16);
}

TEST(CyclePass, AddressLineHoldsEachUrlWhileItsRequestIsUnderWay) {
    Rig rig;
    int checked = 0;
    rig.pump.onWait = [&] {
        EXPECT_EQ(rig.view.address, rig.browser.pending());
        ++checked;
    };
    rig.runPasses(1);
    EXPECT_EQ(checked, 26);
    EXPECT_EQ(rig.view.address, releasePageUrl("10.0.0.9", "1"));
}

TEST(CyclePass, WindowBecomesVisibleOnlyAfterTheFirstLockPage) {
    Rig rig;
    rig.runPasses(1);
    const QStringList& log = rig.events.log;
    const auto firstVisible = log.indexOf("visible");
    ASSERT_GE(firstVisible, 2);
    EXPECT_EQ(log[0], "nav " + lockPageUrl("10.0.0.9"));
    EXPECT_EQ(log[1], "done");
    EXPECT_EQ(firstVisible, 2);
    // Shown again after each read and after the release, never after a conversion.
    EXPECT_EQ(countOf(log, "visible"), 1 + 12 + 1);
}

TEST(CyclePass, SensorDisplayFollowsThePassAndEndsOnTheLastSensor) {
    Rig rig;
    rig.runPasses(1);
    QStringList shown;
    for (const QString& e : rig.events.log)
        if (e.startsWith("sensor")) shown << e;
    ASSERT_EQ(shown.size(), 12);
    EXPECT_EQ(shown.first(), "sensor 1 5005");
    EXPECT_EQ(shown.last(), "sensor 12 5005");
}

TEST(CycleLock, MissingLockFieldKeepsThePreviousIdentifier) {
    Rig rig;
    int pass = 0;
    rig.browser.serve = [&](const QString& url) -> QByteArray {
        if (url.contains("GetLock")) {
            ++pass;
            if (pass == 2) return fake::inputPage("LockID_0", "L2");
            return "<HTML><BODY>no lock here</BODY></HTML>";
        }
        if (url.contains("Data=BE")) return fake::inputPage("ResultData_0", fake::kGood1);
        return "<HTML></HTML>";
    };
    rig.runPasses(3);
    const QStringList& urls = rig.browser.urls;
    // First pass: no identifier yet.
    EXPECT_TRUE(urls[1].endsWith("&LockID="));
    EXPECT_TRUE(urls[24].endsWith("&LockID="));
    EXPECT_EQ(urls[25], "http://10.0.0.9/1Wire/ReleaseLock.html?LockID=");
    EXPECT_EQ(rig.browser.urls.mid(26, 26), expectedPass(12, 12, "L2"));
    // Third pass has no field again: the second pass's identifier stays.
    EXPECT_EQ(rig.browser.urls.mid(52, 26), expectedPass(12, 12, "L2"));
}

TEST(CycleRead, MissingResultFieldGivesZerosNotAnEarlierReply) {
    Rig rig;
    int passes = 0;
    rig.view.onPass = [&] { ++passes; };
    rig.browser.serve = [&](const QString& url) -> QByteArray {
        if (url.contains("GetLock")) return fake::inputPage("LockID_0", "L");
        if (url.contains("Data=BE")) {
            if (passes == 0 && url.contains("06000000A4EC7428"))
                return fake::inputPage("ResultData_0", fake::kGood2);
            if (passes == 0) return fake::inputPage("ResultData_0", fake::kGood1);
            return "<HTML><BODY>Exception</BODY></HTML>";
        }
        return "<HTML></HTML>";
    };
    rig.cycle.runPass();
    rig.cycle.runPass();
    ASSERT_EQ(rig.view.records.size(), 2u);
    EXPECT_EQ(rig.view.records[0][1], "5B01");
    EXPECT_EQ(rig.view.records[1], QStringList(12, "0000"));
    EXPECT_EQ(rig.cycle.replies()[1], "");
    // The lock page answered: the adapter is there, no back-off.
    EXPECT_EQ(rig.cycle.backOffMs(), 0);
    EXPECT_FALSE(rig.view.failure);
}

// The adapter unplugged for a while, then back: every failed pass still
// writes its record, all "0000"; the passes back off 1 s, 2 s, 4 s, 8 s, then
// 10 s; the view is told why, and told again at the first good page.
TEST(CycleOutage, FailedPassesBackOffAndTheFirstGoodPageEndsIt) {
    Rig rig;
    bool unplugged = false;
    rig.browser.failure = [&](const QString&) {
        return unplugged ? std::optional<QString>("connection refused") : std::nullopt;
    };
    int passes = 0;
    rig.view.onPass = [&] {
        ++passes;
        unplugged = passes >= 1 && passes < 7;
        if (passes == 8) rig.cycle.stop();
    };
    rig.cycle.run();

    ASSERT_EQ(rig.view.records.size(), 8u);
    for (int pass = 1; pass < 7; ++pass)
        EXPECT_EQ(rig.view.records[pass], QStringList(12, "0000")) << pass;
    EXPECT_EQ(rig.view.records[7][0], "5005");
    EXPECT_EQ(rig.pump.timedWaits, (std::vector<qint64>{1000, 2000, 4000, 8000, 10000, 10000}));
    // Each failed pass asked every page once, no more: nothing is retried.
    EXPECT_EQ(rig.browser.urls.size(), 8u * 26u);
    EXPECT_EQ(rig.events.log.count("failing connection refused"), 6);
    const qsizetype answering = rig.events.log.indexOf("answering");
    ASSERT_GE(answering, 0);
    EXPECT_EQ(rig.events.log[answering - 1], "visible") << "told at the first good page";
    EXPECT_EQ(rig.events.log.mid(answering).count("done"), 25) << "the lock page was the first";
    EXPECT_FALSE(rig.cycle.adapterFailure());
    EXPECT_EQ(rig.cycle.backOffMs(), 0);
}

// Another client holds the lock: the lock page comes without LockID_0 and
// every read is refused. That is a failed pass too, and it backs off; Stop
// Program during the wait ends the cycle at once.
TEST(CycleOutage, RefusedLockBacksOffAndStopEndsTheWait) {
    Rig rig;
    rig.browser.serve = [](const QString& url) -> QByteArray {
        if (url.contains("GetLock")) return "<HTML><BODY>Bus busy</BODY></HTML>";
        return "<HTML><BODY>Invalid or expired lock ID</BODY></HTML>";
    };
    rig.pump.onWait = [&] {
        if (!rig.pump.timedWaits.empty()) rig.cycle.stop();
    };
    rig.cycle.run();
    ASSERT_EQ(rig.view.records.size(), 1u);
    EXPECT_EQ(rig.view.records[0], QStringList(12, "0000"));
    EXPECT_EQ(rig.view.failure, QString("the lock page has no LockID_0"));
    EXPECT_EQ(rig.pump.timedWaits, std::vector<qint64>{1000});
    EXPECT_EQ(rig.browser.urls.size(), 26) << "no page after Stop Program";
    EXPECT_TRUE(rig.cycle.stopped());
}

TEST(CycleRead, AllOnesRepeatsTheReadOnlyUntilAnotherWordComes) {
    Rig rig;
    int readsOfFirst = 0;
    rig.browser.serve = [&](const QString& url) -> QByteArray {
        if (url.contains("GetLock")) return fake::inputPage("LockID_0", "1");
        if (url.contains("Data=BE") && url.contains("9C000000B4A89828"))
            return fake::inputPage("ResultData_0",
                                   ++readsOfFirst < 4 ? fake::kAllOnes : fake::kGood2);
        if (url.contains("Data=BE")) return fake::inputPage("ResultData_0", fake::kGood1);
        return "<HTML></HTML>";
    };
    rig.runPasses(1);
    const QStringList& urls = rig.browser.urls;
    const QString firstRead = readPageUrl("10.0.0.9", "9C000000B4A89828", "1");
    EXPECT_EQ(countOf(urls, firstRead), 4);
    EXPECT_EQ(countOf(urls, conversionPageUrl("10.0.0.9", "9C000000B4A89828", "1")), 1);
    EXPECT_EQ(urls.size(), 26 + 3);
    // The repeats come right where the first read stood, each after a 20 ms
    // pause that handles events; no other step pauses.
    EXPECT_EQ(urls.indexOf(firstRead), 13);
    EXPECT_EQ(urls.lastIndexOf(firstRead), 16);
    EXPECT_EQ(rig.pump.timedWaits, (std::vector<qint64>{20, 20, 20}));
    EXPECT_EQ(rig.view.records.at(0).at(0), "5B01");
}

TEST(CycleRead, AllOnesIsBoundedSoAnUnpluggedSensorDoesNotStopThePass) {
    Rig rig;
    rig.browser.serve = [&](const QString& url) -> QByteArray {
        if (url.contains("GetLock")) return fake::inputPage("LockID_0", "1");
        if (url.contains("Data=BE") && url.contains("B900000027CA8F28"))
            return fake::inputPage("ResultData_0", fake::kAllOnes);
        if (url.contains("Data=BE")) return fake::inputPage("ResultData_0", fake::kGood1);
        return "<HTML></HTML>";
    };
    rig.pump.stepMs = 100;  // every page costs 100 ms of the fake clock
    rig.runPasses(2);
    const QString stuck = readPageUrl("10.0.0.9", "B900000027CA8F28", "1");
    // First "FFFF" at t, then a read every 20 + 100 ms: the one that sees
    // t + 2040 > bound ends it, 18 reads in each of the two passes.
    EXPECT_EQ(countOf(rig.browser.urls, stuck), 2 * 18);
    ASSERT_EQ(rig.view.records.size(), 2u);
    EXPECT_EQ(rig.view.records[0][2], "0000") << "all ones fails the check";
    EXPECT_EQ(rig.view.records[0][3], "5005") << "the pass goes on";
    EXPECT_EQ(rig.view.records[1][2], "0000") << "each pass gets the bound anew";
}

TEST(CycleRead, BoundIsSettable) {
    fake::Events ev;
    fake::Browser browser(ev);
    fake::Pump pump(browser);
    fake::View view(ev);
    AcquisitionCycle cycle(browser, pump, pump, view, CycleTiming{300});
    cycle.setAdapterAddress("10.0.0.9");
    cycle.setRoster(SensorRoster());
    browser.serve = [](const QString& url) -> QByteArray {
        if (url.contains("Data=BE")) return fake::inputPage("ResultData_0", fake::kAllOnes);
        return fake::inputPage("LockID_0", "1");
    };
    cycle.runPass();
    EXPECT_EQ(browser.urls.size(), 1 + 12 + 12 * 4 + 1);  // reads at 0, 120, 240, 360 ms
}

TEST(CycleRead, RejectedRepliesBecomeZeros) {
    Rig rig;
    const QStringList replies = {"BE50054B467FFF0C101D",   // wrong CRC
                                 "BE50054B467FFF0C101",    // 19 characters
                                 "BE50054B467FFF0C101C0",  // 21 characters
                                 "BE50054B467FFF0C1Z1C",   // not hex
                                 "BE50054b467fff0c101c",   // lower-case CRC field
                                 "",                       // empty value
                                 "BE",                     // word from a short reply
                                 "XX50054B467FFF0C101C",   // the echo is not checked: accepted
                                 "BE50054b467fff0c101C",   // lower-case data: accepted
                                 fake::kGood2,
                                 fake::kGood1,
                                 fake::kGood1};
    rig.browser.serve = [&](const QString& url) -> QByteArray {
        if (url.contains("Data=BE")) {
            const IdentifierTable ids = compiledRoster();
            const QString id = url.section("Address=", 1).section('&', 0, 0);
            const auto slot = std::find(ids.begin(), ids.end(), id) - ids.begin();
            return fake::inputPage("ResultData_0", replies[slot]);
        }
        return fake::inputPage("LockID_0", "1");
    };
    rig.runPasses(1);
    EXPECT_EQ(rig.view.records.at(0),
              QStringList({"0000", "0000", "0000", "0000", "0000", "0000", "0000", "5005", "5005",
                           "5B01", "5005", "5005"}));
}

TEST(CycleRoster, AnEmptyActiveSlotGetsNoPagesNoWordInTheRecordAndKeepsItsWord) {
    Rig rig;
    IdentifierTable ids = compiledRoster();
    ids[3].clear();
    rig.cycle.setRoster(SensorRoster::fromIdentifiers(ids));
    rig.runPasses(1);
    EXPECT_EQ(rig.browser.urls.size(), 2 * 11 + 2);
    for (const QString& u : rig.browser.urls) EXPECT_FALSE(u.contains("E6000000B4E6AC28"));
    ASSERT_EQ(rig.view.records.at(0).size(), 11);
    EXPECT_TRUE(rig.cycle.words()[3].isEmpty());
    EXPECT_EQ(rig.cycle.roster().sensors()[3].rom, "6E00000027CD1E28")
        << "the record's fourth word is slot 4's";
}

TEST(CycleRoster, CountChangedBetweenTheLoopsTakesEffectAtTheReadLoop) {
    {
        Rig rig;
        // Clicked while the last conversion page loads.
        rig.pump.onWait = [&] {
            if (rig.browser.pending().contains("Data=44&Address=A1000000A4D34C28"))
                rig.cycle.setActiveCount(16);
        };
        rig.runPasses(1);
        EXPECT_EQ(rig.browser.urls, expectedPass(12, 16, "1")) << "12 converted, 16 read";
        EXPECT_EQ(rig.view.records.at(0).size(), 16);
    }
    {
        Rig rig;
        rig.cycle.setActiveCount(16);
        rig.pump.onWait = [&] {
            if (rig.browser.pending().contains("Data=44&Address=42000000B49D7028"))
                rig.cycle.setActiveCount(12);
        };
        rig.runPasses(1);
        EXPECT_EQ(rig.browser.urls, expectedPass(16, 12, "1")) << "16 converted, 12 read";
        EXPECT_EQ(rig.view.records.at(0).size(), 12);
    }
}

TEST(CycleRoster, CountChangedDuringTheReadLoopShowsInTheNextPassOnly) {
    Rig rig;
    bool flipped = false;
    // Checked while the sixth sensor is being read, and again while the pass releases.
    rig.pump.onWait = [&] {
        if (!flipped && rig.browser.pending().contains("Data=BE") &&
            rig.browser.pending().contains("40000000B491CF28")) {
            flipped = true;
            rig.cycle.setActiveCount(16);
        }
    };
    rig.runPasses(2);
    ASSERT_EQ(rig.view.records.size(), 2u);
    EXPECT_EQ(rig.view.records[0].size(), 12) << "no words this pass never read";
    EXPECT_EQ(rig.view.records[1].size(), 16);
}

TEST(CycleStop, StoppingInsideAWaitUnwindsAtOnce) {
    Rig rig;
    rig.pump.onWait = [&] {
        if (rig.browser.urls.size() == 5) rig.cycle.stop();
    };
    rig.cycle.run();
    EXPECT_TRUE(rig.cycle.stopped());
    EXPECT_EQ(rig.browser.urls.size(), 5) << "no step after the stop";
    EXPECT_EQ(rig.browser.stopCalls, 1) << "the page under way is abandoned";
    EXPECT_TRUE(rig.view.records.empty());
    EXPECT_THROW(rig.cycle.runPass(), CycleStopped);
}

TEST(CycleStop, StoppingInTheReReadPauseUnwindsAtOnce) {
    Rig rig;
    rig.browser.serve = [](const QString& url) -> QByteArray {
        if (url.contains("Data=BE")) return fake::inputPage("ResultData_0", fake::kAllOnes);
        return fake::inputPage("LockID_0", "1");
    };
    rig.pump.onWait = [&] {
        if (!rig.pump.timedWaits.empty()) rig.cycle.stop();
    };
    rig.cycle.run();
    EXPECT_EQ(rig.browser.urls.size(), 1 + 12 + 1) << "no read after the pause";
    EXPECT_EQ(rig.pump.timedWaits.size(), 1u);
    EXPECT_TRUE(rig.view.records.empty());
}

TEST(CycleStop, APageThatNeverCompletesStillLetsTheUserStop) {
    Rig rig;
    rig.pump.holdPages = true;
    rig.pump.onWait = [&] {
        if (rig.pump.waits == 1000) rig.cycle.stop();
    };
    rig.cycle.run();
    EXPECT_EQ(rig.browser.urls.size(), 1);
    EXPECT_EQ(rig.pump.waits, 1000);
}

}  // namespace tarnwick::test
