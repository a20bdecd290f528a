// tarnwick-headless: the logger without a window, run by `tarnwick --headless`
// or directly by the systemd service. Qt Core only: the services both fronts
// run on, with the service manager's notifier, its watchdog and the signals
// that end the run or reopen the log.
#include <QCoreApplication>
#include <csignal>
#include <cstdio>

#include "EscapingApplication.h"
#include "ExitStatus.h"
#include "HeadlessLogger.h"
#include "RunServices.h"
#include "RunSettings.h"
#include "SignalWatch.h"
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
    using namespace tarnwick;
    const RunCommandLine command = readRunSettings(argc, argv, Front::Headless);
    if (command.outcome != RunCommandLine::Outcome::Run) return command.exitStatus;

    EscapingApplication<QCoreApplication> app(argc, argv);
    SignalWatch watch({SIGTERM, SIGINT, SIGHUP});
    RunServices services(command.settings);
    if (!services.metricsRefusal.isEmpty()) {
        writeLine(HeadlessLogger::kError, QStringLiteral("tarnwick: ") + services.metricsRefusal);
        return kUsageExitStatus;
    }
    SystemdNotifier notifier;
    WatchdogPump pump(services.pump, services.clock, notifier);
    HeadlessLogger logger(command.settings, services.browser, pump, services.clock,
                          services.wallClock, notifier, *services.publisher, services.alarmOutlets,
                          services.passObserver(), writeLine);
    logger.takeSignals(watch);
    logger.takeEscapes(app);
    return logger.run();
}
