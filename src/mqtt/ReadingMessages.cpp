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

// Home Assistant's entity ids and discovery topic levels take letters,
// digits and '_' ('-' too in topics); anything else becomes '_'.
QString slug(const QString& text, bool dash) {
    QString out = text;
    for (QChar& c : out) {
        const bool keep = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                          (c >= u'0' && c <= u'9') || c == u'_' || (dash && c == u'-');
        if (!keep) c = u'_';
    }
    return out;
}

QString entityId(const char* domain, const QString& object) {
    return QLatin1String(domain) + u'.' + slug(object, false).toLower();
}

// Steps and offsets are whole ten-thousandths: the shortest decimal of the
// rounded value is what a person would write.
double rounded(double celsius) { return std::round(celsius * 10'000.0) / 10'000.0; }

QJsonValue orNull(const std::optional<double>& value) {
    return value ? QJsonValue(rounded(*value)) : QJsonValue(QJsonValue::Null);
}

// Who made the config, as Home Assistant's discovery schema asks. The
// project has no support address to give.
QJsonObject origin() {
    QJsonObject origin;
    origin[QLatin1String("name")] = QString(kApplicationTitle);
    origin[QLatin1String("sw_version")] = QStringLiteral(TARNWICK_VERSION);
    return origin;
}

}  // namespace

AlarmStanding AlarmStanding::after(const AlarmEvent& event) {
    const bool adapter = event.subject == AlarmEvent::Subject::Adapter;
    return {.rom = adapter ? QString() : event.rom,
            .state = event.to,
            .number = event.number,
            .name = event.name,
            .word = event.word,
            .celsius = event.celsius,
            .limit = event.raised() ? event.limit : std::nullopt,
            .reason = event.reason,
            .time = isoTime(event.at)};
}

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
      node_(QStringLiteral("tarnwick_") + slug(adapterAddress, true)),
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
        reading[QLatin1String("celsius")] = rounded(*celsius);
    }
    reading[QLatin1String("word")] = word;
    if (!sensor.name.isEmpty()) reading[QLatin1String("name")] = sensor.name;
    reading[QLatin1String("sensor")] = sensor.number();
    reading[QLatin1String("time")] = time;
    return {.topic = stateTopic(sensor),
            .payload = QJsonDocument(reading).toJson(QJsonDocument::Compact)};
}

QJsonObject ReadingTopics::device() const {
    QJsonObject device;
    device[QLatin1String("identifiers")] = QJsonArray{QStringLiteral("tarnwick_") + adapterName_};
    device[QLatin1String("name")] = QStringLiteral("%1 %2").arg(kApplicationTitle, adapterAddress_);
    device[QLatin1String("manufacturer")] = QString(kApplicationTitle);
    device[QLatin1String("model")] = QStringLiteral("1-Wire HTTP adapter");
    device[QLatin1String("sw_version")] = QStringLiteral(TARNWICK_VERSION);
    return device;
}

QByteArray ReadingTopics::configTopic(const char* component, const QString& object) const {
    return discoveryPrefix_ + '/' + component + '/' + node_.toLatin1() + '/' + object.toLatin1() +
           "/config";
}

QByteArray ReadingTopics::oldConfigTopic(const QString& rom) const {
    return discoveryPrefix_ + "/sensor/tarnwick_" + rom.toLatin1() + "/config";
}

namespace {

// What every entity of the adapter's device says besides its own.
QJsonObject entity(const QString& name, const QString& uniqueId, const QString& defaultEntityId,
                   const QString& stateTopic, const QString& attributesTopic,
                   const QString& statusTopic, const QJsonObject& device) {
    QJsonObject config;
    config[QLatin1String("name")] = name;
    config[QLatin1String("unique_id")] = uniqueId;
    config[QLatin1String("default_entity_id")] = defaultEntityId;
    config[QLatin1String("state_topic")] = stateTopic;
    config[QLatin1String("json_attributes_topic")] = attributesTopic;
    config[QLatin1String("availability_topic")] = statusTopic;
    config[QLatin1String("payload_available")] = QLatin1String(kOnline);
    config[QLatin1String("payload_not_available")] = QLatin1String(kOffline);
    config[QLatin1String("device")] = device;
    config[QLatin1String("origin")] = origin();
    return config;
}

MqttMessage retainedConfig(QByteArray topic, const QJsonObject& config) {
    return {.topic = std::move(topic),
            .payload = QJsonDocument(config).toJson(QJsonDocument::Compact),
            .retain = true,
            .qos = 1};
}

QString sensorName(const RosterSensor& sensor) {
    return sensor.name.isEmpty() ? QStringLiteral("Sensor %1").arg(sensor.number()) : sensor.name;
}

}  // namespace

MqttMessage ReadingTopics::discovery(const RosterSensor& sensor, int expireAfterSeconds) const {
    const QString stateTopicText = QString::fromUtf8(stateTopic(sensor));
    QJsonObject config =
        entity(sensorName(sensor), uniqueId(sensor), entityId("sensor", uniqueId(sensor)),
               stateTopicText, stateTopicText, QString::fromUtf8(statusTopic()), device());
    config[QLatin1String("value_template")] = QStringLiteral("{{ value_json.celsius }}");
    config[QLatin1String("device_class")] = QStringLiteral("temperature");
    config[QLatin1String("unit_of_measurement")] = QStringLiteral("°C");
    config[QLatin1String("state_class")] = QStringLiteral("measurement");
    if (expireAfterSeconds > 0) config[QLatin1String("expire_after")] = expireAfterSeconds;
    return retainedConfig(configTopic("sensor", sensor.rom), config);
}

