// Reading log files record by record, and several files as one series in
// time order. Memory stays flat whatever the files' length: a reader holds one
// buffer of a fixed size.
#pragma once

#include <QLocale>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "LogInput.h"
#include "LogRecord.h"

namespace tarnwick {

// A line that is not a record: where it is and why.
struct BadLine {
    QString file;
    qint64 lineNumber = 0;
    LineError error = LineError::None;
};

using BadLineHandler = std::function<void(const BadLine&)>;

// Splits a byte stream into lines. A line ends with LF, CR LF or the end of
// the stream; the line end is not part of the line. A line longer than the
// buffer is reported whole as one overlong line.
class LineSplitter {
  public:
    explicit LineSplitter(QIODevice& device, qsizetype bufferBytes = 1 << 20);

    // The next line, or nullopt at the end of the stream or on a read error
    // (see error()). `tooLong` is set for a line that did not fit; its text
    // is then cut.
    std::optional<std::string_view> next(bool& tooLong);
    QString error() const { return error_; }

    // While following a file that is being written, a last line without its
    // line end is held back, and the end of the stream is looked for again
    // after resume(): the line may yet be ended.
    void setFollowing(bool following) { following_ = following; }
    void resume() { eof_ = false; }

  private:
    bool refill();

    QIODevice& device_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    bool following_ = false;
    QString error_;
};

// The records of one file, in file order, gzip-compressed or not. Lines that
// are not records go to the bad-line handler and are skipped.
class LogReader {
  public:
    // `powerOn` says which value of each column is a power-on reading.
    LogReader(const QString& path, const QLocale& locale, BadLineHandler onBadLine,
              const PowerOnSteps& powerOn = kSixteenthsPowerOn);

    // The reason when the file cannot be opened.
    std::optional<QString> open();
    // The next record, or nullptr at the end. The record stays valid until
    // the next call.
    const LogRecord* next();
    QString path() const { return path_; }
    QString error() const { return splitter_ ? splitter_->error() : QString(); }
    qint64 lines() const { return lineNumber_; }

    // Following a plain log that is being written (see LineSplitter): next()
    // gives nullptr at the end of what is there now, and more after resume().
    void follow(bool following);
    void resume();
    // Reads the file again from its start (it was cut short or rewritten).
    void rewind();
    void setBadLineHandler(BadLineHandler onBadLine) { onBadLine_ = std::move(onBadLine); }
    LogInput& input() { return input_; }
    const PowerOnSteps& powerOn() const { return powerOn_; }

  private:
    QString path_;
    LogInput input_;
    std::unique_ptr<LineSplitter> splitter_;
    GeneralDateTimeParser timestamps_;
    BadLineHandler onBadLine_;
    PowerOnSteps powerOn_;
    LogRecord record_;
    qint64 lineNumber_ = 0;
};

// Several logs read as one series: records come out in time order, and each
// file's own order is kept (a clock set back does not reorder a file).
// Records of different files with equal times come in the order the files
// began, the file with the earlier first record first (the older log of a
// rotated series, in whatever order the files are named), else in the order
// the files are given.
class MergedLogs {
  public:
    MergedLogs(const QStringList& paths, const QLocale& locale, BadLineHandler onBadLine,
               const PowerOnSteps& powerOn = kSixteenthsPowerOn);

    // The reason when a file cannot be opened (the first such file).
    std::optional<QString> open();
    const LogRecord* next();
    // Read errors met so far, one text per file that had one.
    QStringList errors() const;
    qint64 lines() const;

    // The reader of the log given `index`th, to follow it (LogReader::follow)
    // while the merge runs, and to take it over once the merge has ended.
    LogReader& reader(int index) { return *readers_[static_cast<std::size_t>(index)]; }
    std::unique_ptr<LogReader> take(int index);

  private:
    std::vector<std::unique_ptr<LogReader>> readers_;
    std::vector<const LogRecord*> heads_;
    std::vector<WallSeconds> firstTimes_;  // of each file's first record
    std::vector<int> heap_;                // reader indices, the earliest head first
    int current_ = -1;                     // the reader whose record was handed out last
    bool started_ = false;
};

}  // namespace tarnwick
