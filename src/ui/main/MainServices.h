// Everything the main window reaches outside itself: the adapter and its
// sensors, the page browser, the event pump, the clocks, the dialogs, the
// message boxes, the settings store, the program launcher and the
// system-information store. The program
// composes the real ones once (makeRealServices() in src/app); tests hand in
// fakes. The window keeps references: every service outlives it.
#pragma once

#include <QDateTime>
#include <functional>

#include "AcquisitionCycle.h"
#include "PageBrowser.h"
#include "Roster.h"
#include "Seams.h"

namespace tarnwick {

struct MainServices {
    PageBrowser& browser;
    EventPump& pump;
    Clock& clock;
    // The local date and time that log records carry.
    std::function<QDateTime()> localNow;
    FileDialogs& fileDialogs;
    PrinterDialogs& printerDialogs;
    MessageBoxes& messageBoxes;
    SettingsStore& settingsStore;
    ProgramLauncher& programLauncher;
    SystemInfoStore& systemInfoStore;

    QString adapterAddress = compiledAdapterAddress();
    IdentifierTable roster = compiledRoster();
    CycleTiming timing = {};
    // The application's help file: none in this build.
    QString helpFile = {};
};

}  // namespace tarnwick
