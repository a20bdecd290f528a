#include "Publishers.h"

#include "MqttPublisher.h"

namespace tarnwick {

std::unique_ptr<ReadingsPublisher> makePublisher(const std::optional<BrokerSettings>& broker,
                                                 const QString& adapterAddress, const Clock& steady,
                                                 const WallClock& wall) {
    if (!broker) return std::make_unique<NoPublisher>();
    return std::make_unique<MqttPublisher>(*broker, adapterAddress, steady, wall);
}

}  // namespace tarnwick
