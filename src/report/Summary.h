// The per-sensor table: counts, minimum, maximum, mean, first and last time.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "Degrees.h"
#include "ReadingTally.h"
#include "ReportOptions.h"

namespace tarnwick {

class Summary {
  public:
    using Sensor = ReadingTally;

    // The selected sensors of each instance; `listUnseen`: also list those
    // that no record carries.
    Summary(const std::vector<ReportInstance>& instances, bool listUnseen);

    // A record of the `instance`th.
    void add(int instance, const LogRecord& record);

    qint64 records() const { return records_; }
    const Sensor& sensor(int slot, int instance = 0) const {
        return sensors_[static_cast<std::size_t>(instance)][static_cast<std::size_t>(slot)];
    }

    // The table as text, one line per sensor (by instance, then number) under
    // a heading line.
    std::string format(Unit unit) const;

  private:
    std::vector<ReportInstance> instances_;
    bool listUnseen_;
    std::vector<std::array<Sensor, kMaxSensors>> sensors_;
    qint64 records_ = 0;
    WallSeconds first_ = 0;
    WallSeconds last_ = 0;
};

// ISO 8601 text of a wall-clock time: "2026-12-08T09:57:33".
std::string isoText(WallSeconds t);

}  // namespace tarnwick
