// What the report calls each sensor: its ROM identifier and, where one is
// known, a name. The one place that says how a sensor is headed in the CSV,
// in the chart's legend and in the tags of the line protocol.
#pragma once

#include <QString>
#include <array>

#include "LogRecord.h"

namespace tarnwick {

class SensorLabels {
  public:
    // The ROM identifiers of the compiled-in roster, no names.
    static SensorLabels compiled();

    QString rom(int slot) const { return roms_[static_cast<std::size_t>(slot)]; }
    // Empty when none is known.
    QString name(int slot) const { return names_[static_cast<std::size_t>(slot)]; }
    void setName(int slot, const QString& name) { names_[static_cast<std::size_t>(slot)] = name; }

    // A CSV column's heading: the name when there is one, else the ROM identifier.
    QString heading(int slot) const;
    // A line's legend entry: the sensor's number and its heading.
    QString legend(int slot) const;

  private:
    std::array<QString, kMaxSensors> roms_;
    std::array<QString, kMaxSensors> names_;
};

}  // namespace tarnwick
