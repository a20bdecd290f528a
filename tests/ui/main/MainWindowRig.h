// frmMain running its acquisition cycle against the simulated adapter, with
// the desktop faked, and a ticking script that plays the user.
#pragma once

#include <gtest/gtest.h>

#include <QElapsedTimer>
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

    explicit MainWindowRig(tarnwick::sim::Options o = quickOptions(), CycleTiming timing = {})
        : sim(o),
          simStarted(sim.start()),
          services(
              withTiming(desktop.services(QStringLiteral("127.0.0.1:%1").arg(sim.port())), timing)),
          window(services) {
        EXPECT_TRUE(simStarted);
    }

    static MainServices withTiming(MainServices s, CycleTiming timing) {
        s.timing = timing;
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

    int requestCount() const { return static_cast<int>(sim.requests().size()); }

    QStringList targets() const {
        QStringList out;
        for (const auto& r : sim.requests()) out << QString::fromStdString(r.target);
        return out;
    }
};

}  // namespace tarnwick::test
