// The acquisition cycle end to end: the program's page browser, event pump
// and clock against the simulated adapter.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <functional>
#include <set>

#include "../TestPrinters.h"
#include "AcquisitionCycle.h"
#include "CurlBrowser.h"
#include "QtEventPump.h"
#include "SimulatedAdapter.h"
#include "SteadyClock.h"

namespace tarnwick::test {

namespace {

struct NullView : CycleView {
    void showAddress(const QString&) override {}
    void showPage(const QByteArray&) override {}
    void makeVisible() override {}
    void showSensor(int, const QString&) override {}
    void passCompleted(const QStringList& w) override {
        records.push_back(w);
        if (onPass) onPass(static_cast<int>(records.size()));
        if (static_cast<int>(records.size()) == stopAfter && cycle) cycle->stop();
    }
    void showAdapterFailure(const std::optional<QString>& reason) override {
        failures.push_back(reason.value_or(QStringLiteral("answering")));
    }
    std::vector<QStringList> records;
    QStringList failures;
    std::function<void(int)> onPass;
    int stopAfter = 1;
    AcquisitionCycle* cycle = nullptr;
};

struct EndToEndRun {
    std::vector<QStringList> records;
    QString lockId;
    QStringList failures;
};

// Runs the real cycle against `sim` for `passes` passes; `onPass` runs after
// each one with its number.
EndToEndRun runPasses(const sim::Adapter& sim, int passes, CycleTiming timing = {},
                      std::function<void(int)> onPass = {}) {
    CurlBrowser browser;
    QtEventPump pump;
    SteadyClock clock;
    NullView view;
    AcquisitionCycle cycle(browser, pump, clock, view, timing);
    view.cycle = &cycle;
    view.stopAfter = passes;
    view.onPass = std::move(onPass);
    cycle.setAdapterAddress(address(sim));
    cycle.setRoster(SensorRoster());
    cycle.run();
    return {view.records, cycle.lockId(), view.failures};
}

}  // namespace

TEST(CycleEndToEnd, PassesAgainstTheSimulatedAdapter) {
    sim::Options o;
    o.conversionMs = 0;
    o.temperatureC["9C000000B4A89828"] = 25.0625;
    sim::Adapter sim(o);
    ASSERT_TRUE(sim.start());
    const EndToEndRun run = runPasses(sim, 2);

    const QStringList t = targets(sim);
    ASSERT_EQ(t.size(), 2 * 26);
    const QString lock = run.lockId;
    EXPECT_EQ(t[26], "/1Wire/GetLock.html");
    EXPECT_EQ(t[27], "/1Wire/WriteBlock.html?Data=44&Address=9C000000B4A89828&LockID=" + lock);
    EXPECT_EQ(
        t[39],
        "/1Wire/WriteBlock.html?Data=BEFFFFFFFFFFFFFFFFFF&Address=9C000000B4A89828&LockID=" + lock);
    EXPECT_EQ(t[51], "/1Wire/ReleaseLock.html?LockID=" + lock);
    ASSERT_EQ(run.records.size(), 2u);
    EXPECT_EQ(run.records[1][0], "9101") << "25.0625 C as the sensor sends it";
    for (const QString& w : run.records[1]) EXPECT_NE(w, "0000");
    std::set<int> connections;
    for (const auto& r : sim.requests()) connections.insert(r.remotePort);
    EXPECT_EQ(connections.size(), 1u) << "one kept-alive connection for both passes";
}

TEST(CycleEndToEnd, ConvertingSensorsAreReadAgainWithoutANewConversion) {
    sim::Options o;
    o.conversionMs = 150;
    sim::Adapter sim(o);
    ASSERT_TRUE(sim.start());
    const EndToEndRun run = runPasses(sim, 1);

    const QStringList t = targets(sim);
    EXPECT_EQ(t.filter("Data=44&").size(), 12);
    EXPECT_GT(t.filter("Data=BE").size(), 12) << "the first reads came back all ones";
    for (const QString& w : run.records.at(0)) {
        EXPECT_NE(w, "FFFF");
        EXPECT_NE(w, "0000");
    }
}

TEST(CycleEndToEnd, AnUnpluggedSensorCostsTheBoundAndReadsZeros) {
    sim::Options o;
    o.conversionMs = 0;
    o.disconnected = {"B900000027CA8F28"};
    sim::Adapter sim(o);
    ASSERT_TRUE(sim.start());
    const EndToEndRun run = runPasses(sim, 2, CycleTiming{200});
    ASSERT_EQ(run.records.size(), 2u);
    EXPECT_EQ(run.records[1][2], "0000");
    EXPECT_NE(run.records[1][3], "0000") << "the pass went on past it";
    EXPECT_GT(targets(sim).filter("Address=B900000027CA8F28").size(), 4) << "it was read again";
}

// The adapter goes away (every connection refused) and comes back on the
// same port: the passes in between write zeros, never the last good readings,
// and come at the back-off pace; the first good page ends the failure.
TEST(CycleEndToEnd, AnAdapterThatGoesAwayGivesZerosAtTheBackOffPace) {
    sim::Adapter sim(quickBus());
    ASSERT_TRUE(sim.start());
    const int port = sim.port();
    QElapsedTimer outage;
    qint64 outageMs = 0;
    const EndToEndRun run = runPasses(sim, 6, CycleTiming{2'000, 20, 100, 400}, [&](int pass) {
        if (pass == 1) {
            sim.stop();
            outage.start();
        }
        if (pass == 4) {
            outageMs = outage.elapsed();
            ASSERT_TRUE(sim.start("127.0.0.1", port));
        }
    });
    ASSERT_EQ(run.records.size(), 6u);
    for (int pass : {1, 2, 3}) EXPECT_EQ(run.records[pass], QStringList(12, "0000")) << pass;
    EXPECT_NE(run.records[5][0], "0000");
    EXPECT_GE(outageMs, 100 + 200) << "waited before the second and third failed pass";
    EXPECT_EQ(run.failures, (QStringList{"connection refused", "connection refused",
                                         "connection refused", "answering"}));
}

}  // namespace tarnwick::test
