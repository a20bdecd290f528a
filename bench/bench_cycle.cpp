// Figures for the acquisition cycle against the simulated adapter, which runs
// as a separate process so that only the logger's own work is counted. The
// cycle loads pages with the program's own loader (libcurl) unless noted.
//   throughput [seconds] [delay-ms]
//                          passes and page requests per second, 12 and 16
//                          sensors, with the program's loader and with Qt's,
//                          the adapter answering at once (conversions too) or
//                          each page after delay-ms (750 ms conversions),
//                          and curl fetching the same URLs with keep-alive in
//                          one invocation, for the ratio
//   idle                   CPU time spent while the adapter stalls a page 10 s
//   memory [requests]      resident set size after 1,000 and after N requests
//   outage                 the adapter gone for 10 s (every connection refused),
//                          logging on: records and CPU seconds in those 10 s,
//                          seconds from its return to the next good record
//   soak [requests] [seed] at least that many page requests (100,000 by default)
//                          against an in-process simulated adapter with faults
//                          mixed in at random, logging on; checks the log line
//                          by line, the counter, every reading against what the
//                          adapter sent in that pass, memory and descriptors
// With no mode given, throughput, idle and memory run.
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QUrlQuery>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>

#include "AcquisitionCycle.h"
#include "BenchProcesses.h"
#include "CurlBrowser.h"
#include "LogControl.h"
#include "NetworkBrowser.h"
#include "PageUrl.h"
#include "QtEventPump.h"
#include "SimAdapter.h"
#include "SteadyClock.h"
#include "SystemClock.h"
#include "TemperatureWord.h"

using namespace tarnwick;
using namespace tarnwick::bench;