QByteArray ReadingTopics::alarmTopic(const QString& rom) const {
    return base_ + '/' + (rom.isEmpty() ? QByteArray(kAdapterSubject) : rom.toLatin1()) + "/alarm";
}

std::vector<MqttMessage> ReadingTopics::alarm(const AlarmStanding& standing) const {
    const QByteArray topic = alarmTopic(standing.rom);
    QJsonObject attributes;
    attributes[QLatin1String("state")] = alarmStateName(standing.state);
    if (standing.rom.isEmpty()) {
        attributes[QLatin1String("adapter")] = adapterAddress_;
        if (!standing.reason.isEmpty()) attributes[QLatin1String("reason")] = standing.reason;
    } else {
        attributes[QLatin1String("limit")] = orNull(standing.limit);
        attributes[QLatin1String("celsius")] = orNull(standing.celsius);
        if (!standing.word.isEmpty()) attributes[QLatin1String("word")] = standing.word;
        attributes[QLatin1String("sensor")] = standing.number;
        if (!standing.name.isEmpty()) attributes[QLatin1String("name")] = standing.name;
    }
    attributes[QLatin1String("time")] = standing.time;
    return {{.topic = topic,
             .payload = standing.state == AlarmState::Ok ? "OFF" : "ON",
             .retain = true,
             .qos = 1},
            {.topic = topic + "/attributes",
             .payload = QJsonDocument(attributes).toJson(QJsonDocument::Compact),
             .retain = true,
             .qos = 1}};
}

MqttMessage ReadingTopics::alarmDiscovery(const RosterSensor* sensor) const {
    const QString object = sensor ? sensor->rom : QString(kAdapterSubject);
    const QString id = sensor ? uniqueId(*sensor) + QStringLiteral("_alarm")
                              : node_ + QStringLiteral("_adapter_alarm");
    const QString topic = QString::fromUtf8(alarmTopic(sensor ? sensor->rom : QString()));
    QJsonObject config =
        entity(sensor ? sensorName(*sensor) + QStringLiteral(" alarm") : QStringLiteral("Adapter"),
               id, entityId("binary_sensor", id), topic, topic + QStringLiteral("/attributes"),
               QString::fromUtf8(statusTopic()), device());
    config[QLatin1String("device_class")] = QStringLiteral("problem");
    config[QLatin1String("payload_on")] = QStringLiteral("ON");
    config[QLatin1String("payload_off")] = QStringLiteral("OFF");
    return retainedConfig(configTopic("binary_sensor", object), config);
}

QByteArrayList ReadingTopics::sweptTopics(const QStringList& roms, bool discovery) const {
    QByteArrayList topics = {base_ + "/+/alarm", base_ + "/+/alarm/attributes"};
    if (!discovery) return topics;
    topics << configTopic("sensor", QStringLiteral("+"))
           << configTopic("binary_sensor", QStringLiteral("+"));
    for (const QString& rom : roms) topics << oldConfigTopic(rom);
    return topics;
}

bool ReadingTopics::isStale(const MqttMessage& retained, const QStringList& configRoms,
                            const QStringList& alarmSubjects) const {
    if (retained.payload.isEmpty()) return false;
    const QString topic = QString::fromUtf8(retained.topic);
    const auto under = [&](const QByteArray& start) {
        return retained.topic.startsWith(start + '/');
    };
    // PREFIX/ADAPTER/SUBJECT/alarm[/attributes]
    if (under(base_)) {
        const QStringList rest = topic.mid(base_.size() + 1).split(u'/');
        const bool isAlarm = (rest.size() == 2 && rest[1] == u"alarm") ||
                             (rest.size() == 3 && rest[1] == u"alarm" && rest[2] == u"attributes");
        return isAlarm && !alarmSubjects.contains(rest[0]);
    }
    if (!under(discoveryPrefix_) || !topic.endsWith(QLatin1String("/config"))) return false;
    const QStringList rest = topic.mid(discoveryPrefix_.size() + 1).split(u'/');
    // COMPONENT/NODE/OBJECT/config
    if (rest.size() == 4 && rest[1] == node_) {
        if (rest[0] == u"sensor") return !configRoms.contains(rest[2]);
        if (rest[0] == u"binary_sensor") return !alarmSubjects.contains(rest[2]);
        return false;
    }
    // sensor/tarnwick_ROM/config, the topic before the node: stale once the
    // node's takes over, when its device is this adapter.
    if (rest.size() == 3 && rest[0] == u"sensor" && rest[1].startsWith(u"tarnwick_")) {
        const QJsonArray identifiers = QJsonDocument::fromJson(retained.payload)
                                           .object()[QLatin1String("device")]
                                           .toObject()[QLatin1String("identifiers")]
                                           .toArray();
        return identifiers.contains(QJsonValue(QStringLiteral("tarnwick_") + adapterName_));
    }
    return false;
}

}  // namespace tarnwick
