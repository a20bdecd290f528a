// What happens to a finished pass, for the window and the headless logger
// alike: its record goes into the log (while logging is on), the run's status
// notes whether records reach the log and whether the adapter and the broker
// answer, the readings go to the publisher, and the alarm rules judge them:
// each alarm's change goes to the shared outlets and to the front's own
// listener, and the worst raised alarm into the status. The broker's failures
// and those of the alarm outlets (the user's command) reach the status here,
// and nowhere else. The pass observer (the metrics) follows the run's start,
// each pass and the adapter's answering.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "AlarmEvent.h"
#include "AlarmRules.h"
#include "Clock.h"
#include "LogControl.h"
#include "PassObserver.h"
#include "ReadingsPublisher.h"
#include "RunStatus.h"
#include "SensorRoster.h"
#include "WallClock.h"

namespace tarnwick {

class PassRecorder {
  public:
    struct Listeners {
        // A concern has started failing or is well again (the headless
        // logger's status lines).
        RunStatus::Listener changed = {};
        // The status's headline may read differently now (the window's
        // status bar).
        std::function<void()> headline = {};
        // An alarm was raised or cleared (the window's notification, the
        // headless logger's line), after the shared outlets heard it.
        std::function<void(const AlarmEvent&)> alarm = {};
    };

    // Every reference must outlive the recorder. `clock` times an alarm's
    // delay, `wallClock` dates its change.
    PassRecorder(LogControl& log, ReadingsPublisher& publisher, AlarmOutlet& alarmOutlet,
                 PassObserver& passObserver, const Clock& clock, const WallClock& wallClock,
                 Listeners listeners);
    ~PassRecorder();
    PassRecorder(const PassRecorder&) = delete;
    PassRecorder& operator=(const PassRecorder&) = delete;

    // A finished pass: words[i] is the word of roster.sensors()[i], as the
    // cycle hands them over. Published whether logging is on or not: a
    // dashboard shows the readings live.
    LogControl::RecordResult record(const SensorRoster& roster, const QStringList& words);
    // The adapter has stopped answering (why), or answers again (nullopt).
    void adapterChanged(const std::optional<QString>& reason);
    // From now on, judge the sensors of `roster` (only a roster file's: the
    // compiled-in roster raises nothing) and the adapter at `adapter`, silent
    // for adapterAlarmMs (0: never). Every sensor starts ok.
    void watchAlarms(const SensorRoster& roster, const QString& adapter, qint64 adapterAlarmMs);

    const RunStatus& status() const { return status_; }
    const AlarmRules& alarms() const { return alarms_; }

  private:
    void noted(bool changed);
    void tell(const AlarmEvent& event);

    LogControl& log_;
    ReadingsPublisher& publisher_;
    AlarmOutlet& alarmOutlet_;
    PassObserver& passObserver_;
    const Clock& clock_;
    const WallClock& wallClock_;
    std::function<void()> headline_;
    std::function<void(const AlarmEvent&)> alarmListener_;
    RunStatus status_;
    AlarmRules alarms_{SensorRoster(), QString(), 0};
    bool adapterSilent_ = false;
};

}  // namespace tarnwick
