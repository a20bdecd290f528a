#include "Report.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

#include "CsvWriter.h"
#include "LogInput.h"
#include "LogReader.h"
#include "Roster.h"
#include "Summary.h"

namespace tarnwick {

namespace {

void message(std::FILE* err, const QString& text) {
    std::fprintf(err, "tarnwick-report: %s\n", text.toLocal8Bit().constData());
}

}  // namespace

int widestRecord(const QStringList& paths) {
    int widest = 0;
    for (const QString& path : paths) {
        LogInput input(path);
        if (input.open()) continue;
        LineSplitter lines(input.device());
        RecordWords words;
        bool tooLong = false;
        while (const std::optional<std::string_view> line = lines.next(tooLong)) {
            if (!tooLong && splitRecordLine(*line, words) == LineError::None)
                widest = std::max(widest, words.count);
            if (widest == kMaxSensors) return widest;
        }
    }
    return widest;
}

ReportResult runReport(const ReportOptions& options, std::FILE* out, std::FILE* err,
                       int plotColumns) {
    ReportResult result;
    const IdentifierTable roster = compiledRoster();

    BadLine firstBad;
    MergedLogs logs(options.logs, options.locale, [&](const BadLine& bad) {
        if (result.badLines == 0) firstBad = bad;
        if (result.badLines < kBadLinesShown) {
            message(err, QStringLiteral("%1:%2: not a record: %3")
                             .arg(bad.file)
                             .arg(bad.lineNumber)
                             .arg(QString::fromUtf8(lineErrorText(bad.error))));
        }
        ++result.badLines;
    });
    if (const std::optional<QString> reason = logs.open()) {
        message(err, *reason);
        result.exitStatus = kExitFailure;
        return result;
    }

    const bool csvToStdout = options.csvPath == u"-";
    Summary summary(options.selection, options.sensorsGiven);

    std::unique_ptr<CsvWriter> csv;
    std::FILE* csvFile = nullptr;
    if (!options.csvPath.isEmpty()) {
        Selection columns = options.selection;
        if (!options.sensorsGiven) {
            // One column per sensor the logs carry: 12, or 16 if any record has 16.
            const int widest = std::max(widestRecord(options.logs), 12);
            columns.sensorSlots.resize(static_cast<std::size_t>(widest));
        }
        csvFile =
            csvToStdout ? out : std::fopen(QFile::encodeName(options.csvPath).constData(), "wb");
        if (!csvFile) {
            message(err, QStringLiteral("cannot write %1: %2")
                             .arg(options.csvPath, QString::fromLocal8Bit(std::strerror(errno))));
            result.exitStatus = kExitFailure;
            return result;
        }
        csv = std::make_unique<CsvWriter>(csvFile, columns, options.unit, roster);
    }

    std::unique_ptr<PlotReducer> plot;
    if (!options.plotPath.isEmpty() || options.show)
        plot = std::make_unique<PlotReducer>(options.selection, plotColumns);

    while (const LogRecord* record = logs.next()) {
        if (!options.selection.includes(record->time)) continue;
        ++result.records;
        summary.add(*record);
        if (csv) csv->add(*record);
        if (plot) plot->add(*record);
    }

    for (const QString& error : logs.errors()) {
        message(err, QStringLiteral("reading %1").arg(error));
        result.exitStatus = kExitFailure;
    }
    if (csv) {
        const bool written = csv->finish();
        const bool closed = csvToStdout || std::fclose(csvFile) == 0;
        if (!written || !closed) {
            message(err, QStringLiteral("cannot write %1: %2")
                             .arg(csvToStdout ? QStringLiteral("the CSV") : options.csvPath,
                                  QString::fromLocal8Bit(std::strerror(errno))));
            result.exitStatus = kExitFailure;
        }
    }
    if (result.badLines > 0) {
        message(err, QStringLiteral("%1 of %2 lines were not records and were skipped "
                                    "(the first: %3 line %4)")
                         .arg(result.badLines)
                         .arg(logs.lines())
                         .arg(firstBad.file)
                         .arg(firstBad.lineNumber));
        if (result.badLines == logs.lines()) {
            message(err, QStringLiteral("no line was read as a record under the locale %1; "
                                        "was the log written under another? (--locale NAME)")
                             .arg(options.locale.name()));
        }
    }
    if (!csvToStdout) {
        const std::string table = summary.format(options.unit, roster);
        std::fwrite(table.data(), 1, table.size(), out);
        if (result.badLines > 0)
            std::fprintf(out, "Lines that are not records: %lld\n",
                         static_cast<long long>(result.badLines));
        std::fflush(out);
    }
    if (plot) result.plot = plot->lines();
    return result;
}

}  // namespace tarnwick
