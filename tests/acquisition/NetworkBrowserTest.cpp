// The real page browsers against the simulated adapter and a few raw sockets:
// every test runs once for each implementation.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <ctime>
#include <functional>
#include <set>
#include <type_traits>

#include "../TestPrinters.h"
#include "AcquisitionCycle.h"
#include "CurlBrowser.h"
#include "NetworkBrowser.h"
#include "PageUrl.h"
#include "SimAdapter.h"

namespace tarnwick::test {

namespace {

QString address(const sim::Adapter& sim) { return QStringLiteral("127.0.0.1:%1").arg(sim.port()); }

// Loads a page the way the cycle does; gives up (test failure) after `limitMs`.
void load(PageBrowser& b, const QString& url, int limitMs = 5000) {
    QtEventPump pump;
    QElapsedTimer t;
    t.start();
    b.navigate(url);
    while (b.readyState() != PageBrowser::kComplete && t.elapsed() < limitMs) pump.waitForEvents();
    ASSERT_EQ(b.readyState(), PageBrowser::kComplete)
        << "page did not complete: " << url.toStdString();
}

sim::Options quickBus() {
    sim::Options o;
    o.conversionMs = 0;
    return o;
}

template <typename Browser>
class PageBrowsers : public ::testing::Test {};

class BrowserNames {
  public:
    template <typename T>
    static std::string GetName(int) {
        return std::is_same_v<T, CurlBrowser> ? "Curl" : "Qt";
    }
};

using BrowserTypes = ::testing::Types<NetworkBrowser, CurlBrowser>;

}  // namespace

TYPED_TEST_SUITE(PageBrowsers, BrowserTypes, BrowserNames);

TYPED_TEST(PageBrowsers, LoadsPagesAndReadsTheirFields) {
    sim::Adapter sim(quickBus());
    ASSERT_TRUE(sim.start());
    TypeParam b;
    EXPECT_EQ(b.readyState(), 0);
    load(b, lockPageUrl(address(sim)));
    const std::optional<QString> lock = b.fieldValue("LockID_0");
    ASSERT_TRUE(lock.has_value());
    EXPECT_FALSE(lock->isEmpty());
    EXPECT_TRUE(b.pageSource().contains("LockID_0"));

    load(b, readPageUrl(address(sim), "9C000000B4A89828", *lock));
    const std::optional<QString> reply = b.fieldValue("ResultData_0");
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->size(), 20);
    EXPECT_EQ(b.fieldValue("LockID_0"), std::nullopt) << "fields belong to the page loaded last";
}

TYPED_TEST(PageBrowsers, AKeptConnectionTheAdapterDropsIsLetGoQuietlyAndReplaced) {
    sim::Adapter sim(quickBus());
    ASSERT_TRUE(sim.start());
    const int port = sim.port();
    TypeParam b;
    load(b, lockPageUrl(address(sim)));

    // The adapter goes away, closing the idle connection: the loop is woken
    // by it, but does not keep waking while nothing is loading.
    sim.stop();
    auto cpuMs = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
    };
    const double cpu0 = cpuMs();
    QtEventPump pump;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 300) pump.waitForEvents(300 - waited.elapsed());
    EXPECT_LT(cpuMs() - cpu0, 100) << "the event loop kept waking while idle";

    // Back on the same port: the next page comes over a new connection.
    ASSERT_TRUE(sim.start("127.0.0.1", port));
    load(b, lockPageUrl(address(sim)));
    EXPECT_TRUE(b.fieldValue("LockID_0").has_value());
}

