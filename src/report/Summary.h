// The per-sensor table: counts, minimum, maximum, mean, first and last time.
#pragma once

#include <array>
#include <string>

#include "Degrees.h"
#include "Selection.h"
#include "SensorLabels.h"

namespace tarnwick {

class Summary {
  public:
    struct Sensor {
        qint64 records = 0;   // records that carry the sensor
        qint64 readings = 0;  // temperatures in the figures
        qint64 missing = 0;
        qint64 powerOn = 0;
        int min = 0;  // in the sensor's steps
        int max = 0;
        qint64 sum = 0;
        WallSeconds first = 0;
        WallSeconds last = 0;
    };

    // `listUnseen`: also list selected sensors that no record carries.
    Summary(const Selection& selection, bool listUnseen);

    void add(const LogRecord& record);

    qint64 records() const { return records_; }
    const Sensor& sensor(int slot) const { return sensors_[slot]; }

    // The table as text, one line per sensor under a heading line.
    std::string format(Unit unit, const SensorLabels& labels) const;

  private:
    Selection selection_;
    bool listUnseen_;
    std::array<Sensor, kMaxSensors> sensors_{};
    qint64 records_ = 0;
    WallSeconds first_ = 0;
    WallSeconds last_ = 0;
};

// ISO 8601 text of a wall-clock time: "2026-12-08T09:57:33".
std::string isoText(WallSeconds t);

}  // namespace tarnwick
