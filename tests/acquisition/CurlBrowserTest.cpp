// The program's page browser against the simulated adapter and a few raw
// sockets.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <ctime>

#include "../TestPrinters.h"
#include "CurlBrowser.h"
#include "PageUrl.h"
#include "QtEventPump.h"
#include "SimulatedAdapter.h"

namespace tarnwick::test {

namespace {

// Loads a page the way the cycle does, but waits no longer than `limitMs`
// in all: a load that has not completed by then fails the test, whether or
// not any event comes meanwhile.
void load(PageBrowser& b, const QString& url, int limitMs = 5000) {
    QtEventPump pump;
    QElapsedTimer t;
    t.start();
    b.navigate(url);
    for (qint64 left = limitMs; b.readyState() != PageBrowser::kComplete && left > 0;
         left = limitMs - t.elapsed())
        pump.waitForEvents(left);
    ASSERT_EQ(b.readyState(), PageBrowser::kComplete)
        << "no end of the load (page, failure or timeout) within " << limitMs
        << " ms: " << url.toStdString();
}

}  // namespace

TEST(CurlBrowser, LoadsPagesAndReadsTheirFields) {
    sim::Adapter sim(quickBus());
    ASSERT_TRUE(sim.start());
    CurlBrowser b;
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

TEST(CurlBrowser, AKeptConnectionTheAdapterDropsIsLetGoQuietlyAndReplaced) {
    sim::Adapter sim(quickBus());
    ASSERT_TRUE(sim.start());
    const int port = sim.port();
    CurlBrowser b;
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

TEST(CurlBrowser, FailedLoadsCompleteWithoutFields) {
    sim::Adapter sim(quickBus());
    ASSERT_TRUE(sim.start());
    CurlBrowser b(BrowserLimits{300, 1 << 20});

    sim.addFault({sim::PageKind::Lock, sim::Fault::Stall, "", 1, 1});
    load(b, lockPageUrl(address(sim)), 2000);
    EXPECT_EQ(b.fieldValue("LockID_0"), std::nullopt) << "stalled page ends with the timeout";
    EXPECT_EQ(b.failureReason(), QString("timed out"));

    sim.clearFaults();
    sim.addFault({sim::PageKind::Lock, sim::Fault::Drop, "", 1, 1});
    load(b, lockPageUrl(address(sim)));
    EXPECT_EQ(b.fieldValue("LockID_0"), std::nullopt) << "dropped connection";
    EXPECT_TRUE(b.failureReason());

    // A megabyte may take longer than 300 ms on a busy machine: the size,
    // not the time, must end this one.
    CurlBrowser patient(BrowserLimits{10'000, 1 << 20});
    sim.clearFaults();
    sim.addFault({sim::PageKind::Lock, sim::Fault::Oversize, "", 1, 1});
    load(patient, lockPageUrl(address(sim)), 12'000);
    EXPECT_EQ(patient.fieldValue("LockID_0"), std::nullopt) << "over 1 MiB";
    EXPECT_TRUE(patient.pageSource().isEmpty()) << "nothing of an oversized page is kept";
    EXPECT_EQ(patient.failureReason(), QString("page larger than 1048576 bytes"));

    sim.clearFaults();
    for (CurlBrowser* browser : {&b, &patient}) {
        load(*browser, lockPageUrl(address(sim)));
        EXPECT_TRUE(browser->fieldValue("LockID_0").has_value()) << "the next page loads as usual";
        EXPECT_EQ(browser->failureReason(), std::nullopt);
    }
}

// A page that never ends, without a declared length: the load is cut as soon
// as the body passes the cap, while the server is still sending.
TEST(CurlBrowser, AnEndlessPageIsCutAtTheCapWhileItStreams) {
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
    CurlBrowser b(BrowserLimits{60'000, 1 << 20});
    load(b, lockPageUrl(QStringLiteral("127.0.0.1:%1").arg(server.serverPort())), 10'000);
    EXPECT_EQ(b.failureReason(), QString("page larger than 1048576 bytes"));
    EXPECT_TRUE(b.pageSource().isEmpty());
    EXPECT_LT(sent, 16 << 20) << "cut while streaming, not after";
}

TEST(CurlBrowser, RefusedConnectionCompletesWithoutFields) {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();
    CurlBrowser b;
    load(b, lockPageUrl(QStringLiteral("127.0.0.1:%1").arg(port)));
    EXPECT_EQ(b.fieldValue("LockID_0"), std::nullopt);
    EXPECT_EQ(b.failureReason(), QString("connection refused"));
}

TEST(CurlBrowser, ErrorStatusPagesAreStillPages) {
    sim::Adapter sim(quickBus());
    ASSERT_TRUE(sim.start());
    CurlBrowser b;
    load(b, QStringLiteral("http://%1/1Wire/NoSuchPage.html").arg(address(sim)));
    EXPECT_FALSE(b.pageSource().isEmpty());
    EXPECT_EQ(b.failureReason(), std::nullopt);
    load(b, releasePageUrl(address(sim), "not-a-lock"));
    EXPECT_FALSE(b.pageSource().isEmpty());
}

TEST(CurlBrowser, StopAbandonsALoadUnderWay) {
    sim::Adapter sim(quickBus());
    ASSERT_TRUE(sim.start());
    sim.addFault({sim::PageKind::Lock, sim::Fault::Stall, "", 1, 1});
    CurlBrowser b;
    b.navigate(lockPageUrl(address(sim)));
    QtEventPump pump;
    QElapsedTimer t;
    t.start();
    while (sim.stalledPages() == 0 && t.elapsed() < 5000) pump.waitForEvents(100);
    ASSERT_EQ(sim.stalledPages(), 1) << "the request did not reach the adapter";
    b.stop();
    EXPECT_EQ(b.readyState(), PageBrowser::kComplete);
    EXPECT_EQ(b.fieldValue("LockID_0"), std::nullopt);
}

// What goes on the wire for a lock identifier full of characters that have
// no place in a URL: one request line, nothing injected, nothing cut.
TEST(CurlBrowser, OddLockIdentifiersCannotBreakTheRequestLine) {
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
    CurlBrowser b;
    const QString addr = QStringLiteral("127.0.0.1:%1").arg(server.serverPort());
    load(b, releasePageUrl(addr, "12 34\r\nX-Injected: 1\r\n#frag"));
    const QList<QByteArray> lines = received.split('\n');
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(
        lines[0].trimmed(),
        "GET /1Wire/ReleaseLock.html?LockID=12%2034%0D%0AX-Injected:%201%0D%0A%23frag HTTP/1.1");
    for (const QByteArray& l : lines) EXPECT_FALSE(l.startsWith("X-Injected")) << l.toStdString();
}

}  // namespace tarnwick::test
