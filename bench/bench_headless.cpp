// What the headless logger costs a small always-on machine. The logger
// (tarnwick-headless, as the service runs it) and the simulated adapter run as
// processes of their own; over a stretch of passes after a warm-up, the
// logger's CPU time and resident memory are read from /proc, beside curl
// fetching the same URLs over one kept connection. Then what its log costs
// the storage in a day: bytes written (record size times passes) and syncs
// (fdatasync calls counted with strace attached, when strace is installed).
//   bench_headless [SECONDS] [DELAY_MS]     (default: 60 s, 15 ms pages)
// For 12 sensors (the compiled-in roster) and 16 (a roster file of 16).
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>

#include "BenchProcesses.h"

namespace {

using tarnwick::bench::cpuSecondsOf;
using tarnwick::bench::Simulator;

// A line of /proc/PID/status in MiB ("VmRSS", "VmHWM").
double statusMiB(qint64 pid, const char* key) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key)) return line.simplified().split(' ').value(1).toDouble() / 1024;
    return 0;
}

qint64 linesIn(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
}

void pause(QProcess& running, int ms) { running.waitForFinished(ms); }

void run(double seconds, int delayMs, int sensors) {
    QTemporaryDir dir;
    const QString requests = dir.filePath(QStringLiteral("requests.log"));
    const QString log = dir.filePath(QStringLiteral("tarnwick.log"));
    Simulator sim({"--delay-ms", QString::number(delayMs), "--log", requests});

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "NOTIFY_SOCKET", "WATCHDOG_USEC"})
        environment.remove(QString::fromLatin1(name));
    if (sensors == 16) {
        const QString roster = dir.filePath(QStringLiteral("roster.conf"));
        QFile file(roster);
        if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write the roster");
        for (const QString& id : tarnwick::compiledRoster())
            if (!id.isEmpty()) file.write(id.toLatin1() + "\n");
        environment.insert(QStringLiteral("TARNWICK_ROSTER"), roster);
    }
    QProcess logger;
    logger.setProcessEnvironment(environment);
    logger.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    logger.start(QStringLiteral(TARNWICK_HEADLESS_PATH),
                 {"--log", log, "--adapter", sim.address()});
    if (!logger.waitForStarted(5000)) qFatal("cannot start the headless logger");
    const qint64 pid = logger.processId();

    pause(logger, 3000);  // warm-up
    const double cpu0 = cpuSecondsOf(pid);
    const qint64 records0 = linesIn(log);
    const qint64 requests0 = linesIn(requests);
    QElapsedTimer wall;
    wall.start();
    pause(logger, static_cast<int>(seconds * 1000));
    const double elapsed = wall.elapsed() / 1000.0;
    const double cpu = cpuSecondsOf(pid) - cpu0;
    const double passes = static_cast<double>(linesIn(log) - records0);
    const double pageRequests = static_cast<double>(linesIn(requests) - requests0);
    const double rss = statusMiB(pid, "VmRSS");
    const double peak = statusMiB(pid, "VmHWM");

    // Syncs: fdatasync calls over a stretch, strace attached.
    double syncsPerDay = -1;
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (!strace.isEmpty()) {
        const QString trace = dir.filePath(QStringLiteral("syncs.txt"));
        QProcess tracer;
        tracer.start(strace,
                     {"-qq", "-e", "trace=fdatasync", "-o", trace, "-p", QString::number(pid)});
        tracer.waitForStarted(5000);
        QElapsedTimer traced;
        traced.start();
        pause(logger, static_cast<int>(seconds * 1000));
        tracer.terminate();
        tracer.waitForFinished(5000);
        syncsPerDay = linesIn(trace) * 86400.0 / (traced.elapsed() / 1000.0);
    }
    const double recordBytes = static_cast<double>(QFileInfo(log).size()) / linesIn(log);
    logger.terminate();
    logger.waitForFinished(10000);

    const tarnwick::bench::CurlFigures curl =
        tarnwick::bench::curlPerRequest(sim.address(), sensors, 2000);
    std::printf(
        "headless %2d ms pages, %2d sensors: %.0f passes in %.1f s (%.2f passes/s), %.1f "
        "requests/pass; CPU %.3f s = %.2f%% of a core, %.2f ms/pass, %.3f ms/request; curl %.3f "
        "ms/request (logger/curl %.2f); RSS %.1f MiB (peak %.1f MiB)\n",
        delayMs, sensors, passes, elapsed, passes / elapsed, pageRequests / passes, cpu,
        100 * cpu / elapsed, 1000 * cpu / passes, 1000 * cpu / pageRequests,
        1000 * curl.cpuSecondsPerRequest, cpu / pageRequests / curl.cpuSecondsPerRequest, rss,
        peak);
    std::printf(
        "  log: %.0f bytes/record, %.0f records/day = %.1f MB/day (%.2f GB/year); syncs/day: "
        "%s\n",
        recordBytes, passes / elapsed * 86400, recordBytes * passes / elapsed * 86400 / 1e6,
        recordBytes * passes / elapsed * 86400 * 365 / 1e9,
        syncsPerDay < 0 ? "n/a (no strace)" : qPrintable(QString::number(syncsPerDay, 'f', 0)));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const double seconds = args.value(0, QStringLiteral("60")).toDouble();
    const int delayMs = args.value(1, QStringLiteral("15")).toInt();
    for (int sensors : {12, 16}) run(seconds, delayMs, sensors);
    return 0;
}