namespace {

struct CountingView : CycleView {
    void showAddress(const QString&) override { ++requests; }
    void showPage(const QByteArray&) override {}
    void makeVisible() override {}
    void showSensor(int, const QString&) override {}
    void passCompleted(const QStringList& w) override {
        ++passes;
        words = w;
        if (onPass) onPass();
    }
    void showAdapterFailure(const std::optional<QString>& reason) override { failure = reason; }
    std::uint64_t requests = 0;
    std::uint64_t passes = 0;
    QStringList words;
    std::optional<QString> failure;
    std::function<void()> onPass;
};

int openDescriptors() {
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd"))
                                .entryList(QDir::NoDotAndDotDot | QDir::System)
                                .size());
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double rssMiB() {
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.value(1).toDouble() * sysconf(_SC_PAGESIZE) / (1024.0 * 1024.0);
}

// Which page loader the cycle uses: the program's own (libcurl) or Qt's.
enum class Loader { Program, Qt };

std::unique_ptr<PageBrowser> makeBrowser(Loader loader, BrowserLimits limits) {
    if (loader == Loader::Qt) return std::make_unique<NetworkBrowser>(limits);
    return std::make_unique<CurlBrowser>(limits);
}

// Runs passes until `done` says so; returns the elapsed seconds.
double runCycle(const QString& address, int sensors, CountingView& view,
                const std::function<bool()>& done, BrowserLimits limits = {},
                CycleTiming timing = {}, Loader loader = Loader::Program) {
    const std::unique_ptr<PageBrowser> loaded = makeBrowser(loader, limits);
    PageBrowser& browser = *loaded;
    QtEventPump pump;
    SteadyClock clock;
    AcquisitionCycle cycle(browser, pump, clock, view, timing);
    cycle.setAdapterAddress(address);
    cycle.setRoster(SensorRoster());
    cycle.setActiveCount(static_cast<std::int16_t>(sensors));
    view.onPass = [&] {
        if (done()) cycle.stop();
    };
    QElapsedTimer t;
    t.start();
    cycle.run();
    return t.elapsed() / 1000.0;
}

void throughput(double seconds, int delayMs) {
    Simulator sim(
        {"--conversion-ms", delayMs > 0 ? "750" : "0", "--delay-ms", QString::number(delayMs)});
    for (Loader loader : {Loader::Program, Loader::Qt})
        for (int sensors : {12, 16}) {
            CountingView view;
            QElapsedTimer t;
            t.start();
            const double cpu0 = cpuSeconds();
            const double elapsed = runCycle(
                sim.address(), sensors, view, [&] { return t.elapsed() >= seconds * 1000; }, {}, {},
                loader);
            const double cpu = cpuSeconds() - cpu0;
            const double perRequest = elapsed / view.requests;
            const CurlFigures curl =
                curlPerRequest(sim.address(), sensors,
                               static_cast<int>(std::min<std::uint64_t>(view.requests, 200'000)));
            std::printf(
                "throughput %-4s %2d ms pages, %2d sensors: %llu passes, %llu requests in %.1f s = "
                "%.1f passes/s, "
                "%.0f requests/s, %.3f ms/request (CPU %.3f ms/request); curl keep-alive %.3f "
                "ms/request (CPU %.3f ms/request); ratio %.2f (CPU %.2f)\n",
                loader == Loader::Qt ? "qt" : "curl", delayMs, sensors,
                static_cast<unsigned long long>(view.passes),
                static_cast<unsigned long long>(view.requests), elapsed, view.passes / elapsed,
                view.requests / elapsed, perRequest * 1000, cpu * 1000 / view.requests,
                curl.secondsPerRequest * 1000, curl.cpuSecondsPerRequest * 1000,
                perRequest / curl.secondsPerRequest,
                cpu / view.requests / curl.cpuSecondsPerRequest);
        }
}

void idle() {
    Simulator sim({"--conversion-ms", "0", "--fault", "lock:stall:first=1,count=1"});
    CountingView view;
    const double cpu0 = cpuSeconds();
    const double elapsed = runCycle(sim.address(), 12, view, [] { return true; });
    const double cpu = cpuSeconds() - cpu0;
    std::printf(
        "idle: the lock page stalled; the pass took %.1f s (10 s transfer timeout) and used %.3f s "
        "of CPU\n",
        elapsed, cpu);
}

void memory(std::uint64_t total) {
    Simulator sim({"--conversion-ms", "0"});
    CountingView view;
    double atStart = 0, at1000 = 0;
    bool started = false;
    runCycle(sim.address(), 16, view, [&] {
        if (!started) {
            started = true;
            atStart = rssMiB();
        }
        if (at1000 == 0 && view.requests >= 1000) at1000 = rssMiB();
        return view.requests >= total;
    });
    const double atEnd = rssMiB();
    std::printf(
        "memory: RSS %.2f MiB after the first pass, %.2f MiB after 1,000 requests, %.2f MiB after "
        "%llu requests; growth from 1,000 on %.2f MiB\n",
        atStart, at1000, atEnd, static_cast<unsigned long long>(view.requests), atEnd - at1000);
}

// Logging on, the adapter answers; after 5 s it goes away for 10 s (the
// simulator process ends, so every connection is refused), then it comes back
// on the same port.
void outage() {
    auto sim = std::make_unique<Simulator>(QStringList{"--conversion-ms", "0"});
    const QString address = sim->address();
    const int port = address.section(u':', 1).toInt();
    QTemporaryDir dir;
    const SteadyClock steady;
    const SystemClock wall;
    LogControl log(steady, wall);
    if (log.start(dir.filePath(QStringLiteral("outage.log")))) qFatal("cannot open the log");

    enum { Before, Out, Back } phase = Before;
    qint64 outAt = 0, backAt = 0, goodAt = -1;
    double cpuAtOut = 0, cpuOut = 0;
    int recordsOut = 0;
    QString reason;
    QElapsedTimer clock;
    clock.start();
    // The adapter leaves 5 s after the start and returns 10 s later, whatever
    // the cycle is doing then.
    QTimer::singleShot(5'000, [&] {
        sim.reset();
        phase = Out;
        outAt = clock.elapsed();
        cpuAtOut = cpuSeconds();
    });
    QTimer::singleShot(15'000, [&] {
        cpuOut = cpuSeconds() - cpuAtOut;
        sim = std::make_unique<Simulator>(QStringList{"--conversion-ms", "0"}, port);
        phase = Back;
        backAt = clock.elapsed();
    });
    CountingView view;
    runCycle(address, 12, view, [&] {
        const bool good = !view.words.isEmpty() &&
                          view.words.count(QString::fromUtf16(kMissingWord)) < view.words.size();
        log.writeRecord(view.words, QLocale());
        if (phase == Out) ++recordsOut;
        if (phase == Out && view.failure) reason = *view.failure;
        if (phase == Back && good && goodAt < 0) goodAt = clock.elapsed();
        return phase == Back && goodAt >= 0;
    });
    std::printf(
        "outage: adapter gone for %.1f s: %d records written and %.3f s of CPU in that time "
        "(the logger alone; the adapter runs as another process); reason shown: %s; adapter back "
        "-> next good record after %.2f s\n",
        (backAt - outAt) / 1000.0, recordsOut, cpuOut, qPrintable(reason),
        (goodAt - backAt) / 1000.0);
}

struct SoakFigures {
    std::uint64_t requests = 0, passes = 0, failedPasses = 0, restarts = 0, faultsSet = 0;
    std::uint64_t readings = 0, zeros = 0, foreign = 0;
};

// The fault soak. The adapter runs in this process so that what it sent in a
// pass can be compared with what the logger made of it; timing is scaled down
// (transfer timeout 300 ms, "FFFF" bound 100 ms, back-off 20-200 ms) so that
// stalls, restarts and all-ones sensors cost little time.
int soak(std::uint64_t wantedRequests, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    auto chance = [&](double p) { return std::uniform_real_distribution<>(0, 1)(random) < p; };
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<std::uint64_t>(n)); };

