// What the logger publishes, topic and payload:
//   PREFIX/ADAPTER/status          "online", or "offline" (the last will), retained
//   PREFIX/ADAPTER/ROM/state       one reading as JSON, retained:
//     {"celsius":21.5,"word":"5801","name":"Freezer","sensor":4,"time":"2026-12-09T14:03:07+01:00"}
//     "celsius" is null, with "status" "failed" or "power-on", for the
//     failed-reading mark and the power-on word; "name" only when the roster
//     gives one.
//   homeassistant/sensor/tarnwick_ROM/config   Home Assistant discovery, retained
// ADAPTER is the adapter's address with ':' as '_' ("192.168.1.50_8080").
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

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
    // of the adapter's device, available while the status says "online".
    MqttMessage discovery(const RosterSensor& sensor) const;

  private:
    QString adapterAddress_;
    QString adapterName_;
    QByteArray base_;
    QByteArray discoveryPrefix_;
};

// The local time with its offset from UTC: "2026-12-09T14:03:07+01:00".
QString isoTime(const QDateTime& time);

// The adapter's address as one topic level: ':' becomes '_'.
QString adapterTopicName(const QString& adapterAddress);

}  // namespace tarnwick
