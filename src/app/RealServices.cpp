#include "RealServices.h"

#include "MqttPublisher.h"

namespace tarnwick {

std::unique_ptr<ReadingsPublisher> makePublisher(const std::optional<BrokerSettings>& broker,
                                                 const QString& adapterAddress, const Clock& steady,
                                                 const WallClock& wall) {
    if (!broker) return std::make_unique<NoPublisher>();
    return std::make_unique<MqttPublisher>(*broker, adapterAddress, steady, wall);
}

RealServices::RealServices(const CommandLine& options)
    : ownPublisher(makePublisher(options.broker, options.adapterAddress, clock, wallClock)),
      publisher(*ownPublisher),
      services(servicesOf(*this)) {
    services.adapterAddress = options.adapterAddress;
    services.roster = options.roster;
    services.logFile = options.logFile;
}

std::unique_ptr<RealServices> makeRealServices(const CommandLine& options) {
    return std::make_unique<RealServices>(options);
}

}  // namespace tarnwick
