#include "RunServices.h"

#include "MqttPublisher.h"

namespace tarnwick {

namespace {

std::unique_ptr<ReadingsPublisher> makePublisher(const RunSettings& settings, const Clock& steady,
                                                 const WallClock& wall) {
    if (!settings.broker) return std::make_unique<NoPublisher>();
    return std::make_unique<MqttPublisher>(*settings.broker, settings.adapterAddress, steady, wall);
}

}  // namespace

RunServices::RunServices(const RunSettings& settings) {
    if (!settings.alarmCommand.isEmpty()) {
        alarmCommand = std::make_unique<AlarmCommand>(settings.alarmCommand);
        alarmOutlets.add(*alarmCommand);
    }
    if (settings.metrics) {
        metrics = std::make_unique<RunMetrics>(wallClock, QStringLiteral(TARNWICK_VERSION));
        MetricsEndpointStart start = MetricsEndpoint::start(*settings.metrics, *metrics);
        metricsEndpoint = std::move(start.endpoint);
        metricsRefusal = start.error;
        alarmOutlets.add(*metrics);
    }
    // A run refused for its metrics port tells the broker nothing: its
    // retained "offline" on the way out would stand over the status of the
    // logger that holds the port, whose topics are the same.
    publisher = metricsRefusal.isEmpty() ? makePublisher(settings, clock, wallClock)
                                         : std::make_unique<NoPublisher>();
}

}  // namespace tarnwick
