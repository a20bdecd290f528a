// Everything the main window reaches outside itself: the adapter and its
// sensors, the page browser, the event pump, the clocks, the dialogs, the
// message boxes, the settings store, the program launcher, the
// system-information store and whoever publishes the readings. The program
// composes the real ones once (makeRealServices() in src/app); tests hand in
// fakes. The window keeps references: every service outlives it.
#pragma once

#include "AcquisitionCycle.h"
#include "Clock.h"
#include "EventPump.h"
#include "LogControl.h"
#include "PageBrowser.h"
#include "ReadingsPublisher.h"
#include "Roster.h"
#include "Seams.h"
#include "SensorRoster.h"
#include "WallClock.h"

namespace tarnwick {

struct MainServices {
    PageBrowser& browser;
    EventPump& pump;
    // Steady time for the cycle's waits and the log's syncs.
    const Clock& clock;
    // The local date and time of the log records and the status bar.
    const WallClock& wallClock;
    FileDialogs& fileDialogs;
    PrinterDialogs& printerDialogs;
    MessageBoxes& messageBoxes;
    SettingsStore& settingsStore;
    ProgramLauncher& programLauncher;
    SystemInfoStore& systemInfoStore;
    // Hears every pass (a broker publisher, or NoPublisher).
    ReadingsPublisher& publisher;

    QString adapterAddress = compiledAdapterAddress();
    SensorRoster roster = {};
    // Logging starts into this file at load, as if Start Logging had been
    // pressed and the file chosen (--log); empty: logging starts off.
    QString logFile = {};
    qint64 syncIntervalMs = LogControl::kSyncIntervalMs;
    CycleTiming timing = {};
    // The application's help file: none in this build.
    QString helpFile = {};
};

// The services `parts` holds in members named as above (the program's
// RealServices, a test's or a benchmark's desktop).
template <typename Parts>
MainServices servicesOf(Parts& parts) {
    return {.browser = parts.browser,
            .pump = parts.pump,
            .clock = parts.clock,
            .wallClock = parts.wallClock,
            .fileDialogs = parts.fileDialogs,
            .printerDialogs = parts.printerDialogs,
            .messageBoxes = parts.messageBoxes,
            .settingsStore = parts.settingsStore,
            .programLauncher = parts.programLauncher,
            .systemInfoStore = parts.systemInfoStore,
            .publisher = parts.publisher};
}

}  // namespace tarnwick
