// The main window's services for the benchmarks: a real page browser (the
// program's own, or the Qt Network one to compare), the real pump, clocks and
// printer dialog, an Open dialog that names the benchmark's log file, message
// boxes printed to standard error instead of shown and a settings store that
// keeps nothing (a benchmark's window placement must not land in the user's
// settings).
#pragma once

#include <cstdio>

#include "AlarmOutlets.h"
#include "CurlBrowser.h"
#include "HtmlField.h"
#include "MainServices.h"
#include "NetworkBrowser.h"
#include "QtEventPump.h"
#include "Seams.h"
#include "SteadyClock.h"
#include "SystemClock.h"

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

// The benchmarks' rosters raise no alarm; nothing would be shown anyway.
struct SilentNotifier : DesktopNotifier {
    void notify(const DesktopNotification&) override {}
};

// Answers every Open dialog with one file: the log file of a benchmark.
struct FixedFile : FileDialogs {
    explicit FixedFile(QString p) : path(std::move(p)) {}
    QString getOpenFileName(QWidget*, const QString&, const QString&) override { return path; }
    QString path;
};

// The program's browser with every field read from a whole parsed tree, as
// all pages were read before the streaming look-up: what that look-up saves.
struct WholeTreeBrowser : PageBrowser {
    explicit WholeTreeBrowser(PageBrowser& pages) : inner(pages) {}
    void navigate(const QString& url) override { inner.navigate(url); }
    int readyState() const override { return inner.readyState(); }
    std::optional<QString> fieldValue(const QString& name) const override {
        if (readyState() != kComplete) return std::nullopt;
        const QByteArray page = inner.pageSource();
        return page.isEmpty() ? std::nullopt : findFieldValueInTree(page, name);
    }
    QByteArray pageSource() const override { return inner.pageSource(); }
    std::optional<QString> failureReason() const override { return inner.failureReason(); }
    void stop() override { inner.stop(); }
    PageBrowser& inner;
};

// How the benchmark's window loads its pages: the program's browser, the Qt
// Network baseline, or the program's browser reading whole trees.
enum class Pages { Curl, Qt, CurlWholeTree };

// Answers every Open dialog with `logPath`.
struct BenchDesktop {
    // Hands every pass to `readingsPublisher` when given one.
    explicit BenchDesktop(const QString& logPath, Pages pages = Pages::Curl,
                          ReadingsPublisher* readingsPublisher = nullptr)
        : browser(pages == Pages::Qt              ? static_cast<PageBrowser&>(networkBrowser)
                  : pages == Pages::CurlWholeTree ? static_cast<PageBrowser&>(wholeTree)
                                                  : curlBrowser),
          fileDialogs(logPath),
          publisher(readingsPublisher ? *readingsPublisher : noPublisher) {}

    MainServices services(const QString& adapterAddress) {
        MainServices s = servicesOf(*this);
        s.settings.adapterAddress = adapterAddress;
        return s;
    }

    CurlBrowser curlBrowser;
    NetworkBrowser networkBrowser;
    WholeTreeBrowser wholeTree{curlBrowser};
    PageBrowser& browser;  // one of the three
    QtEventPump pump;
    SteadyClock clock;
    SystemClock wallClock;
    AlarmOutlets alarmOutlet;
    SilentNotifier desktopNotifier;
    NoPassObserver passObserver;
    FixedFile fileDialogs;
    QtPrinterDialogs printerDialogs;
    PrintedBoxes messageBoxes;
    DiscardedSettings settingsStore;
    QtProgramLauncher programLauncher;
    QtSystemInfoStore systemInfoStore;
    NoPublisher noPublisher;
    ReadingsPublisher& publisher;
};

}  // namespace tarnwick::bench
