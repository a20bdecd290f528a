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
//   bench_mqtt sweep [OTHERS]     a broker holding OTHERS (5000 by default)
//                                 retained discovery configs of other devices,
//                                 and a first run's sixteen sensors with their
//                                 alarms: the second run, on eight, clears the
//                                 others' configs and alarm topics at connect;
//                                 the time from its start to the last cleared,
//                                 and the process's CPU meanwhile
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

// Publishes `count` retained configs of other devices, and waits until the
// last is retained.
bool fillWithOthers(const test::TestBroker& broker, int count) {
    mosquitto* m = mosquitto_new(nullptr, true, nullptr);
    if (mosquitto_connect(m, "127.0.0.1", broker.port(), 30) != MOSQ_ERR_SUCCESS) return false;
    mosquitto_loop_start(m);
    const QByteArray payload(400, 'x');
    for (int i = 0; i < count; ++i) {
        const QByteArray topic =
            "homeassistant/sensor/device_" + QByteArray::number(i) + "/t/config";
        mosquitto_publish(m, nullptr, topic.constData(), int(payload.size()), payload.constData(),
                          1, true);
    }
    test::TestSubscriber sub;
    const bool done =
        sub.connect(broker) &&
        sub.waitFor("homeassistant/sensor/device_" + QByteArray::number(count - 1) + "/t/config",
                    {}, 60'000);
    mosquitto_disconnect(m);
    mosquitto_loop_stop(m, false);
    mosquitto_destroy(m);
    return done;
}

int sweep(int others) {
    test::TestBroker broker;
    if (!broker.start()) return std::fprintf(stderr, "cannot start mosquitto\n"), 1;
    SteadyClock steady;
    SystemClock wall;
    BrokerSettings s = settingsFor(broker);
    s.discovery = true;
    std::vector<RosterSensor> sensors;
    QStringList words;
    for (int slot = 0; slot < 16; ++slot) {
        sensors.push_back(
            {.slot = slot,
             .rom = QStringLiteral("%1000000B4A89828").arg(slot + 0x10, 2, 16).toUpper(),
             .name = {}});
        sensors.back().limits.highMilliCelsius = 30'000;
        words << QStringLiteral("9101");
    }
    const SensorRoster sixteen(sensors, QStringLiteral("roster.conf"));
    const SensorRoster eight(std::vector<RosterSensor>(sensors.begin(), sensors.begin() + 8),
                             QStringLiteral("roster.conf"));
    {
        MqttPublisher first(s, QStringLiteral("127.0.0.1:8642"), steady, wall);
        first.watch(sixteen, true);
        first.publish(sixteen, words);
        // What the broker holds, not only what was handed to the library.
        test::TestSubscriber sub;
        const auto holds = [&] {
            int held = 0;
            for (const auto& m : sub.messages())
                held += m.topic.contains("/alarm") || m.topic.contains("binary_sensor") ||
                        m.topic.startsWith("homeassistant/sensor/tarnwick_");
            return held;
        };
        if (!sub.connect(broker) || !test::waitUntil([&] { return holds() >= 16 * 4 + 3; }, 10'000))
            return std::fprintf(stderr, "the first run's topics did not arrive\n"), 1;
    }
    if (!fillWithOthers(broker, others))
        return std::fprintf(stderr, "the other devices' configs did not arrive\n"), 1;
    const double cpuStart = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    MqttPublisher second(s, QStringLiteral("127.0.0.1:8642"), steady, wall);
    second.watch(eight, true);
    second.publish(eight, words.mid(0, 8));
    // Each sensor gone: its two configs, its alarm topic and their attributes.
    const std::uint64_t expected = 8 * 4;
    if (!test::waitUntil([&] { return second.counts().cleared >= expected; }, 30'000))
        return std::fprintf(stderr, "cleared %llu of %llu\n",
                            static_cast<unsigned long long>(second.counts().cleared),
                            static_cast<unsigned long long>(expected)),
               1;
    std::printf("%d other devices' configs retained; 16 sensors, then 8:\n", others);
    std::printf(
        "  %llu stale topics cleared %lld ms after the start (collected for %lld ms), "
        "%.1f ms CPU\n",
        static_cast<unsigned long long>(second.counts().cleared), timer.elapsed(), s.sweepWindowMs,
        (cpuSeconds() - cpuStart) * 1e3);
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
    if (mode == QLatin1String("sweep")) return sweep(args.value(2, QStringLiteral("5000")).toInt());
    std::fprintf(stderr,
                 "usage: bench_mqtt [cpu [PASSES] | outage [SECONDS] | addresses [TIMES] | "
                 "sweep [OTHERS]]\n");
    return 2;
}
