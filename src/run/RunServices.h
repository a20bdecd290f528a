// The real services both fronts run on, put together once from the run's
// settings: the adapter's page browser, the event pump, the clocks and the
// publisher of the readings. The window adds its desktop seams on top
// (src/app), the headless logger its notifier, signals and watchdog.
#pragma once

#include <memory>

#include "AlarmCommand.h"
#include "AlarmOutlets.h"
#include "CurlBrowser.h"
#include "QtEventPump.h"
#include "ReadingsPublisher.h"
#include "RunSettings.h"
#include "SteadyClock.h"
#include "SystemClock.h"

namespace tarnwick {

struct RunServices {
    CurlBrowser browser;
    QtEventPump pump;
    SteadyClock clock;
    SystemClock wallClock;
    // A broker publisher when the settings name a broker, else NoPublisher.
    std::unique_ptr<ReadingsPublisher> publisher;
    // The user's command (--alarm-command), when the settings name one.
    std::unique_ptr<AlarmCommand> alarmCommand;
    // Hear every alarm's change, whichever front raised it.
    AlarmOutlets alarmOutlets;

    explicit RunServices(const RunSettings& settings);
    RunServices(const RunServices&) = delete;
    RunServices& operator=(const RunServices&) = delete;
};

}  // namespace tarnwick
