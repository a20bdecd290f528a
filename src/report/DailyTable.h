// Each day's figures per sensor: readings, missing and power-on readings,
// the minimum, mean and maximum and the times of the minimum and maximum
// (the first time each was read that day). Days are the log's own: local
// wall-clock days. Missing and power-on readings are counted, not figured in
// (power-on readings are with --keep-power-on). Rows in day order, sensors
// by number within a day; a sensor no record of the day carries has no row.
// Held per day, not per record: ten years take a few megabytes.
//   text: Date  Sensor  Name  Readings  Missing  Power-on  Min °C  at  Mean °C  Max °C  at
//   CSV:  date,sensor,name,rom,readings,missing,power-on,min °C,min time,mean °C,max °C,max time
#pragma once

#include <array>
#include <cstdio>
#include <map>

#include "OutputBuffer.h"
#include "ReadingTally.h"
#include "ReportOptions.h"
#include "TableFormat.h"

namespace tarnwick {

class DailyTable {
  public:
    using Figures = ReadingTally;
    // Each instance's sensors.
    using Day = std::vector<std::array<Figures, kMaxSensors>>;

    // Writes to `out` (not owned) when it finishes.
    DailyTable(std::FILE* out, const ReportOptions& options, TableFormat format);

    // A record of the `instance`th of the options' instances.
    void add(int instance, const LogRecord& record);
    // Writes the table; false when writing failed.
    bool finish();

    // By the day's number (WallSeconds / kSecondsPerDay).
    const std::map<qint64, Day>& days() const { return days_; }

  private:
    void writeRow(qint64 day, const SensorLabels& labels, int slot, const Figures& f);

    OutputBuffer out_;
    std::vector<ReportInstance> instances_;
    Unit unit_;
    TableFormat format_;
    qsizetype nameWidth_ = 4;
    qsizetype numberWidth_ = 6;
    std::map<qint64, Day> days_;
    // The day of the record before, the common case.
    qint64 lastDay_ = 0;
    Day* last_ = nullptr;
};

}  // namespace tarnwick
