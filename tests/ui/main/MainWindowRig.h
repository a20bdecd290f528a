// frmMain running its acquisition cycle against the simulated adapter, with
// the desktop faked, and a ticking script that plays the user.
#pragma once

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QTimer>
#include <functional>

#include "FakeDesktop.h"
#include "SimAdapter.h"
#include "frmMain.h"

namespace tarnwick::test {

struct MainWindowRig {
    tarnwick::sim::Adapter sim;
    bool simStarted;
    FakeDesktop desktop;
    FakeFileDialogs& dialogs = desktop.fileDialogs;
    RecordingMessageBoxes& boxes = desktop.messageBoxes;
    MainServices services;
    frmMain window;

    // `logFile`: the program started with --log; `notifications` false: with
    // --notifications off.
    explicit MainWindowRig(tarnwick::sim::Options o = quickOptions(), CycleTiming timing = {},
                           SensorRoster roster = {}, const QString& logFile = {},
                           bool notifications = true)
        : sim(o),
          simStarted(sim.start()),
          services(tuned(desktop.services(QStringLiteral("127.0.0.1:%1").arg(sim.port())), timing,
                         std::move(roster), logFile, notifications)),
          window(services) {
        EXPECT_TRUE(simStarted);
    }

    static MainServices tuned(MainServices s, CycleTiming timing, SensorRoster roster,
                              const QString& logFile, bool notifications) {
        s.settings.timing = timing;
        s.settings.notifications = notifications;
        s.settings.roster = std::move(roster);
        s.settings.logFile = logFile;
        return s;
    }

    // Sensors that convert at once, pages answered after 1 ms: a pass takes
    // a few dozen milliseconds, long enough for a script's tick to see each
    // record number (an adapter that answers at once runs hundreds of passes
    // a second).
    static tarnwick::sim::Options quickOptions() {
        tarnwick::sim::Options o;
        o.conversionMs = 0;
        o.requestDelayMs = 1;
        return o;
    }

    // Shows the window (which runs the cycle) and calls `step` every few
    // milliseconds from inside the cycle's page waits until it returns true;
    // then closes the window. Fails the test if that takes over `limitMs`.
    void run(const std::function<bool()>& step, int limitMs = 15000) {
        QElapsedTimer clock;
        clock.start();
        QTimer ticker;
        ticker.setInterval(2);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            if (window.isUnloaded()) return;
            if (clock.elapsed() > limitMs) {
                ADD_FAILURE() << "script did not finish in " << limitMs << " ms";
                window.close();
            } else if (step()) {
                window.close();
            }
        });
        ticker.start();
        window.Show();
        ticker.stop();
    }

    // Sensors held at 25.0625 C, which they send as "9101".
    static tarnwick::sim::Options steadyTemperatures() {
        tarnwick::sim::Options o = quickOptions();
        for (const std::string& id : tarnwick::sim::rosterIds()) o.temperatureC[id] = 25.0625;
        return o;
    }

    int requestCount() const { return static_cast<int>(sim.requests().size()); }

    // Once the request under way at the end has reached the adapter, no other follows.
    void expectNoMoreRequests() const {
        QTest::qWait(50);
        const int settled = requestCount();
        QTest::qWait(150);
        EXPECT_EQ(requestCount(), settled) << "a page was requested after the window was unloaded";
    }

    QStringList targets() const {
        QStringList out;
        for (const auto& r : sim.requests()) out << QString::fromStdString(r.target);
        return out;
    }
};

// The lines of a log file, each ended by CR LF.
inline QStringList readLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray all = f.readAll();
    QStringList lines = QString::fromUtf8(all).split(QStringLiteral("\r\n"));
    EXPECT_TRUE(lines.last().isEmpty()) << "the file ends with CR LF";
    lines.removeLast();
    return lines;
}

}  // namespace tarnwick::test
