// What the logger costs its host: the real main window runs the cycle against
// the simulated adapter (a separate process, so only the logger is counted),
// logging on, and the CPU time of the whole process (all threads) is read
// over a stretch of passes after a warm-up.
//   bench_window [qt|curl|tree] [repaint=MS] [SECONDS] [DELAY_MS ...]
// "qt" loads the pages with the Qt network browser instead of the program's
// own curl one, to compare the two; "tree" reads every field from a whole
// parsed tree instead of the streaming look-up, and "repaint=MS" paints what
// the cycle writes at most every MS instead of the window's own interval: the
// figures of each step the program took towards its pace.
// For each page delay (default: 15, a real adapter's pace, and 0, instant),
// 12 and 16 sensors, window shown and minimised. Run it on the offscreen
// platform and under Xvfb (xvfb-run -a bench_window) for the two figures.
// Prints passes, requests per pass, CPU seconds per pass and per request, the
// share of one core (without the benchmark's own look at the connections),
// then curl's CPU for as many requests (curl fetching the URLs of the same
// passes over one kept connection from an adapter of its own with the same
// page delay, side by side over the same stretch) and the ratio of the two,
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
#include <memory>

#include "BenchDesktop.h"
#include "BenchProcesses.h"
#include "RepaintThrottle.h"
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

void run(tarnwick::bench::Pages pages, int repaintMs, double seconds, int delayMs, int sensors,
         bool minimised) {
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("requests.log"));
    const QStringList simOptions{"--delay-ms", QString::number(delayMs)};
    tarnwick::bench::Simulator sim(simOptions + QStringList{"--log", log});
    std::unique_ptr<tarnwick::bench::CurlAlongside> curl;
    tarnwick::bench::CurlAlongside::Figures curlFigures;
    tarnwick::bench::BenchDesktop desktop(dir.filePath(QStringLiteral("records.log")), pages);
    tarnwick::frmMain window(desktop.services(sim.address()));
    if (repaintMs > 0)
        window.findChild<tarnwick::RepaintThrottle*>()->setInterval(
            std::chrono::milliseconds(repaintMs));
    window.ChkSixteenSensors->setChecked(sensors == 16);

    QSet<int> connections;
    struct {
        double cpu = 0, elapsed = 0, passes = 0, requests = 0;
        QString records;
    } figures;
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
            // More URLs than curl can fetch in the stretch.
            const double perSecond = delayMs > 0 ? 1000.0 / delayMs + 10 : 5000;
            curl = std::make_unique<tarnwick::bench::CurlAlongside>(
                simOptions, sensors, static_cast<int>((seconds + 2) * perSecond));
            log0 = countLog(log);
            cpu0 = cpuSeconds();
            benchCpu = 0;
            wall.start();
        } else if (ticks > warmUp && wall.elapsed() >= seconds * 1000) {
            figures.cpu = cpuSeconds() - cpu0 - benchCpu;
            curlFigures = curl->finish();
            figures.elapsed = wall.elapsed() / 1000.0;
            const LogCounts log1 = countLog(log);
            figures.passes = static_cast<double>(log1.locks - log0.locks);
            figures.requests = static_cast<double>(log1.requests - log0.requests);
            lookAtConnections();
            figures.records = window.txtRecNum->text();
            window.btnStop->click();
        }
    });
    ticker.start();
    window.Show();

    // curl on the same URL sequence, one request after another over one kept
    // connection, from an adapter of its own at the same pace, over the same
    // stretch: its CPU for as many requests as the logger made.
    const double curlCpu =
        curlFigures.cpuSeconds / static_cast<double>(curlFigures.requests) * figures.requests;
    std::printf(
        "%-4s %-9s %s delay %2d ms, %2d sensors, %-9s: %4.0f passes in %.1f s, %5.1f "
        "requests/pass; CPU %6.3f s = %5.2f%% of a core, %7.2f ms/pass, %5.3f "
        "ms/request; curl %6.3f s for as many requests (%.3f ms/request); logger/curl %.2f; "
        "%lld TCP connections; %s records logged\n",
        pages == tarnwick::bench::Pages::Qt              ? "qt"
        : pages == tarnwick::bench::Pages::CurlWholeTree ? "tree"
                                                         : "curl",
        qPrintable(QGuiApplication::platformName()),
        qPrintable(repaintMs > 0 ? QStringLiteral("repaint %1 ms").arg(repaintMs)
                                 : QStringLiteral("repaint default")),
        delayMs, sensors, minimised ? "minimised" : "shown", figures.passes, figures.elapsed,
        figures.requests / figures.passes, figures.cpu, 100 * figures.cpu / figures.elapsed,
        1000 * figures.cpu / figures.passes, 1000 * figures.cpu / figures.requests, curlCpu,
        1000 * curlCpu / figures.requests, figures.cpu / curlCpu,
        static_cast<long long>(connections.size()), qPrintable(figures.records));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    tarnwick::bench::Pages pages = tarnwick::bench::Pages::Curl;
    if (!args.isEmpty() && args.first() == QLatin1String("qt")) {
        pages = tarnwick::bench::Pages::Qt;
        args.removeFirst();
    } else if (!args.isEmpty() && args.first() == QLatin1String("tree")) {
        pages = tarnwick::bench::Pages::CurlWholeTree;
        args.removeFirst();
    } else if (!args.isEmpty() && args.first() == QLatin1String("curl")) {
        args.removeFirst();
    }
    int repaintMs = 0;
    if (!args.isEmpty() && args.first().startsWith(QLatin1String("repaint=")))
        repaintMs = args.takeFirst().mid(8).toInt();
    const double seconds = args.value(0, QStringLiteral("20")).toDouble();
    QList<int> delays;
    for (const QString& d : args.mid(1)) delays << d.toInt();
    if (delays.isEmpty()) delays = {15, 0};
    for (int delay : delays)
        for (int sensors : {12, 16})
            for (bool minimised : {false, true})
                run(pages, repaintMs, seconds, delay, sensors, minimised);
    return 0;
}
