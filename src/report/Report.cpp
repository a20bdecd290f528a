#include "Report.h"

#include <QFile>
#include <QTimeZone>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "AlarmList.h"
#include "CsvWriter.h"
#include "DailyTable.h"
#include "InfluxWriter.h"
#include "LogInput.h"
#include "LogReader.h"
#include "RecordSink.h"
#include "Summary.h"

namespace tarnwick {

namespace {

void message(std::FILE* err, const QString& text) {
    std::fprintf(err, "tarnwick-report: %s\n", text.toLocal8Bit().constData());
}

QString lastSystemError() { return QString::fromLocal8Bit(std::strerror(errno)); }

// Lines that are not records: the first few told one by one as they are
// met, then how many there were.
class BadLineReport {
  public:
    BadLineReport(std::FILE* err, qint64& count) : err_(err), count_(count) {}

    BadLineHandler handler() {
        return [this](const BadLine& bad) {
            if (count_ == 0) first_ = bad;
            if (count_ < kBadLinesShown) {
                message(err_, QStringLiteral("%1:%2: not a record: %3")
                                  .arg(bad.file)
                                  .arg(bad.lineNumber)
                                  .arg(QString::fromUtf8(lineErrorText(bad.error))));
            }
            ++count_;
        };
    }
    // Once all `lines` are read, under `locale`.
    void tell(qint64 lines, const QLocale& locale) const {
        if (count_ == 0) return;
        message(err_, QStringLiteral("%1 of %2 lines were not records and were skipped "
                                     "(the first: %3 line %4)")
                          .arg(count_)
                          .arg(lines)
                          .arg(first_.file)
                          .arg(first_.lineNumber));
        if (count_ == lines) {
            message(err_, QStringLiteral("no line was read as a record under the locale %1; "
                                         "was the log written under another? (--locale NAME)")
                              .arg(locale.name()));
        }
    }

  private:
    std::FILE* err_;
    qint64& count_;
    BadLine first_;
};

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

// A writer (CsvWriter, InfluxWriter) into an output file that it closes when it finishes.
template <typename Writer>
class FileSink : public RecordSink {
  public:
    template <typename... Arguments>
    FileSink(std::unique_ptr<OutputFile> file, Arguments&&... arguments)
        : file_(std::move(file)), writer_(file_->get(), std::forward<Arguments>(arguments)...) {}

    void add(const LogRecord& record) override { writer_.add(record); }
    std::optional<QString> finish() override {
        const bool written = writer_.finish();
        if (!file_->close() || !written)
            return QStringLiteral("cannot write %1: %2").arg(file_->name(), lastSystemError());
        return std::nullopt;
    }

  private:
    std::unique_ptr<OutputFile> file_;
    Writer writer_;
};

// The per-sensor table, printed when it finishes.
class SummarySink : public RecordSink {
  public:
    SummarySink(const ReportOptions& options, std::FILE* out, const qint64& badLines)
        : summary_(options.selection, options.sensorsGiven),
          unit_(options.unit),
          labels_(options.labels),
          out_(out),
          badLines_(badLines) {}

    void add(const LogRecord& record) override { summary_.add(record); }
    std::optional<QString> finish() override {
        const std::string table = summary_.format(unit_, labels_);
        std::fwrite(table.data(), 1, table.size(), out_);
        if (badLines_ > 0)
            std::fprintf(out_, "Lines that are not records: %lld\n",
                         static_cast<long long>(badLines_));
        std::fflush(out_);
        return std::nullopt;
    }

  private:
    Summary summary_;
    Unit unit_;
    SensorLabels labels_;
    std::FILE* out_;
    const qint64& badLines_;  // known once all is read
};

// The chart's data, its lines taken when it finishes.
class ChartSink : public RecordSink {
  public:
    ChartSink(const Selection& selection, int columns, std::vector<PlotLine>& lines)
        : reducer_(std::make_unique<PlotReducer>(selection, columns)), lines_(lines) {}

    void add(const LogRecord& record) override { reducer_->add(record); }
    std::optional<QString> finish() override {
        lines_ = reducer_->lines();
        return std::nullopt;
    }
    std::unique_ptr<PlotReducer> takeReducer() { return std::move(reducer_); }

