// What several benchmarks run beside the program they measure: the simulated
// adapter as a process of its own (so that only the program's work is
// counted) and curl fetching the URLs of the same passes, the baseline.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

#include "PageUrl.h"
#include "Roster.h"

namespace tarnwick::bench {

// tarnwick-simadapter on loopback with `extra` options, on `port` (0: a free one).
class Simulator {
  public:
    explicit Simulator(const QStringList& extra, int port = 0) {
        proc_.setProgram(QStringLiteral(TARNWICK_SIMADAPTER_PATH));
        proc_.setArguments(QStringList{"--host", "127.0.0.1", "--port", QString::number(port)} +
                           extra);
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
    int port() const { return address_.section(u':', 1).toInt(); }

  private:
    QProcess proc_;
    QString address_;
};

// The URLs of one pass, as the cycle sends them (lock identifier fixed).
inline QStringList passUrls(const QString& address, int sensors) {
    const IdentifierTable ids = compiledRoster();
    QStringList urls{lockPageUrl(address)};
    for (int i = 0; i < sensors; ++i) urls << conversionPageUrl(address, ids[i], "1");
    for (int i = 0; i < sensors; ++i) urls << readPageUrl(address, ids[i], "1");
    urls << releasePageUrl(address, "1");
    return urls;
}

struct CurlFigures {
    double secondsPerRequest = -1;
    double cpuSecondsPerRequest = -1;
};

inline double childrenCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// curl fetching the same URLs over one kept connection: its wall time and,
// as the only child that ends meanwhile, its CPU time per request.
inline CurlFigures curlPerRequest(const QString& address, int sensors, int requests) {
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("urls.cfg"));
    QFile f(config);
    if (!f.open(QIODevice::WriteOnly)) return {};
    QTextStream out(&f);
    const QStringList pass = passUrls(address, sensors);
    for (int i = 0; i < requests; ++i)
        out << "url = \"" << pass[i % pass.size()] << "\"\noutput = \"/dev/null\"\n";
    out.flush();
    f.close();
    QProcess curl;
    QElapsedTimer t;
    const double cpu0 = childrenCpuSeconds();
    t.start();
    curl.start(QStringLiteral("curl"), {"-s", "--config", config});
    if (!curl.waitForFinished(600'000) || curl.exitCode() != 0) return {};
    return {t.elapsed() / 1000.0 / requests, (childrenCpuSeconds() - cpu0) / requests};
}

// CPU seconds process `pid` has used so far (all its threads).
inline double cpuSecondsOf(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return 0;
    // Fields after the command name, which ends with ')': state is field 3,
    // utime 14 and stime 15.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / sysconf(_SC_CLK_TCK);
}

// curl fetching the URLs of one pass after another over one kept connection
// from a simulated adapter of its own (the same options as the logger's),
// side by side with the program measured: the same stretch of time, so that
// whatever else loads the machine loads both. finish() gives its CPU time
// and the requests it made meanwhile.
class CurlAlongside {
  public:
    CurlAlongside(const QStringList& simulatorOptions, int sensors, int requests)
        : log_(dir_.filePath(QStringLiteral("curl-requests.log"))),
          sim_(simulatorOptions + QStringList{"--log", log_}) {
        const QString config = dir_.filePath(QStringLiteral("urls.cfg"));
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly)) qFatal("cannot write curl's configuration");
        QTextStream out(&f);
        const QStringList pass = passUrls(sim_.address(), sensors);
        for (int i = 0; i < requests; ++i)
            out << "url = \"" << pass[i % pass.size()] << "\"\noutput = \"/dev/null\"\n";
        out.flush();
        f.close();
        curl_.setProgram(QStringLiteral("curl"));
        curl_.setArguments({"-s", "--config", config});
        requestsBefore_ = requestsSoFar();
        curl_.start();
        if (!curl_.waitForStarted(5000)) qFatal("cannot start curl");
    }
    struct Figures {
        double cpuSeconds = 0;
        qint64 requests = 0;
    };
    // Ends curl (it must still be running) and says what it did.
    Figures finish() {
        if (curl_.state() != QProcess::Running) qFatal("curl ran out of URLs before the stretch ended");
        Figures f{cpuSecondsOf(curl_.processId()), requestsSoFar() - requestsBefore_};
        curl_.kill();
        curl_.waitForFinished(5000);
        return f;
    }

  private:
    qint64 requestsSoFar() const {
        QFile f(log_);
        return f.open(QIODevice::ReadOnly) ? f.readAll().count('\n') : 0;
    }
    QTemporaryDir dir_;
    QString log_;
    Simulator sim_;
    QProcess curl_;
    qint64 requestsBefore_ = 0;
};

}  // namespace tarnwick::bench