    sim::Options o;
    o.conversionMs = 0;
    o.seed = seed;
    o.oversizeBytes = 1'200'000;
    o.recordLimit = 1'000'000;
    sim::Adapter sim(o);
    if (!sim.start()) qFatal("cannot start the simulated adapter");
    const int port = sim.port();
    const IdentifierTable ids = compiledRoster();

    QTemporaryDir dir;
    const QString logPath = dir.filePath(QStringLiteral("soak.log"));
    const SteadyClock steady;
    const SystemClock wall;
    LogControl log(steady, wall);
    if (log.start(logPath)) qFatal("cannot open the log");

    SoakFigures f;
    std::vector<double> rss;
    std::vector<int> fds;
    CountingView view;
    bool failed = false;
    auto check = [&](bool ok, const char* what) {
        if (!ok && !failed)
            std::printf("soak: FAILED: %s (pass %llu)\n", what,
                        static_cast<unsigned long long>(f.passes));
        failed = failed || !ok;
    };

    const auto done = [&] {
        ++f.passes;
        if (view.failure) ++f.failedPasses;
        log.writeRecord(view.words, QLocale());

        // Every reading is "0000" or a temperature word the adapter sent for
        // that sensor in this pass.
        std::map<QString, std::set<QString>> sent;
        const std::vector<sim::RequestRecord> requests = sim.requests();
        sim.clearRequests();
        f.requests += requests.size();
        for (const sim::RequestRecord& r : requests) {
            if (r.result.empty()) continue;
            const QUrlQuery query(QUrl(QString::fromStdString(r.target)).query());
            sent[query.queryItemValue("Address").toUpper()].insert(
                QString::fromStdString(r.result).mid(2, 4));
        }
        for (int i = 0; i < view.words.size(); ++i) {
            ++f.readings;
            if (view.words[i] == QStringView(kMissingWord)) {
                ++f.zeros;
                continue;
            }
            if (!sent[ids[i]].count(view.words[i])) ++f.foreign;
        }
        rss.push_back(rssMiB());
        fds.push_back(openDescriptors());

        // Faults for the next pass, at random.
        sim.clearFaults();
        sim.setRates(0, 0, 0);
        sim.setLowerCaseHex(false);
        using K = sim::PageKind;
        using F = sim::Fault;
        const K kinds[] = {K::Lock, K::Convert, K::Read, K::Release, K::Any};
        const F pageFaults[] = {F::Stall,  F::Drop,       F::Oversize,  F::MissingField,
                                F::BadCrc, F::ShortReply, F::LongReply, F::LowerCase};
        if (chance(0.5)) {
            for (int n = 1 + pick(3); n > 0; --n, ++f.faultsSet)
                sim.addFault({kinds[pick(5)], pageFaults[pick(8)], "", 1 + pick(12), 1 + pick(3)});
        }
        if (chance(0.1)) sim.setRates(0.05, 0.05, 0.05);
        if (chance(0.05)) sim.setLowerCaseHex(true);
        if (chance(0.05)) sim.addFault({K::Read, F::AllFF, ids[pick(12)].toStdString()});
        if (chance(0.02) && sim.running()) {
            // Unplugged for a moment: every connection refused until it is back.
            sim.stop();
            ++f.restarts;
            QTimer::singleShot(50 + pick(400), [&sim, port] {
                if (!sim.start("127.0.0.1", port)) qFatal("cannot restart the simulated adapter");
            });
        }
        if (f.passes % 500 == 0)
            std::fprintf(stderr, "soak: %llu requests, %llu passes\n",
                         static_cast<unsigned long long>(f.requests),
                         static_cast<unsigned long long>(f.passes));
        return f.requests >= wantedRequests;
    };
    QElapsedTimer t;
    t.start();
    const double elapsed = runCycle(QStringLiteral("127.0.0.1:%1").arg(port), 12, view, done,
                                    BrowserLimits{300, 1 << 20}, CycleTiming{100, 20, 20, 200});
    const std::int16_t counter = log.recordCounter();
    log.stop();

