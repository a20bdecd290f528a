#include "SensorRoster.h"

#include "HexDigit.h"

namespace tarnwick {

std::optional<double> RosterSensor::celsius(QStringView word) const {
    const std::optional<double> value = wordToCelsius(word, family);
    if (!value) return std::nullopt;
    return *value + offsetCelsius();
}

int familyOf(QStringView rom) {
    if (rom.size() < 2) return 0;
    const int high = hexDigitValue(rom[rom.size() - 2].unicode());
    const int low = hexDigitValue(rom[rom.size() - 1].unicode());
    return high < 0 || low < 0 ? 0 : high * 16 + low;
}

SensorRoster::SensorRoster() {
    const IdentifierTable compiled = compiledRoster();
    *this = fromIdentifiers(compiled);
}

SensorRoster::SensorRoster(std::vector<RosterSensor> sensors, QString file)
    : sensors_(std::move(sensors)), file_(std::move(file)) {
    indexOfSlot_.fill(-1);
    for (int i = 0; i < static_cast<int>(sensors_.size()); ++i) {
        const int slot = sensors_[i].slot;
        if (slot >= 0 && slot < kSlotCount) indexOfSlot_[slot] = i;
    }
}

SensorRoster SensorRoster::fromIdentifiers(const IdentifierTable& identifiers) {
    std::vector<RosterSensor> sensors;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        if (identifiers[slot].isEmpty()) continue;
        RosterSensor sensor;
        sensor.slot = slot;
        sensor.rom = identifiers[slot];
        sensor.family = familyOf(sensor.rom);
        sensors.push_back(sensor);
    }
    return SensorRoster(std::move(sensors), QString());
}

const RosterSensor* SensorRoster::atSlot(int slot) const {
    if (slot < 0 || slot >= kSlotCount || indexOfSlot_[slot] < 0) return nullptr;
    return &sensors_[indexOfSlot_[slot]];
}

IdentifierTable SensorRoster::identifiers() const {
    IdentifierTable table;
    for (const RosterSensor& sensor : sensors_) table[sensor.slot] = sensor.rom;
    return table;
}

QString SensorRoster::describe() const {
    const qsizetype n = static_cast<qsizetype>(sensors_.size());
    const QString count = n == 1 ? QStringLiteral("1 sensor") : QStringLiteral("%1 sensors").arg(n);
    if (file_.isEmpty()) return QStringLiteral("compiled-in roster, %1").arg(count);
    return QStringLiteral("roster %1, %2").arg(file_, count);
}

SensorRoster SensorRoster::firstSlots(int count) const {
    std::vector<RosterSensor> first;
    for (const RosterSensor& sensor : sensors_)
        if (sensor.slot < count) first.push_back(sensor);
    return SensorRoster(std::move(first), file_);
}

std::int16_t unattendedActiveCount(const SensorRoster& roster) {
    const bool all = !roster.file().isEmpty() &&
                     roster.sensors().size() > static_cast<std::size_t>(kDefaultActiveCount);
    return sensorCountForCheckValue(all ? 1 : 0);
}

}  // namespace tarnwick
