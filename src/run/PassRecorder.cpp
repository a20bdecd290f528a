#include "PassRecorder.h"

#include <QLocale>
#include <utility>

namespace tarnwick {

PassRecorder::PassRecorder(LogControl& log, ReadingsPublisher& publisher, AlarmOutlet& alarmOutlet,
                           PassObserver& passObserver, const Clock& clock,
                           const WallClock& wallClock, Listeners listeners)
    : log_(log),
      publisher_(publisher),
      alarmOutlet_(alarmOutlet),
      passObserver_(passObserver),
      clock_(clock),
      wallClock_(wallClock),
      headline_(std::move(listeners.headline)),
      alarmListener_(std::move(listeners.alarm)),
      status_(std::move(listeners.changed)) {
    publisher_.setFailureListener([this](const std::optional<QString>& reason) {
        noted(status_.set(RunStatus::Concern::Broker, reason));
    });
    alarmOutlet_.setFailureListener([this](const std::optional<QString>& reason) {
        noted(status_.set(RunStatus::Concern::AlarmCommand, reason));
    });
}

PassRecorder::~PassRecorder() {
    publisher_.setFailureListener({});
    alarmOutlet_.setFailureListener({});
}

LogControl::RecordResult PassRecorder::record(const SensorRoster& roster,
                                              const QStringList& words) {
    const LogControl::RecordResult result = log_.writeRecord(words, QLocale());
    // Logging switched off ends a log write failure too.
    noted(status_.noteRecord(result));
    publisher_.publish(roster, words);
    passObserver_.passFinished(roster, words, result);
    const qint64 now = clock_.monotonicMs();
    const QDateTime at = wallClock_.localNow();
    for (const AlarmEvent& event : alarms_.pass(roster, words, !adapterSilent_, now, at))
        tell(event);
    return result;
}

void PassRecorder::adapterChanged(const std::optional<QString>& reason) {
    adapterSilent_ = reason.has_value();
    noted(status_.set(RunStatus::Concern::Adapter, reason));
    passObserver_.adapterChanged(reason);
    if (std::optional<AlarmEvent> event =
            alarms_.adapter(reason, clock_.monotonicMs(), wallClock_.localNow()))
        tell(*event);
}

void PassRecorder::watchAlarms(const SensorRoster& roster, const QString& adapter,
                               qint64 adapterAlarmMs) {
    alarms_ = AlarmRules(roster, adapter, adapterAlarmMs);
    passObserver_.runStarted(roster, adapter);
    adapterSilent_ = false;
    noted(status_.set(RunStatus::Concern::Alarm, std::nullopt));
}

void PassRecorder::tell(const AlarmEvent& event) {
    noted(status_.set(RunStatus::Concern::Alarm, alarms_.headline()));
    alarmOutlet_.alarmChanged(event);
    if (alarmListener_) alarmListener_(event);
}

void PassRecorder::noted(bool changed) {
    if (changed && headline_) headline_();
}

}  // namespace tarnwick
