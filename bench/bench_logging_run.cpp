// Logging as people who leave the logger running would put it to the test,
// with the real main window (offscreen) against the simulated adapter:
//   soak [passes]   logging on for that many passes (10,000 by default), then
//                   the log checked line by line against the record counter
//   kill            the logger is killed with SIGKILL while it logs; every
//                   record it had counted must be in the file, whole
#include <signal.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "BenchDesktop.h"
#include "SimAdapter.h"
#include "frmMain.h"

namespace {

// Runs the window with logging to `path` until `done` says to stop; `onRecord`
// hears each number shown in "Records Written".
void runLogging(const QString& path, const std::function<bool(int)>& onRecord) {
    tarnwick::sim::Options o;
    o.conversionMs = 0;
    tarnwick::sim::Adapter sim(o);
    if (!sim.start()) qFatal("cannot start the simulated adapter");
    tarnwick::bench::BenchDesktop desktop(path);
    tarnwick::frmMain window(desktop.services(QStringLiteral("127.0.0.1:%1").arg(sim.port())));
    QString lastShown;
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (window.logControl().flag() == 0 && lastShown.isEmpty()) window.btnFileWrite->click();
        const QString shown = window.txtRecNum->text();
        if (shown != lastShown) {
            lastShown = shown;
            if (onRecord(shown.toInt())) window.btnStop->click();
        }
    });
    ticker.start();
    window.Show();
}

// Number of well-formed lines, or -1 with a message at the first bad one.
int checkLog(const QString& path, int wordsPerLine) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray all = f.readAll();
    if (!all.isEmpty() && !all.endsWith("\r\n")) {
        std::printf("the file ends inside a record\n");
        return -1;
    }
    static const QRegularExpression word(QStringLiteral("^[0-9A-F]{4}$"));
    int n = 0;
    for (const QByteArray& raw : all.split('\n')) {
        if (raw.isEmpty()) continue;
        const QString line = QString::fromUtf8(raw);
        const QStringList words = line.section(QStringLiteral(", "), 1).chopped(1).split(" , ");
        bool ok = line.endsWith('\r') && words.size() == wordsPerLine;
        for (const QString& w : words) ok = ok && word.match(w).hasMatch();
        if (!ok) {
            std::printf("bad line %d: %s\n", n + 1, qPrintable(line));
            return -1;
        }
        ++n;
    }
    return n;
}

int soak(int passes) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("soak.log"));
    int last = 0;
    QElapsedTimer t;
    t.start();
    runLogging(path, [&](int shown) {
        last = shown;
        return shown >= passes;
    });
    const double s = t.elapsed() / 1000.0;
    const int lines = checkLog(path, 12);
    std::printf(
        "soak: %d passes logged in %.1f s (%.0f passes/s); %d well-formed lines, counter %d: %s\n",
        last, s, last / s, lines, last, lines == last ? "OK" : "MISMATCH");
    return lines == last ? 0 : 1;
}

int child(const QString& path) {
    runLogging(path, [](int shown) {
        std::printf("counted %d\n", shown);
        std::fflush(stdout);
        return false;
    });
    return 0;
}

int kill(const QString& self) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("killed.log"));
    int failures = 0;
    for (int round = 0; round < 5; ++round) {
        QFile::remove(path);
        QProcess p;
        p.start(self, {QStringLiteral("child"), path});
        int counted = 0;
        QElapsedTimer t;
        t.start();
        const int killAt = 1000 + QRandomGenerator::global()->bounded(2000);
        while (t.elapsed() < killAt) {
            p.waitForReadyRead(20);
            while (p.canReadLine()) {
                const QByteArray l = p.readLine().trimmed();
                if (l.startsWith("counted ")) counted = l.mid(8).toInt();
            }
        }
        ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
        p.waitForFinished(5000);
        while (p.canReadLine()) {
            const QByteArray l = p.readLine().trimmed();
            if (l.startsWith("counted ")) counted = l.mid(8).toInt();
        }
        const int lines = checkLog(path, 12);
        const bool ok = lines >= counted && counted > 0;
        failures += ok ? 0 : 1;
        std::printf(
            "kill round %d: SIGKILL after %d ms; %d records counted, %d whole lines in the file: "
            "%s\n",
            round + 1, killAt, counted, lines, ok ? "OK" : "LOST");
    }
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList args = app.arguments();
    const QString mode = args.value(1, QStringLiteral("soak"));
    if (mode == "soak") return soak(args.value(2, QStringLiteral("10000")).toInt());
    if (mode == "child") return child(args.value(2));
    if (mode == "kill") return kill(app.applicationFilePath());
    std::fprintf(stderr, "usage: %s soak [passes] | kill\n", argv[0]);
    return 2;
}
