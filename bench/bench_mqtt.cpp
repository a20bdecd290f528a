// Publishing's cost, against a Mosquitto broker the benchmark starts on a free
// loopback port:
//   bench_mqtt cpu [PASSES]       CPU per pass with publishing on (twelve
//                                 sensors, a broker taking them) beside off
//                                 (NoPublisher), the whole process's CPU, the
//                                 network thread's included
//   bench_mqtt outage [SECONDS]   the broker stopped for SECONDS (600 by
//                                 default) while a pass is published every
//                                 100 ms: resident memory at the start, every
//                                 minute and at the end, what was dropped,
//                                 and the time to publish again once it is back
//   bench_mqtt addresses [TIMES]  a broker named "localhost" whose look-up
//                                 gives ::1 and 127.0.0.3 (refusing) before
//                                 127.0.0.1, plain and TLS: the time from the
//                                 publisher's start to its connection and the
//                                 CPU spent, TIMES each (20 by default), beside
//                                 127.0.0.1 alone
#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <algorithm>
#include <cstdio>

#include "BenchFigures.h"
#include "FakeResolver.h"
#include "MqttPublisher.h"
#include "SteadyClock.h"
#include "SystemClock.h"
#include "TestBroker.h"

namespace {

using namespace tarnwick;
using bench::cpuSeconds;
using bench::residentKiB;
using bench::threadCpuSeconds;

// A pass's words, changing from pass to pass as real readings do.
QStringList wordsOf(int pass) {
    QStringList words;
    for (int i = 0; i < 12; ++i)
        words << QStringLiteral("%1")
                     .arg(0x0150 + (pass + i) % 32, 4, 16, QLatin1Char('0'))
                     .toUpper();
    return words;
}

// CPU seconds the calling thread spent inside publish().
double inPublish = 0;

// Publishes `passes` passes every `intervalMs`; returns the CPU seconds spent.
double run(ReadingsPublisher& publisher, int passes, int intervalMs) {
    const SensorRoster roster;
    const double start = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    for (int pass = 0; pass < passes; ++pass) {
        const QStringList words = wordsOf(pass);
        const double before = threadCpuSeconds();
        publisher.publish(roster, words);
        inPublish += threadCpuSeconds() - before;
        QCoreApplication::processEvents();
        const qint64 left = qint64(pass + 1) * intervalMs - clock.elapsed();
        if (left > 0) QThread::msleep(static_cast<unsigned long>(left));
    }
    return cpuSeconds() - start;
}

BrokerSettings settingsFor(const test::TestBroker& broker) {
    BrokerSettings s;
    parseBrokerUrl(broker.url(), s);
    return s;
}

int cpu(int passes) {
    test::TestBroker broker;
    if (!broker.start()) return std::fprintf(stderr, "cannot start mosquitto\n"), 1;
    SteadyClock steady;
    SystemClock wall;
    const int intervalMs = 20;
    NoPublisher none;
    const double off = run(none, passes, intervalMs);
    MqttPublisher publisher(settingsFor(broker), QStringLiteral("127.0.0.1:8642"), steady, wall);
    test::waitUntil(
        [&] { return publisher.failure() == std::nullopt && publisher.counts().sent > 0; }, 2'000);
    inPublish = 0;
    const double on = run(publisher, passes, intervalMs);
    test::waitUntil([&] { return publisher.counts().waiting == 0; }, 5'000);
    const MqttPublisher::Counts counts = publisher.counts();
    std::printf("%d passes of 12 sensors, one every %d ms\n", passes, intervalMs);
    std::printf("publishing off: %.1f us CPU per pass\n", off / passes * 1e6);
    std::printf("publishing on:  %.1f us CPU per pass (%llu messages sent, %llu dropped)\n",
                on / passes * 1e6, static_cast<unsigned long long>(counts.sent),
                static_cast<unsigned long long>(counts.dropped));
    std::printf(
        "publishing's own cost: %.1f us CPU per pass, of which %.1f us in the cycle's "
        "thread (publish(): the messages made and queued)\n",
        (on - off) / passes * 1e6, inPublish / passes * 1e6);
    return 0;
}

int outage(int seconds) {
    test::TestBroker broker;
    if (!broker.start()) return std::fprintf(stderr, "cannot start mosquitto\n"), 1;
    SteadyClock steady;
    SystemClock wall;
    MqttPublisher publisher(settingsFor(broker), QStringLiteral("127.0.0.1:8642"), steady, wall);
    run(publisher, 20, 100);
    std::printf("connected: RSS %ld KiB\n", residentKiB());
    broker.stop();
    const int perMinute = 600;
    for (int done = 0; done < seconds * 10; done += perMinute) {
        run(publisher, std::min(perMinute, seconds * 10 - done), 100);
        const MqttPublisher::Counts c = publisher.counts();
        std::printf("broker away %4d s: RSS %ld KiB, %zu waiting, %llu dropped\n",
                    (done + std::min(perMinute, seconds * 10 - done)) / 10, residentKiB(),
                    c.waiting, static_cast<unsigned long long>(c.dropped));
        std::fflush(stdout);
    }
    const std::uint64_t sentBefore = publisher.counts().sent;
    if (!broker.start(broker.port())) return std::fprintf(stderr, "cannot restart mosquitto\n"), 1;
    QElapsedTimer back;
    back.start();
    test::waitUntil(
        [&] { return publisher.counts().sent > sentBefore && publisher.counts().waiting == 0; },
        120'000);
    std::printf("broker back: the waiting readings sent %lld ms later (retries back off to 60 s)\n",
                back.elapsed());
    return 0;
}

// Connects `times` publishers one after the other through `addresses`;
// prints the median time to the connection and the CPU per connection.
bool connectThrough(const BrokerSettings& s, const std::vector<QByteArray>& addresses, int times) {
    SteadyClock steady;
    SystemClock wall;
    std::vector<qint64> ms;
    const double start = cpuSeconds();
    for (int i = 0; i < times; ++i) {
        QElapsedTimer timer;
        timer.start();
        MqttPublisher publisher(s, QStringLiteral("127.0.0.1:8642"), steady, wall,
                                std::make_unique<test::FakeResolver>(
                                    addresses, std::make_shared<test::FakeResolver::Asked>()));
        bool told = false;
        publisher.setFailureListener([&](const std::optional<QString>&) { told = true; });
        if (!test::waitUntil([&] { return told; }, 60'000) || publisher.failure()) {
            std::printf("  not connected: %s\n",
                        qPrintable(publisher.failure().value_or(QStringLiteral("nothing told"))));
            return false;
        }
        ms.push_back(timer.elapsed());
    }
    std::sort(ms.begin(), ms.end());
    QByteArrayList shown;
    for (const QByteArray& a : addresses) shown << a;
    std::printf("  %-30s median %3lld ms to connect (max %3lld), %.1f ms CPU each\n",
                shown.join(", ").constData(), ms[ms.size() / 2], ms.back(),
                (cpuSeconds() - start) / times * 1e3);
    return true;
}

int addresses(int times) {
    for (const bool tls : {false, true}) {
        test::TestBroker broker;
        const QString ca = tls ? broker.useTls() : QString();
        if (!broker.start()) return std::fprintf(stderr, "cannot start mosquitto\n"), 1;
        BrokerSettings s = settingsFor(broker);
        s.host = QStringLiteral("localhost");
        s.caFile = ca;
        std::printf("%s, %d connections each:\n", tls ? "mqtts" : "mqtt", times);
        if (!connectThrough(s, {"127.0.0.1"}, times) ||
            !connectThrough(s, {"::1", "127.0.0.3", "127.0.0.1"}, times))
            return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1, QStringLiteral("cpu"));
    if (!test::TestBroker::available())
        return std::fprintf(stderr, "mosquitto is not installed\n"), 1;
    if (mode == QLatin1String("cpu")) return cpu(args.value(2, QStringLiteral("1000")).toInt());
    if (mode == QLatin1String("outage"))
        return outage(args.value(2, QStringLiteral("600")).toInt());
    if (mode == QLatin1String("addresses"))
        return addresses(args.value(2, QStringLiteral("20")).toInt());
    std::fprintf(stderr,
                 "usage: bench_mqtt [cpu [PASSES] | outage [SECONDS] | addresses [TIMES]]\n");
    return 2;
}
