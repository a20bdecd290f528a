// What the logger costs its host: the real main window runs the cycle against
// the simulated adapter (a separate process, so only the logger is counted),
// logging on, and the CPU time of the whole process (all threads) is read
// over a stretch of passes after a warm-up.
//   bench_window [qt|curl] [SECONDS] [DELAY_MS ...]
// "qt" loads the pages with the Qt network browser instead of the program's
// own curl one, to compare the two.
// For each page delay (default: 15, a real adapter's pace, and 0, instant),
// 12 and 16 sensors, window shown and minimised. Run it on the offscreen
// platform and under Xvfb (xvfb-run -a bench_window) for the two figures.
// Prints passes, requests per pass, CPU seconds per pass and per request, the
// share of one core (without the benchmark's own look at the connections),
// and the TCP connections the run opened to the adapter.
#include <sys/resource.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "BenchDesktop.h"
#include "BenchProcesses.h"
#include "frmMain.h"

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Client ports of the TCP connections between this host and `port`, as the
// kernel lists them (established, closing or in TIME_WAIT).
void collectConnections(int port, QSet<int>& clientPorts) {
    QFile f(QStringLiteral("/proc/net/tcp"));
    if (!f.open(QIODevice::ReadOnly)) return;
    f.readLine();
    while (!f.atEnd()) {
        const QList<QByteArray> cols = f.readLine().simplified().split(' ');
        if (cols.size() < 3) continue;
        const int local = cols[1].split(':').value(1).toInt(nullptr, 16);
        const int remote = cols[2].split(':').value(1).toInt(nullptr, 16);
        if (remote == port) clientPorts.insert(local);
        if (local == port && remote != 0) clientPorts.insert(remote);
    }
}

struct LogCounts {
    qint64 requests = 0;
    qint64 locks = 0;
};

LogCounts countLog(const QString& path) {
    LogCounts c;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return c;
    while (!f.atEnd()) {
        const QByteArray line = f.readLine();
        ++c.requests;
        if (line.contains("GetLock")) ++c.locks;
    }
    return c;
}

void run(bool qtBrowser, double seconds, int delayMs, int sensors, bool minimised) {
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("requests.log"));
    tarnwick::bench::Simulator sim({"--delay-ms", QString::number(delayMs), "--log", log});
    tarnwick::bench::BenchDesktop desktop(dir.filePath(QStringLiteral("records.log")), qtBrowser);
    tarnwick::frmMain window(desktop.services(sim.address()));
    window.ChkSixteenSensors->setChecked(sensors == 16);

    QSet<int> connections;
    double cpu0 = 0;
    LogCounts log0;
    QElapsedTimer wall;
    const double warmUp = 3.0;
    QTimer ticker;
    ticker.setInterval(1000);
    int ticks = 0;
    double benchCpu = 0;  // the benchmark's own look at the connections, not counted
    auto lookAtConnections = [&] {
        const double before = cpuSeconds();
        collectConnections(sim.port(), connections);
        benchCpu += cpuSeconds() - before;
    };
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        lookAtConnections();
        if (window.logControl().flag() == 0) window.btnFileWrite->click();  // logging on
        if (minimised && !window.isMinimized()) window.showMinimized();
        if (++ticks == warmUp) {
            log0 = countLog(log);
            cpu0 = cpuSeconds();
            benchCpu = 0;
            wall.start();
        } else if (ticks > warmUp && wall.elapsed() >= seconds * 1000) {
            const double cpu = cpuSeconds() - cpu0 - benchCpu;
            const double elapsed = wall.elapsed() / 1000.0;
            const LogCounts log1 = countLog(log);
            const double passes = log1.locks - log0.locks;
            const double requests = log1.requests - log0.requests;
            lookAtConnections();
            std::printf(
                "%-4s %-9s delay %2d ms, %2d sensors, %-9s: %4.0f passes in %.1f s, %5.1f "
                "requests/pass; CPU %6.3f s = %5.2f%% of a core, %7.2f ms/pass, %5.3f "
                "ms/request; %lld TCP connections; %s records logged\n",
                qtBrowser ? "qt" : "curl", qPrintable(QGuiApplication::platformName()), delayMs,
                sensors, minimised ? "minimised" : "shown", passes, elapsed, requests / passes, cpu,
                100 * cpu / elapsed, 1000 * cpu / passes, 1000 * cpu / requests,
                static_cast<long long>(connections.size()), qPrintable(window.txtRecNum->text()));
            std::fflush(stdout);
            window.btnStop->click();
        }
    });
    ticker.start();
    window.Show();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    bool qtBrowser = false;
    if (!args.isEmpty() &&
        (args.first() == QLatin1String("qt") || args.first() == QLatin1String("curl")))
        qtBrowser = args.takeFirst() == QLatin1String("qt");
    const double seconds = args.value(0, QStringLiteral("20")).toDouble();
    QList<int> delays;
    for (const QString& d : args.mid(1)) delays << d.toInt();
    if (delays.isEmpty()) delays = {15, 0};
    for (int delay : delays)
        for (int sensors : {12, 16})
            for (bool minimised : {false, true}) run(qtBrowser, seconds, delay, sensors, minimised);
    return 0;
}
