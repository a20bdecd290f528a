// The main window's services for tests: the program's own page browser, pump
// and steady clock (the cycle runs against the simulated adapter), a wall
// clock the test sets, and recording fakes for everything that would reach
// the desktop.
#pragma once

#include <deque>
#include <functional>
#include <ostream>
#include <vector>

#include "../../FakeClocks.h"
#include "AlarmOutlets.h"
#include "CurlBrowser.h"
#include "MainServices.h"
#include "QtEventPump.h"
#include "Seams.h"
#include "SteadyClock.h"

namespace tarnwick::test {

// Answers each Open dialog with the next queued name; a cancel (empty name)
// when none is left.
struct FakeFileDialogs : FileDialogs {
    QString getOpenFileName(QWidget*, const QString& title, const QString& filter) override {
        ++shown;
        lastTitle = title;
        lastFilter = filter;
        if (answers.empty()) return QString();
        QString a = answers.front();
        answers.pop_front();
        return a;
    }
    std::deque<QString> answers;
    int shown = 0;
    QString lastTitle, lastFilter;
};

struct RecordingPrinterDialogs : PrinterDialogs {
    bool showPageSetup(QWidget*, const QString& title) override {
        titles.push_back(title);
        if (whileOpen) whileOpen();
        return false;
    }
    std::vector<QString> titles;
    std::function<void()> whileOpen;
};

struct RecordingMessageBoxes : MessageBoxes {
    void show(QWidget* parent, const QString& caption, const QString& text, Icon icon) override {
        shown.push_back({parent, caption, text, icon});
        if (whileOpen) whileOpen();
        if (passTo != nullptr) passTo->show(parent, caption, text, icon);
    }
    struct Box {
        QWidget* parent;
        QString caption, text;
        Icon icon;
    };
    std::vector<Box> shown;
    std::function<void()> whileOpen;
    // Shows the box for real as well.
    MessageBoxes* passTo = nullptr;
};

struct RecordingSettingsStore : SettingsStore {
    void saveSetting(const QString& application, const QString& section, const QString& key,
                     const QString& value) override {
        saved.push_back({application, section, key, value});
        if (whileSaving) whileSaving();
        if (passTo != nullptr) passTo->saveSetting(application, section, key, value);
    }
    std::optional<QString> flush() override {
        ++flushes;
        if (passTo != nullptr) return passTo->flush();
        return failure;
    }
    struct Setting {
        QString application, section, key, value;
    };
    std::vector<Setting> saved;
    int flushes = 0;
    std::optional<QString> failure;
    std::function<void()> whileSaving;
    // Writes through to a real store as well.
    SettingsStore* passTo = nullptr;
};

struct RecordingProgramLauncher : ProgramLauncher {
    std::optional<QString> startDetached(const QString& program,
                                         const QStringList& arguments) override {
        started.push_back({program, arguments});
        return failure;
    }
    struct Start {
        QString program;
        QStringList arguments;
    };
    std::vector<Start> started;
    std::optional<QString> failure;
};

// A machine without the system-information store.
struct EmptySystemInfoStore : SystemInfoStore {
    std::optional<Value> queryValue(const QString&, const QString&) override { return {}; }
};

// Keeps every pass it is handed, and the failure listener, which a test calls
// as the broker would; passes both on to a real publisher when given one.
struct RecordingPublisher : ReadingsPublisher {
    void publish(const SensorRoster& roster, const QStringList& words) override {
        passes.push_back({roster.sensors(), words});
        if (passTo != nullptr) passTo->publish(roster, words);
    }
    void setFailureListener(FailureListener l) override {
        listener = l;
        if (passTo != nullptr) passTo->setFailureListener(std::move(l));
    }
    void passOnTo(ReadingsPublisher& real) {
        passTo = &real;
        real.setFailureListener(listener);
    }
    struct Pass {
        std::vector<RosterSensor> sensors;
        QStringList words;
    };
    std::vector<Pass> passes;
    FailureListener listener;

  private:
    ReadingsPublisher* passTo = nullptr;
};

// The program's browser, with a look at each address it is sent to, before
// the request starts.
struct WatchedBrowser : PageBrowser {
    explicit WatchedBrowser(PageBrowser& inner) : inner(inner) {}
    void navigate(const QString& url) override {
        if (onNavigate) onNavigate(url);
        inner.navigate(url);
    }
    int readyState() const override { return inner.readyState(); }
    std::optional<QString> fieldValue(const QString& name) const override {
        return inner.fieldValue(name);
    }
    QByteArray pageSource() const override { return inner.pageSource(); }
    std::optional<QString> failureReason() const override { return inner.failureReason(); }
    void stop() override { inner.stop(); }

    PageBrowser& inner;
    std::function<void(const QString& url)> onNavigate;
};

// Keeps every notification the window gives the desktop.
struct RecordingDesktopNotifier : DesktopNotifier {
    void notify(const DesktopNotification& notification) override {
        notified.push_back(notification);
    }
    std::vector<DesktopNotification> notified;
};

struct FakeDesktop {
    CurlBrowser curl;
    WatchedBrowser browser{curl};
    QtEventPump pump;
    SteadyClock clock;
    // The local time of log records and the status bar: 7 Dec 2026 07:12:49
    // until a test sets it.
    FakeWallClock wallClock;
    FakeFileDialogs fileDialogs;
    RecordingPrinterDialogs printerDialogs;
    RecordingMessageBoxes messageBoxes;
    RecordingSettingsStore settingsStore;
    RecordingProgramLauncher programLauncher;
    EmptySystemInfoStore systemInfoStore;
    RecordingPublisher publisher;
    AlarmOutlets alarmOutlet;
    RecordingDesktopNotifier desktopNotifier;
    NoPassObserver passObserver;

    MainServices services(const QString& adapterAddress = compiledAdapterAddress()) {
        MainServices s = servicesOf(*this);
        s.settings.adapterAddress = adapterAddress;
        return s;
    }
};

}  // namespace tarnwick::test

namespace tarnwick {
inline void PrintTo(const DesktopNotification& n, std::ostream* os) {
    *os << '{' << n.summary.toStdString() << " | " << n.body.toStdString() << " | "
        << (n.urgency == DesktopNotification::Urgency::Critical ? "critical" : "normal") << '}';
}
}  // namespace tarnwick
