#include "Report.h"

#include <QFile>
#include <QTimeZone>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <tuple>
#include <utility>

#include "CsvWriter.h"
#include "InfluxWriter.h"
#include "LogInput.h"
#include "LogReader.h"
#include "Summary.h"

namespace tarnwick {

namespace {

void message(std::FILE* err, const QString& text) {
    std::fprintf(err, "tarnwick-report: %s\n", text.toLocal8Bit().constData());
}

QString lastSystemError() { return QString::fromLocal8Bit(std::strerror(errno)); }

// An output named on the command line: a file, or standard output for "-".
class OutputFile {
  public:
    OutputFile(const QString& path, std::FILE* standardOutput, const QString& what)
        : path_(path), toStandardOutput_(path == u"-"), what_(what) {
        file_ = toStandardOutput_ ? standardOutput
                                  : std::fopen(QFile::encodeName(path).constData(), "wb");
    }
    ~OutputFile() {
        if (file_ && !toStandardOutput_) std::fclose(file_);
    }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    std::FILE* get() const { return file_; }
    // False when the file could not be closed whole.
    bool close() {
        std::FILE* file = std::exchange(file_, nullptr);
        return toStandardOutput_ || std::fclose(file) == 0;
    }
    // "out.csv", or "the CSV" on standard output.
    QString name() const { return toStandardOutput_ ? what_ : path_; }

  private:
    QString path_;
    bool toStandardOutput_;
    QString what_;
    std::FILE* file_ = nullptr;
};

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

    BadLine firstBad;
    MergedLogs logs(
        options.logs, options.locale,
        [&](const BadLine& bad) {
            if (result.badLines == 0) firstBad = bad;
            if (result.badLines < kBadLinesShown) {
                message(err, QStringLiteral("%1:%2: not a record: %3")
                                 .arg(bad.file)
                                 .arg(bad.lineNumber)
                                 .arg(QString::fromUtf8(lineErrorText(bad.error))));
            }
            ++result.badLines;
        },
        options.labels.powerOn());
    if (const std::optional<QString> reason = logs.open()) {
        message(err, *reason);
        result.exitStatus = kExitFailure;
        return result;
    }
    const int followed = static_cast<int>(options.logs.indexOf(options.followPath));
    if (followed >= 0) {
        if (logs.reader(followed).input().compressed()) {
            message(err, QStringLiteral("%1 is compressed: only a log being written can be "
                                        "followed")
                             .arg(options.followPath));
            result.exitStatus = kExitFailure;
            return result;
        }
        logs.reader(followed).follow(true);
    }

    Summary summary(options.selection, options.sensorsGiven);

    // The outputs named on the command line, all opened before any is written.
    std::unique_ptr<OutputFile> csvFile, influxFile;
    for (auto [path, file, what] :
         {std::tuple{&options.csvPath, &csvFile, "the CSV"},
          std::tuple{&options.influxPath, &influxFile, "the line protocol"}}) {
        if (path->isEmpty()) continue;
        *file = std::make_unique<OutputFile>(*path, out, QString::fromLatin1(what));
        if (!(*file)->get()) {
            message(err, QStringLiteral("cannot write %1: %2").arg(*path, lastSystemError()));
            result.exitStatus = kExitFailure;
            return result;
        }
    }

    std::unique_ptr<CsvWriter> csv;
    if (csvFile) {
        Selection columns = options.selection;
        if (!options.sensorsGiven) {
            // One column per sensor the widest record carries (12 or 16 with
            // the compiled-in roster); without a record, one per sensor of the
            // roster that the logger polls by default.
            int widest = widestRecord(options.logs);
            if (widest == 0) {
                int known = 0;
                while (known < kMaxSensors && options.labels.known(known)) ++known;
                widest = std::min(known, 12);
            }
            columns.sensorSlots.resize(static_cast<std::size_t>(widest));
        }
        csv = std::make_unique<CsvWriter>(csvFile->get(), columns, options.unit, options.labels);
    }
    std::unique_ptr<InfluxWriter> influx;
    if (influxFile) {
        influx = std::make_unique<InfluxWriter>(influxFile->get(), options.selection,
                                                options.labels, QTimeZone::systemTimeZone());
    }

    std::unique_ptr<PlotReducer> plot;
    if (!options.plotPath.isEmpty() || options.show)
        plot = std::make_unique<PlotReducer>(options.selection, plotColumns);

    while (const LogRecord* record = logs.next()) {
        if (!options.selection.includes(record->time)) continue;
        ++result.records;
        summary.add(*record);
        if (csv) csv->add(*record);
        if (influx) influx->add(*record);
        if (plot) plot->add(*record);
    }

    for (const QString& error : logs.errors()) {
        message(err, QStringLiteral("reading %1").arg(error));
        result.exitStatus = kExitFailure;
    }
    const auto finish = [&](auto& writer, OutputFile& file) {
        const bool written = writer->finish();
        if (!file.close() || !written) {
            message(err, QStringLiteral("cannot write %1: %2").arg(file.name(), lastSystemError()));
            result.exitStatus = kExitFailure;
        }
    };
    if (csv) finish(csv, *csvFile);
    if (influx) finish(influx, *influxFile);
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
    if (options.csvPath != u"-" && options.influxPath != u"-") {
        const std::string table = summary.format(options.unit, options.labels);
        std::fwrite(table.data(), 1, table.size(), out);
        if (result.badLines > 0)
            std::fprintf(out, "Lines that are not records: %lld\n",
                         static_cast<long long>(result.badLines));
        std::fflush(out);
    }
    if (plot) result.plot = plot->lines();
    if (followed >= 0) {
        result.reducer = std::move(plot);
        result.followed = logs.take(followed);
    }
    return result;
}

}  // namespace tarnwick