    // The log, line by line.
    QFile file(logPath);
    if (!file.open(QIODevice::ReadOnly)) qFatal("cannot read the log");
    const QList<QByteArray> lines = file.readAll().split('\n');
    const QRegularExpression record(
        QStringLiteral("^[^,]+, [0-9A-Fa-f]{4}( , [0-9A-Fa-f]{4}){11}\r$"));
    qsizetype good = 0;
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
        good += record.match(QString::fromUtf8(lines[i])).hasMatch();
    check(lines.last().isEmpty(), "the log ends with a whole line");
    check(good == lines.size() - 1, "every line of the log is a whole record");
    check(good == counter - 1, "records in the log = the counter");
    check(f.foreign == 0, "no reading the adapter did not send in that pass");

    const std::size_t tenth = std::max<std::size_t>(1, rss.size() / 10);
    auto mean = [&](const auto& v, std::size_t from, std::size_t n) {
        double sum = 0;
        for (std::size_t i = from; i < from + n; ++i) sum += v[i];
        return sum / static_cast<double>(n);
    };
    const double rssFirst = mean(rss, 0, tenth), rssLast = mean(rss, rss.size() - tenth, tenth);
    const double fdFirst = mean(fds, 0, tenth), fdLast = mean(fds, fds.size() - tenth, tenth);
    check(rssLast - rssFirst < 8.0, "resident memory flat (< 8 MiB growth)");
    check(fdLast - fdFirst < 4.0, "open descriptors flat");
    std::printf(
        "soak: seed %llu, %llu page requests in %llu passes, %.0f s; %llu failed passes, %llu "
        "restarts, %llu page faults set; %lld records in the log = counter %d - 1, all lines "
        "well-formed: %s; %llu readings, %llu of them 0000, %llu not sent by the adapter in that "
        "pass; RSS %.1f -> %.1f MiB, descriptors %.1f -> %.1f (mean of the first and last "
        "10%% of passes)\n",
        static_cast<unsigned long long>(seed), static_cast<unsigned long long>(f.requests),
        static_cast<unsigned long long>(f.passes), elapsed,
        static_cast<unsigned long long>(f.failedPasses),
        static_cast<unsigned long long>(f.restarts), static_cast<unsigned long long>(f.faultsSet),
        static_cast<long long>(good), counter, good == lines.size() - 1 ? "yes" : "no",
        static_cast<unsigned long long>(f.readings), static_cast<unsigned long long>(f.zeros),
        static_cast<unsigned long long>(f.foreign), rssFirst, rssLast, fdFirst, fdLast);
    std::printf("soak: %s\n", failed ? "FAILED" : "all checks passed");
    return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    if (mode.isEmpty() || mode == "throughput")
        throughput(args.value(1, "30").toDouble(), args.value(2, "0").toInt());
    if (mode.isEmpty() || mode == "idle") idle();
    if (mode.isEmpty() || mode == "memory") memory(args.value(1, "100000").toULongLong());
    if (mode == "outage") outage();
    if (mode == "soak")
        return soak(args.value(1, "100000").toULongLong(), args.value(2, "1").toULongLong());
    return 0;
}
