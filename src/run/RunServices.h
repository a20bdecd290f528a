// The real services both fronts run on, put together once from the run's
// settings: the adapter's page browser, the event pump, the clocks and the
// publisher of the readings, and with --metrics the run's figures and the
// endpoint that serves them. The window adds its desktop seams on top
// (src/app), the headless logger its notifier, signals and watchdog.
#pragma once

#include <memory>

#include "AlarmCommand.h"
#include "AlarmOutlets.h"
#include "CurlBrowser.h"
#include "MetricsEndpoint.h"
#include "PassObserver.h"
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
    // With --metrics: the figures, also an alarm outlet, and their endpoint.
    std::unique_ptr<RunMetrics> metrics;
    std::unique_ptr<MetricsEndpoint> metricsEndpoint;
    // Why the endpoint could not listen: the run is refused (kUsageExitStatus).
    QString metricsRefusal;
    // Follows each pass: the figures, or nobody.
    PassObserver& passObserver() {
        if (metrics) return *metrics;
        return noPassObserver_;
    }

    explicit RunServices(const RunSettings& settings);
    RunServices(const RunServices&) = delete;
    RunServices& operator=(const RunServices&) = delete;

  private:
    NoPassObserver noPassObserver_;
};

}  // namespace tarnwick
