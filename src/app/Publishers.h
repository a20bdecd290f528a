// The readings publisher of a run, composed here for both fronts (the window
// and the headless logger): an MQTT publisher for the broker the command line
// names, or NoPublisher.
#pragma once

#include <memory>
#include <optional>

#include "BrokerSettings.h"
#include "Clock.h"
#include "ReadingsPublisher.h"
#include "WallClock.h"

namespace tarnwick {

// For the readings of the adapter at `adapterAddress`; the clocks must
// outlive the publisher.
std::unique_ptr<ReadingsPublisher> makePublisher(const std::optional<BrokerSettings>& broker,
                                                 const QString& adapterAddress, const Clock& steady,
                                                 const WallClock& wall);

}  // namespace tarnwick
