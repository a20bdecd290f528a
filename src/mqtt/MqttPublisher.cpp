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
                configs.push_back(topics_.discovery(sensors[i]));
        }
    }
    connection_->send(std::move(states), std::move(configs));
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
