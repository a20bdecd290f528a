// frmMain running its acquisition cycle against the simulated adapter, with
// the dialogs replaced, and a ticking script that plays the user.
#pragma once

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>
#include <deque>
#include <functional>

#include "MainServices.h"
#include "Seams.h"
#include "SimAdapter.h"
#include "frmMain.h"

namespace tarnwick::test {

struct ScriptedFileDialogs : tarnwick::FileDialogs {
    QString getOpenFileName(QWidget*, const QString& title, const QString& filter,
                            bool acceptNewName) override {
        ++shown;
        lastTitle = title;
        lastFilter = filter;
        lastAcceptNew = acceptNewName;
        if (answers.empty()) return QString();
        QString a = answers.front();
        answers.pop_front();
        return a;
    }
    std::deque<QString> answers;
    int shown = 0;
    QString lastTitle, lastFilter;
    bool lastAcceptNew = false;
};

struct RecordedMessageBoxes : tarnwick::MessageBoxes {
    void show(QWidget*, const QString& caption, const QString& text, Icon icon) override {
        shown.push_back({caption, text, icon});
        if (whileOpen) whileOpen();
    }
    struct Box {
        QString caption, text;
        Icon icon;
    };
    std::vector<Box> shown;
    std::function<void()> whileOpen;
};

struct MainWindowRig {
    tarnwick::sim::Adapter sim;
    frmMain window;
    ScriptedFileDialogs dialogs;
    RecordedMessageBoxes boxes;
    MainServices services;

    explicit MainWindowRig(tarnwick::sim::Options o = quickOptions()) : sim(o) {
        EXPECT_TRUE(sim.start());
        services.adapterAddress = QStringLiteral("127.0.0.1:%1").arg(sim.port());
        services.fileDialogs = &dialogs;
        services.messageBoxes = &boxes;
    }

    static tarnwick::sim::Options quickOptions() {
        tarnwick::sim::Options o;
        o.conversionMs = 0;
        return o;
    }

    // Shows the window (which runs the cycle) and calls `step` every few
    // milliseconds from inside the cycle's page waits until it returns true;
    // then closes the window. Fails the test if that takes over `limitMs`.
    void run(const std::function<bool()>& step, int limitMs = 15000) {
        window.setServices(services);
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
