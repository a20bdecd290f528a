#include "RunServices.h"

#include "MqttPublisher.h"

namespace tarnwick {

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
    if (!settings.broker || !metricsRefusal.isEmpty()) {
        publisher = std::make_unique<NoPublisher>();
        return;
    }
    // The broker hears the alarms of the run's roster too.
    auto mqtt = std::make_unique<MqttPublisher>(*settings.broker, settings.adapterAddress, clock,
                                                wallClock);
    mqtt->watch(settings.roster, settings.adapterAlarmMs > 0);
    alarmOutlets.add(mqtt->alarmOutlet());
    publisher = std::move(mqtt);
}

}  // namespace tarnwick
