// The program's real services, built once at start-up and handed to the main
// window.
#pragma once

#include <memory>

#include "CurlBrowser.h"
#include "MainServices.h"
#include "QtEventPump.h"
#include "Seams.h"
#include "SteadyClock.h"
#include "SystemClock.h"

namespace tarnwick {

// Owns every real service; `services` refers to them.
struct RealServices {
    CurlBrowser browser;
    QtEventPump pump;
    SteadyClock clock;
    SystemClock wallClock;
    QtFileDialogs fileDialogs;
    QtPrinterDialogs printerDialogs;
    QtMessageBoxes messageBoxes;
    QtSettingsStore settingsStore;
    QtProgramLauncher programLauncher;
    QtSystemInfoStore systemInfoStore;
    MainServices services;

    RealServices();
    RealServices(const RealServices&) = delete;
    RealServices& operator=(const RealServices&) = delete;
};

// The adapter page browser, the event pump, the clocks, the file and printer
// dialogs, the message boxes, the settings store and the program launcher of
// the running program.
std::unique_ptr<RealServices> makeRealServices();

}  // namespace tarnwick
