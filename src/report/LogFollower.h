// Follows a log while the logger appends to it. Only what was appended is
// read. When the log is rotated (renamed, and made anew at its path by the
// logger's next record), the rest of the old file is read and then the new
// one; a log cut short or rewritten in place is read again from its start.
// The file and its folder are watched, and looked at every second besides:
// a watch can miss a change (on a network file system, for one).
#pragma once

#include <QFileSystemWatcher>
#include <QLocale>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

#include "LogReader.h"

namespace tarnwick {

class LogFollower : public QObject {
  public:
    using RecordHandler = std::function<void(const LogRecord&)>;
    using NoteHandler = std::function<void(const QString&)>;

    // `reader` has read its log up to the end, following (LogReader::follow).
    // Each new record goes to `onRecord`, `onBatch` follows the records of one
    // look, and `onNote` hears of rotations and of lines that are not records.
    LogFollower(std::unique_ptr<LogReader> reader, const QLocale& locale, RecordHandler onRecord,
                std::function<void()> onBatch, NoteHandler onNote);

    // Starts watching: from now on the log is read whenever it may have changed.
    void watch();
    // Reads what was appended since the last look; the number of records.
    int poll();

    QString path() const { return path_; }

  private:
    BadLineHandler badLines();
    void readRecords(int& count);
    void watchPath();

    QString path_;
    QLocale locale_;
    std::unique_ptr<LogReader> reader_;
    RecordHandler onRecord_;
    std::function<void()> onBatch_;
    NoteHandler onNote_;
    bool toldUnopened_ = false;
    std::unique_ptr<QFileSystemWatcher> watcher_;  // made by watch()
    QTimer timer_;
};

}  // namespace tarnwick
