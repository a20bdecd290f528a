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

    void add(int instance, const LogRecord& record) override { writer_.add(instance, record); }
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
        : summary_(options.instances, options.sensorsGiven),
          unit_(options.unit),
          out_(out),
          badLines_(badLines) {}

    void add(int instance, const LogRecord& record) override { summary_.add(instance, record); }
    std::optional<QString> finish() override {
        const std::string table = summary_.format(unit_);
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
    std::FILE* out_;
    const qint64& badLines_;  // known once all is read
};

// The chart's data, its lines taken when it finishes: each instance's
// reduced on its own, as its logger's cadence is its own.
class ChartSink : public RecordSink {
  public:
    ChartSink(const std::vector<ReportInstance>& instances, int columns,
              std::vector<PlotLine>& lines)
        : lines_(lines) {
        for (const ReportInstance& instance : instances)
            reducers_.push_back(std::make_unique<PlotReducer>(instance.selection, columns));
    }

    void add(int instance, const LogRecord& record) override {
        reducers_[static_cast<std::size_t>(instance)]->add(record);
    }
    std::optional<QString> finish() override {
        lines_.clear();
        for (std::size_t i = 0; i < reducers_.size(); ++i) {
            for (PlotLine& line : reducers_[i]->lines()) {
                line.instance = static_cast<int>(i);
                lines_.push_back(std::move(line));
            }
        }
        return std::nullopt;
    }
    // The first instance's, for following its log.
    std::unique_ptr<PlotReducer> takeReducer() { return std::move(reducers_.front()); }

  private:
    std::vector<std::unique_ptr<PlotReducer>> reducers_;
    std::vector<PlotLine>& lines_;
};

// The CSV's columns of each instance: those of --sensors, else one per sensor
// the widest record of its logs carries (12 or 16 with the compiled-in
// roster); without a record, one per sensor of the roster that the logger
// polls by default.
std::vector<ReportInstance> csvColumns(const ReportOptions& options) {
    std::vector<ReportInstance> columns = options.instances;
    if (options.sensorsGiven) return columns;
    for (ReportInstance& instance : columns) {
        int widest = widestRecord(instance.logs);
        if (widest == 0) {
            int known = 0;
            while (known < kMaxSensors && instance.labels.known(known)) ++known;
            widest = std::min(known, 12);
        }
        instance.selection.sensorSlots.resize(static_cast<std::size_t>(widest));
    }
    return columns;
}

// The logs of every instance as one timeline: each instance's logs merged as
// one series (MergedLogs, which keeps the order of a rotated series), and the
// instances' records in time order, the instance given first first at equal
// times.
class Timeline {
  public:
    Timeline(const std::vector<ReportInstance>& instances, const QLocale& locale,
             const BadLineHandler& onBadLine) {
        for (const ReportInstance& instance : instances) {
            logs_.push_back(std::make_unique<MergedLogs>(instance.logs, locale, onBadLine,
                                                         instance.labels.powerOn()));
        }
        heads_.assign(logs_.size(), nullptr);
    }

    // The reason when a log cannot be opened (the first such).
    std::optional<QString> open() {
        for (const auto& logs : logs_)
            if (std::optional<QString> reason = logs->open()) return reason;
        return std::nullopt;
    }
    // The next record, and the number of its instance; nullptr at the end.
    const LogRecord* next(int& instance) {
        if (logs_.size() == 1) {
            instance = 0;
            return logs_.front()->next();
        }
        if (!started_) {
            started_ = true;
            for (std::size_t i = 0; i < logs_.size(); ++i) heads_[i] = logs_[i]->next();
        } else if (current_ < logs_.size()) {
            heads_[current_] = logs_[current_]->next();
        }
        current_ = logs_.size();
        for (std::size_t i = 0; i < logs_.size(); ++i) {
            if (heads_[i] && (current_ == logs_.size() || heads_[i]->time < heads_[current_]->time))
                current_ = i;
        }
        if (current_ == logs_.size()) return nullptr;
        instance = static_cast<int>(current_);
        return heads_[current_];
    }
    QStringList errors() const {
        QStringList errors;
        for (const auto& logs : logs_) errors += logs->errors();
        return errors;
    }
    qint64 lines() const {
        qint64 lines = 0;
        for (const auto& logs : logs_) lines += logs->lines();
        return lines;
    }
    MergedLogs& logs(int instance) { return *logs_[static_cast<std::size_t>(instance)]; }

  private:
    std::vector<std::unique_ptr<MergedLogs>> logs_;
    std::vector<const LogRecord*> heads_;  // each instance's next record
    std::size_t current_ = 0;              // the instance whose record was handed out last
    bool started_ = false;
};

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
        sinks.push_back(std::make_unique<FileSink<CsvWriter>>(std::move(csvFile),
                                                              csvColumns(options), options.unit));
    }
    if (influxFile) {
        sinks.push_back(std::make_unique<FileSink<InfluxWriter>>(
            std::move(influxFile), options.instances, QTimeZone::systemTimeZone()));
    }
    if (!options.plotPath.isEmpty() || options.show) {
        auto sink = std::make_unique<ChartSink>(options.instances, plotColumns, result.plot);
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
    Timeline logs(options.instances, options.locale, badLines.handler());
    if (const std::optional<QString> reason = logs.open()) {
        message(err, *reason);
        result.exitStatus = kExitFailure;
        return result;
    }
    // Only the log of one instance is followed.
    const int followed =
        options.instances.size() == 1
            ? static_cast<int>(options.instances.front().logs.indexOf(options.followPath))
            : -1;
    if (followed >= 0) {
        if (logs.logs(0).reader(followed).input().compressed()) {
            message(err, QStringLiteral("%1 is compressed: only a log being written can be "
                                        "followed")
                             .arg(options.followPath));
            result.exitStatus = kExitFailure;
            return result;
        }
        logs.logs(0).reader(followed).follow(true);
    }

    std::vector<std::unique_ptr<RecordSink>> sinks;
    ChartSink* chart = nullptr;
    if (const std::optional<QString> reason =
            openSinks(options, out, plotColumns, result, sinks, chart)) {
        message(err, *reason);
        result.exitStatus = kExitFailure;
        return result;
    }

    int instance = 0;
    while (const LogRecord* record = logs.next(instance)) {
        if (!options.selection.includes(record->time)) continue;
        ++result.records;
        for (const std::unique_ptr<RecordSink>& sink : sinks) sink->add(instance, *record);
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
        result.followed = logs.logs(0).take(followed);
    }
    return result;
}

}  // namespace tarnwick
