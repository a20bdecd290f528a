// tarnwick-headless: the logger without a window, run by `tarnwick --headless`
// or directly by the systemd service. Qt Core only.
#include <csignal>
#include <cstdio>
#include <cstring>

#include "CommandLine.h"
#include "CurlBrowser.h"
#include "HeadlessApplication.h"
#include "HeadlessLogger.h"
#include "Publishers.h"
#include "QtEventPump.h"
#include "SignalWatch.h"
#include "SteadyClock.h"
#include "SystemClock.h"
#include "SystemdNotifier.h"
#include "WatchdogPump.h"

namespace {

// Each line whole, with its priority in sd-daemon's form for the journal.
void writeLine(int priority, const QString& line) {
    std::fprintf(stderr, "<%d>%s\n", priority, line.toLocal8Bit().constData());
    std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
    const tarnwick::CommandLine options =
        tarnwick::readCommandLine(argc, argv, tarnwick::Front::Headless);
    if (options.outcome != tarnwick::CommandLine::Outcome::Run) return options.exitStatus;

    tarnwick::HeadlessApplication app(argc, argv);
    tarnwick::SignalWatch watch({SIGTERM, SIGINT, SIGHUP});
    tarnwick::CurlBrowser browser;
    tarnwick::QtEventPump eventPump;
    tarnwick::SteadyClock clock;
    tarnwick::SystemClock wallClock;
    tarnwick::SystemdNotifier notifier;
    // Fed at half the interval the service manager asks for.
    tarnwick::WatchdogPump pump(eventPump, clock, notifier, notifier.watchdogIntervalMs() / 2);

    tarnwick::HeadlessSettings settings;
    settings.adapterAddress = options.adapterAddress;
    settings.roster = options.roster;
    // No check box: the compiled-in roster's first 12 sensors, as the window
    // polls them unless "Sixteen Sensors" is checked; every sensor of a
    // roster file.
    const bool sixteen = !options.roster.file().isEmpty() && options.roster.sensors().size() > 12;
    settings.activeCount = tarnwick::sensorCountForCheckValue(sixteen ? 1 : 0);
    settings.logFile = options.logFile;
    settings.syncIntervalMs = options.syncIntervalMs;
    if (options.broker) settings.publishedTo = options.broker->describe();
    const std::unique_ptr<tarnwick::ReadingsPublisher> publisher =
        tarnwick::makePublisher(options.broker, options.adapterAddress, clock, wallClock);

    tarnwick::HeadlessLogger logger(settings, browser, pump, clock, wallClock, notifier, *publisher,
                                    writeLine);
    QObject::connect(&watch, &tarnwick::SignalWatch::received, [&logger](int signal) {
        if (signal == SIGHUP)
            logger.reopenLog();
        else
            logger.stop(QStringLiteral("SIG") + QString::fromLatin1(sigabbrev_np(signal)));
    });
    app.setEscapeHandler([&logger](const QString& what) { logger.fail(what); });
    return logger.run();
}
