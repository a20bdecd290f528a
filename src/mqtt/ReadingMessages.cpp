#include "ReadingMessages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

#include "ApplicationTitle.h"

#ifndef TARNWICK_VERSION
#error "TARNWICK_VERSION must be defined by the build"
#endif

namespace tarnwick {

namespace {

QString uniqueId(const RosterSensor& sensor) { return QStringLiteral("tarnwick_") + sensor.rom; }

}  // namespace

QString isoTime(const QDateTime& time) {
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}

QString adapterTopicName(const QString& adapterAddress) {
    QString name = adapterAddress;
    return name.replace(QLatin1Char(':'), QLatin1Char('_'));
}

ReadingTopics::ReadingTopics(const QString& prefix, const QString& adapterAddress,
                             const QString& discoveryPrefix)
    : adapterAddress_(adapterAddress),
      adapterName_(adapterTopicName(adapterAddress)),
      base_((prefix + QLatin1Char('/') + adapterName_).toUtf8()),
      discoveryPrefix_(discoveryPrefix.toUtf8()) {}

QByteArray ReadingTopics::stateTopic(const RosterSensor& sensor) const {
    return base_ + '/' + sensor.rom.toLatin1() + "/state";
}

MqttMessage ReadingTopics::status(const char* word) const {
    return {.topic = statusTopic(), .payload = word, .retain = true, .qos = 1};
}

MqttMessage ReadingTopics::state(const RosterSensor& sensor, const QString& word,
                                 const QString& time) const {
    QJsonObject reading;
    const std::optional<double> celsius = sensor.celsius(word);
    if (RosterSensor::isMissing(word) || !celsius) {
        reading[QLatin1String("celsius")] = QJsonValue::Null;
        reading[QLatin1String("status")] = QStringLiteral("failed");
    } else if (sensor.isPowerOn(word)) {
        reading[QLatin1String("celsius")] = QJsonValue::Null;
        reading[QLatin1String("status")] = QStringLiteral("power-on");
    } else {
        // Steps and offsets are whole ten-thousandths: the shortest decimal
        // of the rounded value is what a person would write.
        reading[QLatin1String("celsius")] = std::round(*celsius * 10'000.0) / 10'000.0;
    }
    reading[QLatin1String("word")] = word;
    if (!sensor.name.isEmpty()) reading[QLatin1String("name")] = sensor.name;
    reading[QLatin1String("sensor")] = sensor.number();
    reading[QLatin1String("time")] = time;
    return {.topic = stateTopic(sensor),
            .payload = QJsonDocument(reading).toJson(QJsonDocument::Compact)};
}

MqttMessage ReadingTopics::discovery(const RosterSensor& sensor) const {
    const QString stateTopicText = QString::fromUtf8(stateTopic(sensor));
    QJsonObject device;
    device[QLatin1String("identifiers")] = QJsonArray{QStringLiteral("tarnwick_") + adapterName_};
    device[QLatin1String("name")] = QStringLiteral("%1 %2").arg(kApplicationTitle, adapterAddress_);
    device[QLatin1String("manufacturer")] = QString(kApplicationTitle);
    device[QLatin1String("model")] = QStringLiteral("1-Wire HTTP adapter");
    device[QLatin1String("sw_version")] = QStringLiteral(TARNWICK_VERSION);
    QJsonObject config;
    config[QLatin1String("name")] =
        sensor.name.isEmpty() ? QStringLiteral("Sensor %1").arg(sensor.number()) : sensor.name;
    config[QLatin1String("unique_id")] = uniqueId(sensor);
    config[QLatin1String("state_topic")] = stateTopicText;
    config[QLatin1String("value_template")] = QStringLiteral("{{ value_json.celsius }}");
    config[QLatin1String("json_attributes_topic")] = stateTopicText;
    config[QLatin1String("device_class")] = QStringLiteral("temperature");
    config[QLatin1String("unit_of_measurement")] = QStringLiteral("°C");
    config[QLatin1String("state_class")] = QStringLiteral("measurement");
    config[QLatin1String("availability_topic")] = QString::fromUtf8(statusTopic());
    config[QLatin1String("payload_available")] = QLatin1String(kOnline);
    config[QLatin1String("payload_not_available")] = QLatin1String(kOffline);
    config[QLatin1String("device")] = device;
    return {.topic = discoveryPrefix_ + "/sensor/" + uniqueId(sensor).toLatin1() + "/config",
            .payload = QJsonDocument(config).toJson(QJsonDocument::Compact),
            .retain = true,
            .qos = 1};
}

}  // namespace tarnwick
