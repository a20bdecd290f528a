// The sensors the logger polls, slot by slot, with what the user knows of
// them: a name and a calibration offset. Either the sixteen built into the
// program or those of a roster file (RosterFile.h); the logger, the report
// and the simulated adapter all take it from here.
#pragma once

#include <QString>
#include <QtGlobal>
#include <array>
#include <optional>
#include <vector>

#include "Roster.h"
#include "TemperatureWord.h"

namespace tarnwick {

// When a sensor is in alarm (src/alarms reads these): limits in thousandths
// of a degree Celsius, compared with the reading after the offset.
struct AlarmLimits {
    std::optional<int> lowMilliCelsius;   // below it: low
    std::optional<int> highMilliCelsius;  // above it: high
    // An alarm clears only once the reading is back inside its limit by this.
    int hysteresisMilliCelsius = 500;
    // A limit must stay crossed this long before its alarm is raised.
    qint64 delayMs = 0;
    // Failed or power-on readings in a row that make a fault.
    int faultPasses = 3;

    bool operator==(const AlarmLimits&) const = default;
};

// Everything the roster says about one sensor.
struct RosterSensor {
    int slot = 0;                 // 0-15; the sensor's number is slot + 1
    QString rom;                  // 16 upper-case hex digits, CRC byte first, family last
    QString name;                 // empty when the roster gives none
    int offsetMilliCelsius = 0;   // added to every reading, in thousandths of a degree
    int family = kFamilyDS18B20;  // 28, 22 or 10 (hex): how its temperature word reads
    AlarmLimits limits = {};

    int number() const { return slot + 1; }
    double offsetCelsius() const { return offsetMilliCelsius / 1000.0; }
    // The word in degrees Celsius with the offset added; nullopt unless the
    // word is four hex digits. The failed-reading mark "0000" and the
    // power-on word are numbers here too: ask isMissing()/isPowerOn() first.
    std::optional<double> celsius(QStringView word) const;
    bool isPowerOn(QStringView word) const { return word == powerOnWord(family); }
    static bool isMissing(QStringView word) { return word == kMissingWord; }
};

class SensorRoster {
  public:
    // The compiled-in sixteen.
    SensorRoster();
    // `sensors` in slot order, slots 0 to n-1; `file` is where they were
    // read, empty for the compiled-in roster.
    SensorRoster(std::vector<RosterSensor> sensors, QString file);
    // The sensors of an identifier table, without names or offsets; a slot
    // whose identifier is empty holds no sensor.
    static SensorRoster fromIdentifiers(const IdentifierTable& identifiers);

    // Slot order.
    const std::vector<RosterSensor>& sensors() const { return sensors_; }
    // The sensor in a slot; nullptr for an empty slot or one out of range.
    const RosterSensor* atSlot(int slot) const;
    // The identifier table the acquisition cycle polls: the sensors' ROM codes
    // in their slots, every other slot empty.
    IdentifierTable identifiers() const;
    // The roster file, empty for the compiled-in roster.
    const QString& file() const { return file_; }
    // One line for people: "roster /etc/xdg/Tarnwick/roster.conf, 5 sensors"
    // or "compiled-in roster, 16 sensors".
    QString describe() const;
    // The sensors of slots 0 to count - 1: those an active count polls.
    SensorRoster firstSlots(int count) const;

  private:
    std::vector<RosterSensor> sensors_;
    std::array<int, kSlotCount> indexOfSlot_{};  // -1: empty slot
    QString file_;
};

// The active count of a run without the "Sixteen Sensors" check box: every
// sensor of a roster file, the compiled-in roster's first kDefaultActiveCount
// (as the window polls them unless the box is checked).
std::int16_t unattendedActiveCount(const SensorRoster& roster);

// The family code of a ROM code as written (its last two hex digits); 0 if
// they are not hex.
int familyOf(QStringView rom);

}  // namespace tarnwick
