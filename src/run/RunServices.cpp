#include "RunServices.h"

#include "MqttPublisher.h"

namespace tarnwick {

RunServices::RunServices(const RunSettings& settings) {
    if (!settings.alarmCommand.isEmpty()) {
        alarmCommand = std::make_unique<AlarmCommand>(settings.alarmCommand);
        alarmOutlets.add(*alarmCommand);
    }
    if (!settings.broker) {
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
