#include "HeadlessLogger.h"

#include <QLocale>
#include <utility>

namespace tarnwick {

HeadlessLogger::HeadlessLogger(HeadlessSettings settings, PageBrowser& browser, EventPump& pump,
                               const Clock& clock, const WallClock& wallClock,
                               ServiceNotifier& notifier, ReadingsPublisher& publisher,
                               LineWriter lines)
    : settings_(std::move(settings)),
      cycle_(browser, pump, clock, *this, settings_.timing),
      log_(clock, wallClock, systemDataSync(), settings_.syncIntervalMs),
      notifier_(notifier),
      publisher_(publisher),
      lines_(std::move(lines)),
      status_([this](const RunStatus::Change& change) {
          lines_(change.failure ? kWarning : kInfo, RunStatus::describe(change));
      }) {
    publisher_.setFailureListener([this](const std::optional<QString>& reason) {
        status_.set(RunStatus::Concern::Broker, reason);
    });
}

HeadlessLogger::~HeadlessLogger() { publisher_.setFailureListener({}); }

int HeadlessLogger::run() {
    if (const std::optional<QString> failure = log_.start(settings_.logFile)) {
        lines_(kError, *failure);
        return kFailureStatus;
    }
    cycle_.setAdapterAddress(settings_.adapterAddress);
    cycle_.setRoster(settings_.roster);
    cycle_.setActiveCount(settings_.activeCount);
    // The sensors the cycle polls: those of the roster's active slots.
    std::vector<RosterSensor> polled;
    for (const RosterSensor& sensor : settings_.roster.sensors())
        if (sensor.slot < settings_.activeCount) polled.push_back(sensor);
    const QString roster = SensorRoster(polled, settings_.roster.file()).describe();
    QString started = QStringLiteral("Started: adapter %1, %2, log %3")
                          .arg(settings_.adapterAddress, roster, settings_.logFile);
    if (!settings_.publishedTo.isEmpty())
        started += QStringLiteral(", broker ") + settings_.publishedTo;
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

void HeadlessLogger::reopenLog() { log_.reopen(); }

void HeadlessLogger::fail(const QString& what) {
    lines_(kError, what);
    exitStatus_ = kFailureStatus;
    cycle_.stop();
}

void HeadlessLogger::showAddress(const QString&) {
    // The first page of the first pass is under way.
    if (ready_) return;
    ready_ = true;
    notifier_.notify("READY=1");
}

void HeadlessLogger::passCompleted(const QStringList& words) {
    status_.noteRecord(log_.writeRecord(words, QLocale()));
    publisher_.publish(cycle_.roster(), words);
}

void HeadlessLogger::showAdapterFailure(const std::optional<QString>& reason) {
    status_.set(RunStatus::Concern::Adapter, reason);
}

}  // namespace tarnwick
