// Figures for the acquisition cycle against the simulated adapter, which runs
// as a separate process so that only the logger's own work is counted:
//   throughput [seconds]   passes and page requests per second, 12 and 16
//                          sensors, and curl fetching the same URLs with
//                          keep-alive in one invocation, for the ratio
//   idle                   CPU time spent while the adapter stalls a page 10 s
//   memory [requests]      resident set size after 1,000 and after N requests
// With no mode given, all three run.
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
#include <functional>

#include "AcquisitionCycle.h"
#include "NetworkBrowser.h"
#include "PageUrl.h"

using namespace tarnwick;

namespace {

class Simulator {
  public:
    explicit Simulator(const QStringList& extra) {
        proc_.setProgram(QStringLiteral(TARNWICK_SIMADAPTER_PATH));
        proc_.setArguments(QStringList{"--host", "127.0.0.1", "--port", "0"} + extra);
        proc_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        proc_.start();
        if (!proc_.waitForStarted(5000)) qFatal("cannot start the simulated adapter");
        while (!proc_.canReadLine() && proc_.waitForReadyRead(5000)) {
        }
        const QString line = QString::fromUtf8(proc_.readLine()).trimmed();
        // "listening on http://127.0.0.1:PORT"
        address_ = line.section(QStringLiteral("http://"), 1);
        if (address_.isEmpty())
            qFatal("unexpected first line from the simulator: %s", qPrintable(line));
    }
    ~Simulator() {
        proc_.terminate();
        proc_.waitForFinished(5000);
    }
    const QString& address() const { return address_; }

  private:
    QProcess proc_;
    QString address_;
};

struct CountingView : CycleView {
    void showAddress(const QString&) override { ++requests; }
    void showPage(const QByteArray&) override {}
    void makeVisible() override {}
    void showSensor(int, const QString&) override {}
    void passCompleted(const QStringList&) override {
        ++passes;
        if (onPass) onPass();
    }
    std::uint64_t requests = 0;
    std::uint64_t passes = 0;
    std::function<void()> onPass;
};

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

// Runs passes until `done` says so; returns the elapsed seconds.
double runCycle(const QString& address, int sensors, CountingView& view,
                const std::function<bool()>& done, BrowserLimits limits = {}) {
    NetworkBrowser browser(limits);
    QtEventPump pump;
    SteadyClock clock;
    AcquisitionCycle cycle(browser, pump, clock, view);
    cycle.setAdapterAddress(address);
    cycle.setIdentifiers(compiledRoster());
    cycle.setActiveCount(static_cast<std::int16_t>(sensors));
    view.onPass = [&] {
        if (done()) cycle.stop();
    };
    QElapsedTimer t;
    t.start();
    cycle.run();
    return t.elapsed() / 1000.0;
}

// The URLs of one pass, as the cycle sends them (lock identifier fixed).
QStringList passUrls(const QString& address, int sensors) {
    const IdentifierTable ids = compiledRoster();
    QStringList urls{lockPageUrl(address)};
    for (int i = 0; i < sensors; ++i) urls << conversionPageUrl(address, ids[i], "1");
    for (int i = 0; i < sensors; ++i) urls << readPageUrl(address, ids[i], "1");
    urls << releasePageUrl(address, "1");
    return urls;
}

double curlSecondsPerRequest(const QString& address, int sensors, int requests) {
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("urls.cfg"));
    QFile f(config);
    if (!f.open(QIODevice::WriteOnly)) return -1;
    QTextStream out(&f);
    const QStringList pass = passUrls(address, sensors);
    for (int i = 0; i < requests; ++i)
        out << "url = \"" << pass[i % pass.size()] << "\"\noutput = \"/dev/null\"\n";
    out.flush();
    f.close();
    QProcess curl;
    QElapsedTimer t;
    t.start();
    curl.start(QStringLiteral("curl"), {"-s", "--config", config});
    if (!curl.waitForFinished(600'000) || curl.exitCode() != 0) return -1;
    return t.elapsed() / 1000.0 / requests;
}

void throughput(double seconds) {
    Simulator sim({"--conversion-ms", "0"});
    for (int sensors : {12, 16}) {
        CountingView view;
        QElapsedTimer t;
        t.start();
        const double elapsed =
            runCycle(sim.address(), sensors, view, [&] { return t.elapsed() >= seconds * 1000; });
        const double perRequest = elapsed / view.requests;
        const double curl = curlSecondsPerRequest(
            sim.address(), sensors,
            static_cast<int>(std::min<std::uint64_t>(view.requests, 200'000)));
        std::printf(
            "throughput %2d sensors: %llu passes, %llu requests in %.1f s = %.1f passes/s, %.0f "
            "requests/s, %.3f ms/request; curl keep-alive %.3f ms/request; ratio %.2f\n",
            sensors, static_cast<unsigned long long>(view.passes),
            static_cast<unsigned long long>(view.requests), elapsed, view.passes / elapsed,
            view.requests / elapsed, perRequest * 1000, curl * 1000, perRequest / curl);
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

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    if (mode.isEmpty() || mode == "throughput") throughput(args.value(1, "30").toDouble());
    if (mode.isEmpty() || mode == "idle") idle();
    if (mode.isEmpty() || mode == "memory") memory(args.value(1, "100000").toULongLong());
    return 0;
}
