// What the report knows of each column's sensor, from the roster: how it is
// called (its ROM identifier and, where the roster gives one, its name) and
// how its words read in degrees (its family's step and its offset). The one
// place that says how a sensor is headed in the CSV, in the summary, in the
// chart's legend and in the tags of the line protocol. A column that the
// roster has no sensor for (a log written with a longer roster) is known by
// its number alone, and read as a 12-bit sensor without an offset.
//
// When several adapters' logs are read together, each adapter's sensors are
// headed with its name first: "cellar: Freezer (9C000000B4A89828)" in the
// CSV, "cellar: 1" for the sensor's number in the tables, "cellar: 1  Freezer"
// in the chart's legend.
#pragma once

#include <QString>
#include <array>
#include <optional>

#include "Degrees.h"
#include "LogRecord.h"
#include "SensorRoster.h"

namespace tarnwick {

class SensorLabels {
  public:
    // The sensors of `roster`; the compiled-in one by default.
    explicit SensorLabels(const SensorRoster& roster = SensorRoster());
    // The ROM identifiers of the compiled-in roster, no names.
    static SensorLabels compiled() { return SensorLabels(); }

    // Whether the roster has a sensor for the column.
    bool known(int slot) const { return !rom(slot).isEmpty(); }
    // Empty when the roster has no sensor there.
    QString rom(int slot) const { return roms_[static_cast<std::size_t>(slot)]; }
    // Empty when none is known.
    QString name(int slot) const { return names_[static_cast<std::size_t>(slot)]; }
    void setName(int slot, const QString& name) { names_[static_cast<std::size_t>(slot)] = name; }
    // "sensor 6", where the roster has no sensor.
    static QString unknown(int slot);

    // The adapter whose sensors these are, named in every heading; empty
    // (the default) when only one adapter's logs are read.
    void setAdapter(const QString& name) { adapter_ = name; }
    QString adapter() const { return adapter_; }

    // The sensor's number: "6", or "cellar: 6" with an adapter's name.
    QString number(int slot) const;
    // A CSV column's heading: "Freezer (9C000000B4A89828)" with a name, the
    // ROM identifier alone without one, "sensor 6" for an unknown sensor;
    // the adapter's name before it ("cellar: sensor 6").
    QString heading(int slot) const;
    // Its name, else its ROM identifier, else "sensor 6": a table row's.
    QString shortLabel(int slot) const;
    // A line's legend entry: the sensor's number and its name, else its ROM
    // identifier ("1  Freezer", "2  06000000A4EC7428", "6  sensor 6"); the
    // adapter's name before it ("cellar: 1  Freezer").
    QString legend(int slot) const;

    // A reading of the column in ten-thousandths of a degree Celsius, the
    // roster's offset added.
    TenThousandthsC celsius(int slot, std::int64_t steps) const {
        const std::size_t i = static_cast<std::size_t>(slot);
        return steps * step_[i] + offset_[i];
    }
    // The same for a mean of steps.
    double meanCelsius(int slot, double steps) const {
        const std::size_t i = static_cast<std::size_t>(slot);
        return steps * static_cast<double>(step_[i]) + static_cast<double>(offset_[i]);
    }
    // The roster's alarm limits of the column (compared with readings after
    // the offset), in ten-thousandths of a degree Celsius; none where it sets none.
    std::optional<TenThousandthsC> lowLimit(int slot) const {
        return lowLimit_[static_cast<std::size_t>(slot)];
    }
    std::optional<TenThousandthsC> highLimit(int slot) const {
        return highLimit_[static_cast<std::size_t>(slot)];
    }
    // Which value of each column is a power-on reading (85 C in its steps).
    const PowerOnSteps& powerOn() const { return powerOn_; }

  private:
    // "cellar: ", or nothing.
    QString prefix() const;

    QString adapter_;
    std::array<QString, kMaxSensors> roms_;
    std::array<QString, kMaxSensors> names_;
    std::array<int, kMaxSensors> step_{};    // ten-thousandths of a degree a step
    std::array<int, kMaxSensors> offset_{};  // ten-thousandths of a degree
    PowerOnSteps powerOn_ = kSixteenthsPowerOn;
    std::array<std::optional<TenThousandthsC>, kMaxSensors> lowLimit_{};
    std::array<std::optional<TenThousandthsC>, kMaxSensors> highLimit_{};
};

}  // namespace tarnwick
