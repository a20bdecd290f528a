#include "RealServices.h"

#include "Publishers.h"

namespace tarnwick {

RealServices::RealServices(const CommandLine& options)
    : ownPublisher(makePublisher(options.broker, options.adapterAddress, clock, wallClock)),
      publisher(*ownPublisher),
      services(servicesOf(*this)) {
    services.adapterAddress = options.adapterAddress;
    services.roster = options.roster;
    services.logFile = options.logFile;
    services.syncIntervalMs = options.syncIntervalMs;
}

std::unique_ptr<RealServices> makeRealServices(const CommandLine& options) {
    return std::make_unique<RealServices>(options);
}

}  // namespace tarnwick
