// Everything the main window reaches outside itself: the run's settings (the
// adapter, its sensors, the log), the page browser, the event pump, the
// clocks, the dialogs, the message boxes, the settings store, the program
// launcher, the system-information store, whoever publishes the readings or
// hears of alarms, and the desktop's notifications.
// The program composes the real ones once (RealServices in src/app, on the
// services both fronts share); tests hand in fakes. The window keeps
// references: every service outlives it.
#pragma once

#include "AcquisitionCycle.h"
#include "AlarmEvent.h"
#include "Clock.h"
#include "EventPump.h"
#include "PageBrowser.h"
#include "PassObserver.h"
#include "ReadingsPublisher.h"
#include "RunSettings.h"
#include "Seams.h"
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
    // Hears every alarm's change (the broker, the user's command).
    AlarmOutlet& alarmOutlet;
    // Tells the desktop of each alarm's change (unless settings.notifications
    // is off).
    DesktopNotifier& desktopNotifier;
    // Follows each pass (the metrics, or NoPassObserver).
    PassObserver& passObserver;

    // The adapter, the roster, the sync interval; a log file named there is
    // logged into from load, as if Start Logging had been pressed and the
    // file chosen (--log).
    RunSettings settings = {};
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
            .publisher = parts.publisher,
            .alarmOutlet = parts.alarmOutlet,
            .desktopNotifier = parts.desktopNotifier,
            .passObserver = parts.passObserver};
}

}  // namespace tarnwick
