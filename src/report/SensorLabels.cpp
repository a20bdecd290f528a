#include "SensorLabels.h"

namespace tarnwick {

SensorLabels::SensorLabels(const SensorRoster& roster) {
    step_.fill(stepTenThousandths(kFamilyDS18B20));
    for (const RosterSensor& sensor : roster.sensors()) {
        if (sensor.slot < 0 || sensor.slot >= kMaxSensors) continue;
        const std::size_t i = static_cast<std::size_t>(sensor.slot);
        roms_[i] = sensor.rom;
        names_[i] = sensor.name;
        step_[i] = stepTenThousandths(sensor.family);
        offset_[i] = sensor.offsetMilliCelsius * 10;
        powerOn_[i] = static_cast<std::int16_t>(85 * 10000 / step_[i]);
        const AlarmLimits& limits = sensor.limits;
        if (limits.lowMilliCelsius) lowLimit_[i] = TenThousandthsC{*limits.lowMilliCelsius} * 10;
        if (limits.highMilliCelsius) highLimit_[i] = TenThousandthsC{*limits.highMilliCelsius} * 10;
    }
}

QString SensorLabels::unknown(int slot) { return QStringLiteral("sensor %1").arg(slot + 1); }

QString SensorLabels::prefix() const {
    return adapter_.isEmpty() ? QString() : adapter_ + QStringLiteral(": ");
}

QString SensorLabels::number(int slot) const { return prefix() + QString::number(slot + 1); }

QString SensorLabels::heading(int slot) const {
    if (!known(slot)) return prefix() + unknown(slot);
    const QString n = name(slot);
    return prefix() + (n.isEmpty() ? rom(slot) : QStringLiteral("%1 (%2)").arg(n, rom(slot)));
}

QString SensorLabels::shortLabel(int slot) const {
    const QString n = name(slot);
    return !n.isEmpty() ? n : known(slot) ? rom(slot) : unknown(slot);
}

QString SensorLabels::legend(int slot) const {
    return QStringLiteral("%1  %2").arg(number(slot), shortLabel(slot));
}

}  // namespace tarnwick
