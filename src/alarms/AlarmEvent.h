// An alarm's change of state, as every outlet tells it: the window's status
// bar and notifications, the headless logger's lines, the broker, the user's
// command and the report's list of alarm periods.
#pragma once

#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

namespace tarnwick {

// Worst last: a reading beyond a limit is worse than no reading at all,
// since it is known to be bad.
enum class AlarmState { Ok, Fault, Low, High };

// "ok", "fault", "low", "high": the word of lines, topics and variables.
QString alarmStateName(AlarmState state);

struct AlarmEvent {
    enum class Subject { Sensor, Adapter };
    Subject subject = Subject::Sensor;
    AlarmState from = AlarmState::Ok;
    AlarmState to = AlarmState::Ok;
    QDateTime at = {};
    // The sensor (Subject::Sensor): its number (slot + 1), name and ROM code.
    int number = 0;
    QString name = {};
    QString rom = {};
    // The reading that made the change: its word, and its degrees after the
    // offset unless it failed or was the power-on word.
    QString word = {};
    std::optional<double> celsius = {};
    // The limit crossed (raised low or high), or the one the reading came
    // back inside (cleared); nullopt for a fault.
    std::optional<double> limit = {};
    // The adapter's address; for Subject::Adapter, why it does not answer.
    QString adapter = {};
    QString reason = {};

    bool raised() const { return to != AlarmState::Ok; }
    // The state told: the new one, or the one cleared.
    AlarmState kind() const { return raised() ? to : from; }
    // "sensor 3 (Freezer, 9C000000B4A89828)" or "adapter 192.168.1.50".
    QString subjectText() const;
    // What the change is, without its first word: the headline's text.
    //   "sensor 3 (Freezer, 9C000000B4A89828) high: -12.50 °C, above -15 °C"
    QString summary() const;
    // One line for people:
    //   "Alarm: sensor 3 (Freezer, 9C000000B4A89828) high: -12.50 °C, above -15.00 °C"
    //   "Alarm cleared: sensor 3 (Freezer, 9C000000B4A89828) high: -15.75 °C"
    //   "Alarm: sensor 5 (9C00…) fault: no valid reading (0000)"
    //   "Alarm: adapter 192.168.1.50 not answering for 60 s: timed out"
    QString describe() const;
};

// Whoever is told of alarms: each transition once, in the order they happen.
class AlarmOutlet {
  public:
    // The outlet has stopped telling alarms (`reason` says why), or tells
    // them again (nullopt).
    using FailureListener = std::function<void(const std::optional<QString>& reason)>;

    virtual ~AlarmOutlet() = default;
    virtual void alarmChanged(const AlarmEvent& event) = 0;
    // `listener` is called on the thread that made the outlet, only when the
    // failure or its reason changes; an empty one stops the calls. An outlet
    // that cannot fail ignores it.
    virtual void setFailureListener(FailureListener) {}
};

}  // namespace tarnwick
