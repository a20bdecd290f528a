// The program's real services, built once at start-up and handed to the main
// window.
#pragma once

#include <memory>

#include "CommandLine.h"
#include "CurlBrowser.h"
#include "MainServices.h"
#include "QtEventPump.h"
#include "ReadingsPublisher.h"
#include "Seams.h"
#include "SteadyClock.h"
#include "SystemClock.h"

namespace tarnwick {

// The broker publisher for `broker` (readings of the adapter at
// `adapterAddress`), or NoPublisher when no broker is named. The window and
// the headless logger both take theirs from here.
std::unique_ptr<ReadingsPublisher> makePublisher(const std::optional<BrokerSettings>& broker,
                                                 const QString& adapterAddress, const Clock& steady,
                                                 const WallClock& wall);

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
    std::unique_ptr<ReadingsPublisher> ownPublisher;
    ReadingsPublisher& publisher;
    MainServices services;

    explicit RealServices(const CommandLine& options);
    RealServices(const RealServices&) = delete;
    RealServices& operator=(const RealServices&) = delete;
};

// The adapter page browser, the event pump, the clocks, the file and printer
// dialogs, the message boxes, the settings store, the program launcher and
// the readings publisher of the running program, for the adapter, the roster
// and the broker that `options` name.
std::unique_ptr<RealServices> makeRealServices(const CommandLine& options);

}  // namespace tarnwick
