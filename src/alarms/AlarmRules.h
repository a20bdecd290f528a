// The rules that raise and clear alarms, for the live fronts and the report
// alike. Each sensor is ok, low, high or in fault:
//   - low/high: the reading (after the offset) below its low limit or above
//     its high one for the roster's delay; it clears once the reading is back
//     inside the limit by the hysteresis, at once, without a delay;
//   - fault: a failed reading ("0000") or the power-on word for the roster's
//     number of passes in a row, limits or not; the first good reading clears
//     it (and may raise a limit's alarm at once when the delay is zero).
// The adapter not answering for longer than a set time is one alarm of its
// own; sensors are not judged while it is silent. Every run starts with every
// sensor ok: nothing is carried over from an earlier run, so a limit changed
// between runs only counts from the run that reads it.
#pragma once

#include <QDateTime>
#include <QStringList>
#include <array>
#include <vector>

#include "AlarmEvent.h"
#include "SensorRoster.h"

namespace tarnwick {

// One sensor's state machine.
class SensorAlarm {
  public:
    explicit SensorAlarm(const RosterSensor& sensor);

    // A reading taken at `nowMs` (a steady time, for the delay) and at `at`
    // (the time told). Returns the transition, if it made one.
    std::optional<AlarmEvent> reading(QStringView word, qint64 nowMs, const QDateTime& at);

    AlarmState state() const { return state_; }
    const RosterSensor& sensor() const { return sensor_; }
    // The latest reading's degrees (nullopt while it fails) and, in a low or
    // high alarm, the limit crossed.
    std::optional<double> celsius() const { return celsius_; }
    const QString& word() const { return word_; }
    std::optional<double> limit() const;

  private:
    AlarmState crossed(int milli) const;
    AlarmEvent change(AlarmState to, QStringView word, const QDateTime& at);

    RosterSensor sensor_;
    AlarmState state_ = AlarmState::Ok;
    int badPasses_ = 0;
    std::optional<double> celsius_;
    QString word_;
    // A limit crossed but not yet for the delay: which, and since when.
    AlarmState pending_ = AlarmState::Ok;
    qint64 pendingSinceMs_ = 0;
};

// Every sensor of a roster file, and the adapter.
class AlarmRules {
  public:
    // `roster`: the sensors watched; with the compiled-in roster (no file)
    // nothing is watched. `adapterTimeoutMs` 0: the adapter is not watched.
    AlarmRules(const SensorRoster& roster, QString adapter, qint64 adapterTimeoutMs);

    bool watching() const { return !sensors_.empty(); }

    // A finished pass: words[i] is the word of polled.sensors()[i]. Sensors
    // are judged only when the adapter answered during the pass.
    std::vector<AlarmEvent> pass(const SensorRoster& polled, const QStringList& words,
                                 bool adapterAnswered, qint64 nowMs, const QDateTime& at);
    // The adapter has stopped answering (why) or answers again (nullopt).
    std::optional<AlarmEvent> adapter(const std::optional<QString>& failure, qint64 nowMs,
                                      const QDateTime& at);

    // nullptr for a slot that is not watched.
    const SensorAlarm* atSlot(int slot) const;
    const std::vector<SensorAlarm>& sensors() const { return sensors_; }
    bool adapterAlarm() const { return adapterRaised_; }
    // The alarm a person should see first, as a line, and how many others
    // are raised ("sensor 2 (Cellar, 06…) low: 1.00 °C, below 3 °C (1 more
    // alarm)"); nullopt when none is. The adapter first, then limits (the
    // reading furthest beyond its limit), then faults (lowest number).
    std::optional<QString> headline() const;

  private:
    std::vector<SensorAlarm> sensors_;
    std::array<int, kSlotCount> indexOfSlot_{};
    QString adapter_;
    qint64 adapterTimeoutMs_;
    std::optional<qint64> silentSinceMs_;
    QString silentReason_;
    bool adapterRaised_ = false;
};

}  // namespace tarnwick
