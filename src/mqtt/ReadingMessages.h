// What the logger publishes, topic and payload:
//   PREFIX/ADAPTER/status          "online", or "offline" (the last will), retained
//   PREFIX/ADAPTER/ROM/state       one reading as JSON, retained:
//     {"celsius":21.5,"word":"5801","name":"Freezer","sensor":4,"time":"2026-12-09T14:03:07+01:00"}
//     "celsius" is null, with "status" "failed" or "power-on", for the
//     failed-reading mark and the power-on word; "name" only when the roster
//     gives one.
//   PREFIX/ADAPTER/ROM/alarm       "ON" while the sensor's alarm is raised, else "OFF",
//                                  retained; only for the sensors of a roster file
//   PREFIX/ADAPTER/ROM/alarm/attributes   the alarm's state as JSON, retained:
//     {"state":"high","limit":-15,"celsius":-12.5,"word":"3801","sensor":3,
//      "name":"Freezer","time":"2026-12-09T14:03:07+01:00"}
//     "time" is when the state began (the run's start for the first "ok").
//   PREFIX/ADAPTER/adapter/alarm(/attributes)   the same for the adapter
//     (state "ok" or "fault", with the "reason")
//   homeassistant/sensor/NODE/ROM/config          Home Assistant discovery, retained:
//   homeassistant/binary_sensor/NODE/ROM/config   the temperature, the alarm
//   homeassistant/binary_sensor/NODE/adapter/config
// ADAPTER is the adapter's address with ':' as '_' ("192.168.1.50_8080");
// NODE is "tarnwick_" and the adapter's address with every character but
// letters, digits, '_' and '-' as '_' ("tarnwick_192_168_1_50_8080"), so that
// one logger's configs are the topics under its node and no one else's.
#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "AlarmEvent.h"
#include "SensorRoster.h"

namespace tarnwick {

struct MqttMessage {
    QByteArray topic;
    QByteArray payload;
    bool retain = true;
    int qos = 0;

    bool operator==(const MqttMessage&) const = default;
};

inline constexpr char kOnline[] = "online";
inline constexpr char kOffline[] = "offline";

// Where an alarm stands: a sensor's (by its ROM code) or the adapter's (an
// empty ROM), since `time`.
struct AlarmStanding {
    QString rom = {};
    AlarmState state = AlarmState::Ok;
    int number = 0;
    QString name = {};
    QString word = {};
    std::optional<double> celsius = {};
    // The limit crossed, while low or high.
    std::optional<double> limit = {};
    QString reason = {};
    QString time = {};

    // Where the event leaves its subject.
    static AlarmStanding after(const AlarmEvent& event);
};

class ReadingTopics {
  public:
    ReadingTopics(const QString& prefix, const QString& adapterAddress,
                  const QString& discoveryPrefix = QStringLiteral("homeassistant"));

    // "PREFIX/ADAPTER", the level above the status and state topics.
    const QByteArray& base() const { return base_; }
    QByteArray statusTopic() const { return base_ + "/status"; }
    QByteArray stateTopic(const RosterSensor& sensor) const;
    // The availability message: "online" or "offline", retained, QoS 1.
    MqttMessage status(const char* word) const;
    // One sensor's reading of a pass that ended at `time` (isoTime()).
    MqttMessage state(const RosterSensor& sensor, const QString& word, const QString& time) const;
    // Home Assistant's discovery config for the sensor: a temperature sensor
    // of the adapter's device, available while the status says "online";
    // unavailable too when no reading came for `expireAfterSeconds` (0: never).
    MqttMessage discovery(const RosterSensor& sensor, int expireAfterSeconds = 0) const;

    // "tarnwick_192_168_1_50_8080": the node of the discovery topics.
    const QString& node() const { return node_; }
    // The alarm's state ("ON" or "OFF") and its attributes, both retained.
    QByteArray alarmTopic(const QString& rom) const;
    std::vector<MqttMessage> alarm(const AlarmStanding& standing) const;
    // Home Assistant's discovery config for a sensor's alarm (a problem
    // binary sensor of the same device), or the adapter's (nullptr).
    MqttMessage alarmDiscovery(const RosterSensor* sensor) const;

    // The topics to collect retained messages from at connect, to clear what
    // an earlier run left that this one no longer publishes: this node's
    // discovery configs (with `discovery`), the alarm topics, and the config
    // topics that releases before the node used for the sensors `roms`.
    QByteArrayList sweptTopics(const QStringList& roms, bool discovery) const;
    // Whether a retained message found there is stale: a discovery config of
    // this node for a sensor other than `configRoms` (a binary sensor: other
    // than `alarmSubjects`), an alarm topic of a subject other than
    // `alarmSubjects` (ROM codes; "adapter"), or an old-style config of this
    // adapter's device.
    bool isStale(const MqttMessage& retained, const QStringList& configRoms,
                 const QStringList& alarmSubjects) const;

  private:
    QJsonObject device() const;
    QByteArray configTopic(const char* component, const QString& object) const;
    QByteArray oldConfigTopic(const QString& rom) const;

    QString adapterAddress_;
    QString adapterName_;
    QString node_;
    QByteArray base_;
    QByteArray discoveryPrefix_;
};

// The subject of the adapter's alarm topics, in place of a ROM code.
inline constexpr char kAdapterSubject[] = "adapter";

// The local time with its offset from UTC: "2026-12-09T14:03:07+01:00".
QString isoTime(const QDateTime& time);

// The adapter's address as one topic level: ':' becomes '_'.
QString adapterTopicName(const QString& adapterAddress);

}  // namespace tarnwick