TYPED_TEST(PageBrowsers, FailedLoadsCompleteWithoutFields) {
    sim::Adapter sim(quickBus());
    ASSERT_TRUE(sim.start());
    TypeParam b(BrowserLimits{300, 1 << 20});

    sim.addFault({sim::PageKind::Lock, sim::Fault::Stall, "", 1, 1});
    load(b, lockPageUrl(address(sim)));
    EXPECT_EQ(b.fieldValue("LockID_0"), std::nullopt) << "stalled page ends with the timeout";
    EXPECT_EQ(b.failureReason(), QString("timed out"));

    sim.clearFaults();
    sim.addFault({sim::PageKind::Lock, sim::Fault::Drop, "", 1, 1});
    load(b, lockPageUrl(address(sim)));
    EXPECT_EQ(b.fieldValue("LockID_0"), std::nullopt) << "dropped connection";
    EXPECT_TRUE(b.failureReason());

    sim.clearFaults();
    sim.addFault({sim::PageKind::Lock, sim::Fault::Oversize, "", 1, 1});
    load(b, lockPageUrl(address(sim)));
    EXPECT_EQ(b.fieldValue("LockID_0"), std::nullopt) << "over 1 MiB";
    EXPECT_TRUE(b.pageSource().isEmpty()) << "nothing of an oversized page is kept";
    EXPECT_EQ(b.failureReason(), QString("page larger than 1048576 bytes"));

    sim.clearFaults();
    load(b, lockPageUrl(address(sim)));
    EXPECT_TRUE(b.fieldValue("LockID_0").has_value()) << "the next page loads as usual";
    EXPECT_EQ(b.failureReason(), std::nullopt);
}

// A page that never ends, without a declared length: the load is cut as soon
// as the body passes the cap, while the server is still sending.
TYPED_TEST(PageBrowsers, AnEndlessPageIsCutAtTheCapWhileItStreams) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    qint64 sent = 0;
    bool open = false;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket* s = server.nextPendingConnection();
        open = true;
        const QByteArray chunk(64 * 1024, 'x');
        auto more = [s, chunk, &sent] {
            if (s->bytesToWrite() < 256 * 1024) sent += s->write(chunk);
        };
        QObject::connect(s, &QTcpSocket::bytesWritten, s, more);
        QObject::connect(s, &QTcpSocket::disconnected, s, [s, &open] {
            open = false;
            s->deleteLater();
        });
        s->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n");
        more();
    });
    TypeParam b(BrowserLimits{60'000, 1 << 20});
    load(b, lockPageUrl(QStringLiteral("127.0.0.1:%1").arg(server.serverPort())), 10'000);
    EXPECT_EQ(b.failureReason(), QString("page larger than 1048576 bytes"));
    EXPECT_TRUE(b.pageSource().isEmpty());
    EXPECT_LT(sent, 16 << 20) << "cut while streaming, not after";
}

TYPED_TEST(PageBrowsers, RefusedConnectionCompletesWithoutFields) {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();
    TypeParam b;
    load(b, lockPageUrl(QStringLiteral("127.0.0.1:%1").arg(port)));
    EXPECT_EQ(b.fieldValue("LockID_0"), std::nullopt);
    EXPECT_EQ(b.failureReason(), QString("connection refused"));
}

TYPED_TEST(PageBrowsers, ErrorStatusPagesAreStillPages) {
    sim::Adapter sim(quickBus());
    ASSERT_TRUE(sim.start());
    TypeParam b;
    load(b, QStringLiteral("http://%1/1Wire/NoSuchPage.html").arg(address(sim)));
    EXPECT_FALSE(b.pageSource().isEmpty());
    EXPECT_EQ(b.failureReason(), std::nullopt);
    load(b, releasePageUrl(address(sim), "not-a-lock"));
    EXPECT_FALSE(b.pageSource().isEmpty());
}

TYPED_TEST(PageBrowsers, StopAbandonsALoadUnderWay) {
    sim::Adapter sim(quickBus());
    ASSERT_TRUE(sim.start());
    sim.addFault({sim::PageKind::Lock, sim::Fault::Stall, "", 1, 1});
    TypeParam b;
    b.navigate(lockPageUrl(address(sim)));
    QtEventPump pump;
    while (sim.stalledPages() == 0) pump.waitForEvents();
    b.stop();
    EXPECT_EQ(b.readyState(), PageBrowser::kComplete);
    EXPECT_EQ(b.fieldValue("LockID_0"), std::nullopt);
}

// What goes on the wire for a lock identifier full of characters that have
// no place in a URL: one request line, nothing injected, nothing cut.
TYPED_TEST(PageBrowsers, OddLockIdentifiersCannotBreakTheRequestLine) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QByteArray received;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket* s = server.nextPendingConnection();
        QObject::connect(s, &QTcpSocket::readyRead, [&, s] {
            received += s->readAll();
            if (received.contains("\r\n\r\n")) {
                s->write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                s->disconnectFromHost();
            }
        });
    });
    TypeParam b;
    const QString addr = QStringLiteral("127.0.0.1:%1").arg(server.serverPort());
    load(b, releasePageUrl(addr, "12 34\r\nX-Injected: 1\r\n#frag"));
    const QList<QByteArray> lines = received.split('\n');
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(
        lines[0].trimmed(),
        "GET /1Wire/ReleaseLock.html?LockID=12%2034%0D%0AX-Injected:%201%0D%0A%23frag HTTP/1.1");
    for (const QByteArray& l : lines) EXPECT_FALSE(l.startsWith("X-Injected")) << l.toStdString();
}

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

