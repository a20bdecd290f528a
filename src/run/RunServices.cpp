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

RunServices::RunServices(const RunSettings& settings)
    : publisher(makePublisher(settings, clock, wallClock)) {
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
}

}  // namespace tarnwick
