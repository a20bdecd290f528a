// Records as CSV: a "time" column in ISO 8601 local time, then one column per
// sensor under its heading (SensorLabels), degrees with four decimals and the
// roster's offset added, an empty cell where there is no temperature. Lines end with CR LF.
#pragma once

#include <cstdio>
#include <string>

#include "Degrees.h"
#include "OutputBuffer.h"
#include "Selection.h"
#include "SensorLabels.h"

namespace tarnwick {

class CsvWriter {
  public:
    // Writes to `out` (not owned) through an internal buffer.
    CsvWriter(std::FILE* out, const Selection& selection, Unit unit, const SensorLabels& labels);

    void add(const LogRecord& record);
    // Writes what is buffered; false when writing failed at any time.
    bool finish();

  private:
    OutputBuffer out_;
    Selection selection_;
    SensorLabels labels_;
    Unit unit_;
    qint64 day_ = -1;
    std::string dayText_;  // "2026-12-08T" of day_
};

}  // namespace tarnwick
