// The window program's real services: those both fronts run on (RunServices)
// with the desktop's seams on top, built once at start-up and handed to the
// main window.
#pragma once

#include "DBusNotifier.h"
#include "MainServices.h"
#include "RunServices.h"
#include "RunSettings.h"
#include "Seams.h"

namespace tarnwick {

// Owns every real service; `services` refers to them.
struct RealServices {
    RunServices run;
    QtFileDialogs fileDialogs;
    QtPrinterDialogs printerDialogs;
    QtMessageBoxes messageBoxes;
    QtSettingsStore settingsStore;
    QtProgramLauncher programLauncher;
    QtSystemInfoStore systemInfoStore;
    DBusNotifier desktopNotifier;
    MainServices services;

    explicit RealServices(const RunSettings& settings);
    RealServices(const RealServices&) = delete;
    RealServices& operator=(const RealServices&) = delete;
};

}  // namespace tarnwick
