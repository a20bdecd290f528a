// Records as CSV: a "time" column in ISO 8601 local time, then one column per
// sensor under its heading (SensorLabels), degrees with four decimals and the
// roster's offset added, an empty cell where there is no temperature. Lines end with CR LF.
// Several instances' records make one table: each instance's columns after
// the one before, a row's cells of the other instances empty.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "Degrees.h"
#include "OutputBuffer.h"
#include "ReportOptions.h"

namespace tarnwick {

class CsvWriter {
  public:
    // Writes to `out` (not owned) through an internal buffer.
    CsvWriter(std::FILE* out, const Selection& selection, Unit unit, const SensorLabels& labels);
    // The columns of each instance's selection.
    CsvWriter(std::FILE* out, const std::vector<ReportInstance>& instances, Unit unit);

    void add(const LogRecord& record) { add(0, record); }
    // A record of the `instance`th.
    void add(int instance, const LogRecord& record);
    // Writes what is buffered; false when writing failed at any time.
    bool finish();

  private:
    OutputBuffer out_;
    std::vector<ReportInstance> instances_;
    Unit unit_;
    std::vector<char> row_;  // room for the longest row
    qint64 day_ = -1;
    std::string dayText_;  // "2026-12-08T" of day_
};

}  // namespace tarnwick
