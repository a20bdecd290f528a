#include "MqttPublisher.h"

#include <QCoreApplication>
#include <algorithm>

#include "GetaddrinfoResolver.h"

namespace tarnwick {

MqttPublisher::MqttPublisher(BrokerSettings settings, const QString& adapterAddress,
                             const Clock& steady, const WallClock& wall)
    : MqttPublisher(std::move(settings), adapterAddress, steady, wall,
                    std::make_unique<GetaddrinfoResolver>()) {}

MqttPublisher::MqttPublisher(BrokerSettings settings, const QString& adapterAddress,
                             const Clock& steady, const WallClock& wall,
                             std::unique_ptr<HostResolver> resolver)
    : settings_(std::move(settings)),
      topics_(settings_.prefix, adapterAddress, settings_.discoveryPrefix),
      wall_(wall) {
    const QByteArray clientId = QStringLiteral("tarnwick-%1-%2")
                                    .arg(adapterTopicName(adapterAddress))
                                    .arg(QCoreApplication::applicationPid())
                                    .toUtf8();
    connection_ = std::make_unique<BrokerConnection>(
        settings_, topics_, clientId, steady, std::move(resolver),
        [this](const std::optional<QString>& reason) {
            QMetaObject::invokeMethod(
                this, [this, reason] { tell(reason); }, Qt::QueuedConnection);
        });
}

MqttPublisher::~MqttPublisher() = default;

void MqttPublisher::publish(const SensorRoster& roster, const QStringList& words) {
    const QString time = isoTime(wall_.localNow());
    const std::vector<RosterSensor>& sensors = roster.sensors();
    const std::size_t count = std::min(sensors.size(), static_cast<std::size_t>(words.size()));
    std::vector<MqttMessage> states;
    states.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        states.push_back(topics_.state(sensors[i], words[static_cast<qsizetype>(i)], time));
    std::vector<MqttMessage> configs;
    if (settings_.discovery) {
        QString key;
        for (std::size_t i = 0; i < count; ++i)
            key += sensors[i].rom + QLatin1Char('\t') + sensors[i].name + QLatin1Char('\n');
        if (key != configKey_) {
            configKey_ = key;
            for (std::size_t i = 0; i < count; ++i)
                configs.push_back(topics_.discovery(sensors[i], settings_.expireAfterSeconds));
            for (std::size_t i = 0; i < count; ++i)
                if (alarmSubjects_.contains(sensors[i].rom))
                    configs.push_back(topics_.alarmDiscovery(&sensors[i]));
            if (alarmSubjects_.contains(QLatin1String(kAdapterSubject)))
                configs.push_back(topics_.alarmDiscovery(nullptr));
        }
    }
    connection_->send(std::move(states), std::move(configs));
}

void MqttPublisher::watch(const SensorRoster& roster, bool adapterWatched) {
    const QString time = isoTime(wall_.localNow());
    QStringList roms;
    for (const RosterSensor& sensor : roster.sensors()) roms << sensor.rom;
    alarmSubjects_.clear();
    std::vector<MqttMessage> standing;
    // Only a roster file's sensors are judged (AlarmRules).
    if (!roster.file().isEmpty()) {
        for (const RosterSensor& sensor : roster.sensors()) {
            alarmSubjects_ << sensor.rom;
            for (MqttMessage& m : topics_.alarm({.rom = sensor.rom,
                                  .number = sensor.number(),
                                  .name = sensor.name,
                                  .time = time}))
                standing.push_back(std::move(m));
        }
        if (adapterWatched) {
            alarmSubjects_ << QLatin1String(kAdapterSubject);
            for (MqttMessage& m : topics_.alarm({.time = time})) standing.push_back(std::move(m));
        }
    }
    connection_->keep(std::move(standing));
    // A new roster gets its configs (the binary sensors too) with the next pass.
    configKey_.clear();
    connection_->setSweep(
        {.topics = topics_.sweptTopics(roms, settings_.discovery),
         .stale = [topics = topics_, roms, subjects = alarmSubjects_](
                      const MqttMessage& m) { return topics.isStale(m, roms, subjects); },
         .windowMs = settings_.sweepWindowMs});
}

void MqttPublisher::alarmChanged(const AlarmEvent& event) {
    const AlarmStanding standing = AlarmStanding::after(event);
    const QString subject = standing.rom.isEmpty() ? QString(kAdapterSubject) : standing.rom;
    // Only the subjects watched have topics; nothing else can raise.
    if (!alarmSubjects_.contains(subject)) return;
    connection_->keep(topics_.alarm(standing));
}

void MqttPublisher::setFailureListener(FailureListener listener) {
    listener_ = std::move(listener);
}

void MqttPublisher::tell(const std::optional<QString>& reason) {
    failure_ = reason;
    if (listener_) listener_(reason);
}

MqttPublisher::Counts MqttPublisher::counts() const { return connection_->counts(); }

QString MqttPublisher::describe() const {
    return QStringLiteral("broker %1, topics %2/ROM/state")
        .arg(settings_.describe(), QString::fromUtf8(topics_.base()));
}

}  // namespace tarnwick