QStringList targets(const sim::Adapter& sim) {
    QStringList out;
    for (const auto& r : sim.requests()) out << QString::fromStdString(r.target);
    return out;
}

struct EndToEndRun {
    std::vector<QStringList> records;
    QString lockId;
    QStringList failures;
};

// Runs the real cycle against `sim` for `passes` passes; `onPass` runs after
// each one with its number.
template <typename Browser>
EndToEndRun runPasses(const sim::Adapter& sim, int passes, CycleTiming timing = {},
                      std::function<void(int)> onPass = {}) {
    Browser browser;
    QtEventPump pump;
    SteadyClock clock;
    NullView view;
    AcquisitionCycle cycle(browser, pump, clock, view, timing);
    view.cycle = &cycle;
    view.stopAfter = passes;
    view.onPass = std::move(onPass);
    cycle.setAdapterAddress(address(sim));
    cycle.setIdentifiers(compiledRoster());
    cycle.run();
    return {view.records, cycle.lockId(), view.failures};
}

template <typename Browser>
class CycleEndToEnd : public ::testing::Test {};

}  // namespace

TYPED_TEST_SUITE(CycleEndToEnd, BrowserTypes, BrowserNames);

TYPED_TEST(CycleEndToEnd, PassesAgainstTheSimulatedAdapter) {
    sim::Options o;
    o.conversionMs = 0;
    o.temperatureC["9C000000B4A89828"] = 25.0625;
    sim::Adapter sim(o);
    ASSERT_TRUE(sim.start());
    const EndToEndRun run = runPasses<TypeParam>(sim, 2);

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

TYPED_TEST(CycleEndToEnd, ConvertingSensorsAreReadAgainWithoutANewConversion) {
    sim::Options o;
    o.conversionMs = 150;
    sim::Adapter sim(o);
    ASSERT_TRUE(sim.start());
    const EndToEndRun run = runPasses<TypeParam>(sim, 1);

    const QStringList t = targets(sim);
    EXPECT_EQ(t.filter("Data=44&").size(), 12);
    EXPECT_GT(t.filter("Data=BE").size(), 12) << "the first reads came back all ones";
    for (const QString& w : run.records.at(0)) {
        EXPECT_NE(w, "FFFF");
        EXPECT_NE(w, "0000");
    }
}

TYPED_TEST(CycleEndToEnd, AnUnpluggedSensorCostsTheBoundAndReadsZeros) {
    sim::Options o;
    o.conversionMs = 0;
    o.disconnected = {"B900000027CA8F28"};
    sim::Adapter sim(o);
    ASSERT_TRUE(sim.start());
    const EndToEndRun run = runPasses<TypeParam>(sim, 2, CycleTiming{200});
    ASSERT_EQ(run.records.size(), 2u);
    EXPECT_EQ(run.records[1][2], "0000");
    EXPECT_NE(run.records[1][3], "0000") << "the pass went on past it";
    EXPECT_GT(targets(sim).filter("Address=B900000027CA8F28").size(), 4) << "it was read again";
}

// The adapter goes away (every connection refused) and comes back on the
// same port: the passes in between write zeros, never the last good readings,
// and come at the back-off pace; the first good page ends the failure.
TYPED_TEST(CycleEndToEnd, AnAdapterThatGoesAwayGivesZerosAtTheBackOffPace) {
    sim::Adapter sim(quickBus());
    ASSERT_TRUE(sim.start());
    const int port = sim.port();
    QElapsedTimer outage;
    qint64 outageMs = 0;
    const EndToEndRun run =
        runPasses<TypeParam>(sim, 6, CycleTiming{2'000, 20, 100, 400}, [&](int pass) {
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
