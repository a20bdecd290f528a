// The metrics endpoint's cost, in one run:
//   bench_metrics cpu [PASSES]       CPU per pass (sixteen sensors, a pass every
//                                    20 ms) with no endpoint (NoPassObserver),
//                                    then with the endpoint on and scraped
//                                    every second by a client thread whose own
//                                    CPU is left out; and the cycle's thread's
//                                    share (passFinished()) and the CPU of one
//                                    scrape
//   bench_metrics size               the bytes of a scrape at 16 sensors
//   bench_metrics memory [SCRAPES]   SCRAPES scrapes (3600: an hour's worth at
//                                    one a second) as fast as they go, a pass
//                                    before each: resident memory at the
//                                    start, every tenth of the way and at the
//                                    end
#include <httplib.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "BenchFigures.h"
#include "MetricsEndpoint.h"
#include "MetricsExposition.h"
#include "RunMetrics.h"
#include "SystemClock.h"

namespace {

using namespace tarnwick;
using bench::cpuSeconds;
using bench::residentKiB;
using bench::threadCpuSeconds;

int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// Sixteen named sensors, with limits, as a roster file gives them.
SensorRoster sixteen() {
    std::vector<RosterSensor> sensors;
    for (int slot = 0; slot < 16; ++slot)
        sensors.push_back({.slot = slot,
                           .rom = QStringLiteral("%1000000B4A89828").arg(slot, 2, 16, QChar('0')),
                           .name = QStringLiteral("Room %1").arg(slot + 1),
                           .offsetMilliCelsius = 125});
    return SensorRoster(sensors, QStringLiteral("/etc/tarnwick/house.roster"));
}

// A pass's words, changing from pass to pass as real readings do; now and
// then one fails.
QStringList wordsOf(int pass) {
    QStringList words;
    for (int i = 0; i < 16; ++i)
        words << ((pass + i) % 97 == 0 ? QStringLiteral("0000")
                                       : QStringLiteral("%1")
                                             .arg(0x0150 + (pass + i) % 32, 4, 16, QChar('0'))
                                             .toUpper());
    return words;
}

const LogControl::RecordResult kWritten{
    .attempted = true, .written = true, .shownNumber = 1, .error = {}};

// Runs `passes` passes every `intervalMs` into `observer`; the process's CPU
// seconds, and the cycle's thread's inside passFinished() in `inPass`.
double run(PassObserver& observer, const SensorRoster& roster, int passes, int intervalMs,
           double& inPass) {
    observer.runStarted(roster, QStringLiteral("192.168.1.50"));
    inPass = 0;
    const double start = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    for (int pass = 0; pass < passes; ++pass) {
        const QStringList words = wordsOf(pass);
        const double before = threadCpuSeconds();
        observer.passFinished(roster, words, kWritten);
        inPass += threadCpuSeconds() - before;
        const qint64 left = qint64(pass + 1) * intervalMs - clock.elapsed();
        if (left > 0) QThread::msleep(static_cast<unsigned long>(left));
    }
    return cpuSeconds() - start;
}

int cpu(int passes) {
    const SensorRoster roster = sixteen();
    const int intervalMs = 20;
    double inPass = 0;
    NoPassObserver none;
    const double off = run(none, roster, passes, intervalMs, inPass);

    SystemClock wall;
    RunMetrics metrics(wall, QStringLiteral("1.0.0"));
    const int port = freePort();
    MetricsEndpointStart start =
        MetricsEndpoint::start({QStringLiteral("127.0.0.1"), port}, metrics);
    if (!start.endpoint) return std::fprintf(stderr, "%s\n", qPrintable(start.error)), 1;
    std::atomic<bool> done = false;
    std::atomic<int> scrapes = 0;
    std::atomic<long long> scraperNs = 0;  // the client's own CPU, left out
    std::thread scraper([&] {
        httplib::Client client("127.0.0.1", port);
        while (!done) {
            const double before = threadCpuSeconds();
            if (auto result = client.Get("/metrics"); result && result->status == 200) ++scrapes;
            scraperNs += static_cast<long long>((threadCpuSeconds() - before) * 1e9);
            for (int i = 0; i < 100 && !done; ++i) QThread::msleep(10);
        }
    });
    const double on = run(metrics, roster, passes, intervalMs, inPass) - scraperNs / 1e9;
    done = true;
    scraper.join();
    std::printf("%d passes of 16 sensors, one every %d ms; %d scrapes, one a second\n", passes,
                intervalMs, scrapes.load());
    std::printf("endpoint off: %.1f us CPU per pass\n", off / passes * 1e6);
    std::printf(
        "endpoint on:  %.1f us CPU per pass, scrapes included (the client's CPU left out)\n",
        on / passes * 1e6);
    std::printf(
        "the endpoint's own cost: %.1f us CPU per pass, of which %.1f us in the cycle's "
        "thread (passFinished())\n",
        (on - off) / passes * 1e6, inPass / passes * 1e6);
    std::printf("one scrape: about %.0f us CPU in the logger\n",
                scrapes ? ((on - off) - inPass) / scrapes * 1e6 : 0.0);
    return 0;
}

int size() {
    SystemClock wall;
    RunMetrics metrics(wall, QStringLiteral("1.0.0"));
    const SensorRoster roster = sixteen();
    metrics.runStarted(roster, QStringLiteral("192.168.1.50:8080"));
    metrics.passFinished(roster, wordsOf(1), kWritten);
    const int port = freePort();
    MetricsEndpointStart start =
        MetricsEndpoint::start({QStringLiteral("127.0.0.1"), port}, metrics);
    if (!start.endpoint) return std::fprintf(stderr, "%s\n", qPrintable(start.error)), 1;
    httplib::Client client("127.0.0.1", port);
    const auto plain = client.Get("/metrics");
    const auto gzip = client.Get("/metrics", {{"Accept-Encoding", "gzip"}});
    std::printf(
        "a scrape at 16 sensors: %zu bytes (%zu of them the logger's figures, the rest "
        "the library's own), %zu lines\n",
        plain ? plain->body.size() : 0, metricsText(metrics.snapshot()).size(),
        plain ? static_cast<std::size_t>(std::count(plain->body.begin(), plain->body.end(), '\n'))
              : 0);
    if (gzip)
        std::printf("asked for gzip (as Prometheus asks): %s bytes on the wire\n",
                    gzip->get_header_value("Content-Length").c_str());
    return 0;
}

int memory(int scrapes) {
    SystemClock wall;
    RunMetrics metrics(wall, QStringLiteral("1.0.0"));
    const SensorRoster roster = sixteen();
    metrics.runStarted(roster, QStringLiteral("192.168.1.50"));
    const int port = freePort();
    MetricsEndpointStart start =
        MetricsEndpoint::start({QStringLiteral("127.0.0.1"), port}, metrics);
    if (!start.endpoint) return std::fprintf(stderr, "%s\n", qPrintable(start.error)), 1;
    httplib::Client client("127.0.0.1", port);
    // Warm: the first scrapes allocate what every later one reuses.
    for (int i = 0; i < 10; ++i) client.Get("/metrics");
    std::printf("start: RSS %ld KiB\n", residentKiB());
    QElapsedTimer clock;
    clock.start();
    int failed = 0;
    for (int i = 1; i <= scrapes; ++i) {
        metrics.passFinished(roster, wordsOf(i), kWritten);
        const auto result = client.Get("/metrics");
        if (!result || result->status != 200) ++failed;
        if (i % std::max(1, scrapes / 10) == 0)
            std::printf("after %5d scrapes: RSS %ld KiB\n", i, residentKiB());
    }
    std::printf("%d scrapes in %.1f s, %d failed\n", scrapes, clock.elapsed() / 1000.0, failed);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1, QStringLiteral("cpu"));
    if (mode == QLatin1String("cpu")) return cpu(args.value(2, QStringLiteral("1500")).toInt());
    if (mode == QLatin1String("size")) return size();
    if (mode == QLatin1String("memory"))
        return memory(args.value(2, QStringLiteral("3600")).toInt());
    std::fprintf(stderr, "usage: bench_metrics [cpu [PASSES] | size | memory [SCRAPES]]\n");
    return 2;
}
