#include "HeadlessLogger.h"

#include <csignal>
#include <cstring>
#include <utility>

#include "ExitStatus.h"

namespace tarnwick {

HeadlessLogger::HeadlessLogger(const RunSettings& settings, PageBrowser& browser, EventPump& pump,
                               const Clock& clock, const WallClock& wallClock,
                               ServiceNotifier& notifier, ReadingsPublisher& publisher,
                               AlarmOutlet& alarmOutlet, PassObserver& passObserver,
                               LineWriter lines, DataSync& sync)
    : settings_(settings),
      cycle_(browser, pump, clock, *this, settings_.timing),
      log_(clock, wallClock, sync, settings_.syncIntervalMs),
      notifier_(notifier),
      lines_(std::move(lines)),
      recorder_(log_, publisher, alarmOutlet, passObserver, clock, wallClock,
                {.changed =
                     [this](const RunStatus::Change& change) {
                         // Each alarm's change has a line of its own.
                         if (change.concern == RunStatus::Concern::Alarm) return;
                         lines_(change.failure ? kWarning : kInfo, RunStatus::describe(change));
                     },
                 // Raised at warning and cleared at notice: `journalctl -p
                 // warning` lists the alarms without their ends.
                 .alarm = [this](const AlarmEvent& event) {
                     lines_(event.raised() ? kWarning : kNotice, event.describe());
                 }}) {}

HeadlessLogger::~HeadlessLogger() = default;

int HeadlessLogger::run() {
    if (const std::optional<QString> failure = log_.start(settings_.logFile)) {
        lines_(kError, *failure);
        return kFailureExitStatus;
    }
    cycle_.setAdapterAddress(settings_.adapterAddress);
    cycle_.setRoster(settings_.roster);
    const std::int16_t active = unattendedActiveCount(settings_.roster);
    cycle_.setActiveCount(active);
    recorder_.watchAlarms(settings_.roster, settings_.adapterAddress, settings_.adapterAlarmMs);
    QString started = QStringLiteral("Started: adapter %1, %2, log %3")
                          .arg(settings_.adapterAddress,
                               settings_.roster.firstSlots(active).describe(), settings_.logFile);
    if (settings_.broker) started += QStringLiteral(", broker ") + settings_.broker->describe();
    if (settings_.metrics) started += QStringLiteral(", metrics ") + settings_.metrics->url();
    lines_(kInfo, started);
    cycle_.run();
    notifier_.notify("STOPPING=1");
    log_.stop();
    if (exitStatus_ == 0) lines_(kInfo, QStringLiteral("Stopped (%1), log closed").arg(stoppedBy_));
    return exitStatus_;
}

void HeadlessLogger::stop(const QString& why) {
    if (stoppedBy_.isEmpty()) stoppedBy_ = why;
    cycle_.stop();
}

void HeadlessLogger::reopenLog() {
    log_.reopen();
    lines_(kNotice, QStringLiteral("Log reopened"));
}

void HeadlessLogger::fail(const QString& what) {
    lines_(kError, what);
    exitStatus_ = kFailureExitStatus;
    cycle_.stop();
}

void HeadlessLogger::takeSignals(SignalWatch& watch) {
    QObject::connect(&watch, &SignalWatch::received, [this](int signal) {
        if (signal == SIGHUP)
            reopenLog();
        else
            stop(QStringLiteral("SIG") + QString::fromLatin1(sigabbrev_np(signal)));
    });
}

void HeadlessLogger::takeEscapes(EscapeRoute& route) {
    route.setEscapeHandler([this](const QString& what) { fail(what); });
}

void HeadlessLogger::showAddress(const QString&) {
    // The first page of the first pass is under way.
    if (ready_) return;
    ready_ = true;
    notifier_.notify("READY=1");
}

void HeadlessLogger::passCompleted(const QStringList& words) {
    recorder_.record(cycle_.roster(), words);
}

void HeadlessLogger::showAdapterFailure(const std::optional<QString>& reason) {
    recorder_.adapterChanged(reason);
}

}  // namespace tarnwick