  private:
    std::unique_ptr<PlotReducer> reducer_;
    std::vector<PlotLine>& lines_;
};

// The CSV's columns: those of --sensors, else one per sensor the widest
// record carries (12 or 16 with the compiled-in roster); without a record,
// one per sensor of the roster that the logger polls by default.
Selection csvColumns(const ReportOptions& options) {
    Selection columns = options.selection;
    if (options.sensorsGiven) return columns;
    int widest = widestRecord(options.logs);
    if (widest == 0) {
        int known = 0;
        while (known < kMaxSensors && options.labels.known(known)) ++known;
        widest = std::min(known, 12);
    }
    columns.sensorSlots.resize(static_cast<std::size_t>(widest));
    return columns;
}

// The outputs the options ask for, the files all opened before any is
// written; the reason when one cannot be opened. The chart's data, when asked
// for, goes to `chart` too.
std::optional<QString> openSinks(const ReportOptions& options, std::FILE* out, int plotColumns,
                                 ReportResult& result,
                                 std::vector<std::unique_ptr<RecordSink>>& sinks,
                                 ChartSink*& chart) {
    const auto open = [&](const QString& path, const char* what) -> std::unique_ptr<OutputFile> {
        if (path.isEmpty()) return nullptr;
        auto file = std::make_unique<OutputFile>(path, out, QString::fromLatin1(what));
        return file->get() ? std::move(file) : nullptr;
    };
    std::unique_ptr<OutputFile> csvFile = open(options.csvPath, "the CSV");
    if (!options.csvPath.isEmpty() && !csvFile)
        return QStringLiteral("cannot write %1: %2").arg(options.csvPath, lastSystemError());
    std::unique_ptr<OutputFile> influxFile = open(options.influxPath, "the line protocol");
    if (!options.influxPath.isEmpty() && !influxFile)
        return QStringLiteral("cannot write %1: %2").arg(options.influxPath, lastSystemError());

    // A table instead of the summary, and instead of the records in the CSV.
    const auto table = [&](std::unique_ptr<OutputFile> file,
                           TableFormat format) -> std::unique_ptr<RecordSink> {
        if (options.alarms)
            return std::make_unique<FileSink<AlarmList>>(std::move(file), options, format);
        return std::make_unique<FileSink<DailyTable>>(std::move(file), options, format);
    };
    if (csvFile && (options.alarms || options.daily)) {
        sinks.push_back(table(std::move(csvFile), TableFormat::Csv));
    } else if (csvFile) {
        sinks.push_back(std::make_unique<FileSink<CsvWriter>>(
            std::move(csvFile), csvColumns(options), options.unit, options.labels));
    }
    if (influxFile) {
        sinks.push_back(std::make_unique<FileSink<InfluxWriter>>(
            std::move(influxFile), options.selection, options.labels, QTimeZone::systemTimeZone()));
    }
    if (!options.plotPath.isEmpty() || options.show) {
        auto sink = std::make_unique<ChartSink>(options.selection, plotColumns, result.plot);
        chart = sink.get();
        sinks.push_back(std::move(sink));
    }
    // The summary, or the tables asked for, go to standard output unless an
    // output took it.
    if (options.csvPath == u"-" || options.influxPath == u"-") return std::nullopt;
    const auto standardOutput = [&](const char* what) {
        return std::make_unique<OutputFile>(QStringLiteral("-"), out, QString::fromLatin1(what));
    };
    if (options.alarms)
        sinks.push_back(std::make_unique<FileSink<AlarmList>>(standardOutput("the alarm list"),
                                                              options, TableFormat::Text));
    if (options.daily)
        sinks.push_back(std::make_unique<FileSink<DailyTable>>(standardOutput("the daily table"),
                                                               options, TableFormat::Text));
    if (!options.alarms && !options.daily)
        sinks.push_back(std::make_unique<SummarySink>(options, out, result.badLines));
    return std::nullopt;
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

    BadLineReport badLines(err, result.badLines);
    MergedLogs logs(options.logs, options.locale, badLines.handler(), options.labels.powerOn());
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

    std::vector<std::unique_ptr<RecordSink>> sinks;
    ChartSink* chart = nullptr;
    if (const std::optional<QString> reason =
            openSinks(options, out, plotColumns, result, sinks, chart)) {
        message(err, *reason);
        result.exitStatus = kExitFailure;
        return result;
    }

    while (const LogRecord* record = logs.next()) {
        if (!options.selection.includes(record->time)) continue;
        ++result.records;
        for (const std::unique_ptr<RecordSink>& sink : sinks) sink->add(*record);
    }

    for (const QString& error : logs.errors()) {
        message(err, QStringLiteral("reading %1").arg(error));
        result.exitStatus = kExitFailure;
    }
    badLines.tell(logs.lines(), options.locale);
    for (const std::unique_ptr<RecordSink>& sink : sinks) {
        if (const std::optional<QString> reason = sink->finish()) {
            message(err, *reason);
            result.exitStatus = kExitFailure;
        }
    }
    if (followed >= 0) {
        result.reducer = chart->takeReducer();
        result.followed = logs.take(followed);
    }
    return result;
}

}  // namespace tarnwick
