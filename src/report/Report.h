// One pass over the logs that feeds the summary, the CSV and the chart data.
#pragma once

#include <cstdio>
#include <memory>
#include <vector>

#include "LogReader.h"
#include "PlotReducer.h"
#include "ReportOptions.h"

namespace tarnwick {

// Bad lines reported one by one; the rest only in the count.
inline constexpr int kBadLinesShown = 5;

struct ReportResult {
    int exitStatus = kExitOk;
    qint64 records = 0;  // records in the selected time range
    qint64 badLines = 0;
    std::vector<PlotLine> plot;  // when a chart was asked for
    // With --follow: the chart's data, and the followed log read to its end.
    std::unique_ptr<PlotReducer> reducer;
    std::unique_ptr<LogReader> followed;
};

// Reads `options.logs` and writes the summary to `out` (unless the CSV goes
// there), the CSV, and messages to `err`. `plotColumns` bounds the chart data.
ReportResult runReport(const ReportOptions& options, std::FILE* out, std::FILE* err,
                       int plotColumns);

// The widest record (1 to 16 words) among the lines of `paths`; 0 if there
// is none. Timestamps are not read.
int widestRecord(const QStringList& paths);

}  // namespace tarnwick
