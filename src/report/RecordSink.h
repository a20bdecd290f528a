// An output of the report: it receives the selected records in time order,
// then finishes once after the last. The summary, the CSV, the line protocol
// and the chart data are each one; another output is one more. With several
// instances, their records come as one timeline, each with its instance's
// number (in ReportOptions::instances).
#pragma once

#include <QString>
#include <optional>

#include "LogRecord.h"

namespace tarnwick {

class RecordSink {
  public:
    virtual ~RecordSink() = default;

    virtual void add(int instance, const LogRecord& record) = 0;
    // After the last record: the reason when the output could not be made
    // whole ("cannot write out.csv: No space left on device").
    virtual std::optional<QString> finish() = 0;
};

}  // namespace tarnwick
