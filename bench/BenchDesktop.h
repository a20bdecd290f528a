// The main window's services for the benchmarks: a real page browser (the
// program's own, or the Qt one to compare), the real pump,
// clocks and desktop dialogs, with message boxes printed to standard error
// instead of shown and a settings store that keeps nothing (a benchmark's
// window placement must not land in the user's settings).
#pragma once

#include <cstdio>

#include "CurlBrowser.h"
#include "MainServices.h"
#include "NetworkBrowser.h"
#include "QtEventPump.h"
#include "Seams.h"
#include "SteadyClock.h"

namespace tarnwick::bench {

struct PrintedBoxes : MessageBoxes {
    void show(QWidget*, const QString&, const QString& text, Icon) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
};

struct DiscardedSettings : SettingsStore {
    void saveSetting(const QString&, const QString&, const QString&, const QString&) override {}
    std::optional<QString> flush() override { return std::nullopt; }
};

// Answers every Open dialog with one file: the log file of a benchmark.
struct FixedFile : FileDialogs {
    explicit FixedFile(QString p) : path(std::move(p)) {}
    QString getOpenFileName(QWidget*, const QString&, const QString&, bool) override {
        return path;
    }
    QString path;
};

struct BenchDesktop {
    explicit BenchDesktop(bool qtBrowser = false) : qtBrowser_(qtBrowser) {}

    CurlBrowser curlBrowser;
    NetworkBrowser qtBrowser;
    QtEventPump pump;
    SteadyClock clock;
    QtFileDialogs fileDialogs;
    QtPrinterDialogs printerDialogs;
    PrintedBoxes messageBoxes;
    DiscardedSettings settingsStore;
    QtProgramLauncher programLauncher;
    QtSystemInfoStore systemInfoStore;

    // `dialogs` answers the Open dialogs; the real one when null.
    MainServices services(const QString& adapterAddress, FileDialogs* dialogs = nullptr) {
        PageBrowser& browser = qtBrowser_ ? static_cast<PageBrowser&>(qtBrowser) : curlBrowser;
        MainServices s{.browser = browser,
                       .pump = pump,
                       .clock = clock,
                       .localNow = [] { return QDateTime::currentDateTime(); },
                       .fileDialogs = dialogs != nullptr ? *dialogs : fileDialogs,
                       .printerDialogs = printerDialogs,
                       .messageBoxes = messageBoxes,
                       .settingsStore = settingsStore,
                       .programLauncher = programLauncher,
                       .systemInfoStore = systemInfoStore};
        s.adapterAddress = adapterAddress;
        return s;
    }

  private:
    bool qtBrowser_;
};

}  // namespace tarnwick::bench
