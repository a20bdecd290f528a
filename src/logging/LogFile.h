#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace tarnwick {

// How the data written to a file reaches the storage device: fdatasync for
// the program (systemDataSync()); tests see each sync that reaches a file.
class DataSync {
  public:
    virtual ~DataSync() = default;
    // Hands the data written to `fd` to the storage device. Returns 0, or the
    // errno value of the failure.
    virtual int syncData(int fd) = 0;
};

// fdatasync(2), repeated while interrupted.
DataSync& systemDataSync();

// A file opened for appending records. Every record goes to the operating
// system in one write call (repeated only for a partial write or an
// interrupted call), so a reader of the file sees whole lines and nothing is
// held back in a buffer of this process. A record that cannot be written whole
// is cut off again, so the file never keeps half a record.
//
// Errors come back as a reason text in the style of strerror
// ("No such file or directory", "No space left on device").
class LogFile {
  public:
    // Syncs go through `sync`, which must outlive the object.
    explicit LogFile(DataSync& sync = systemDataSync()) : sync_(&sync) {}
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    LogFile(LogFile&& other) noexcept;
    LogFile& operator=(LogFile&& other) noexcept;

    // Opens `path` for appending; a missing file is created, an existing one
    // keeps its content. Only a regular file or a character device is
    // accepted. A file already open is closed first. Returns the reason on
    // failure, in which case the file is closed.
    //
    // A regular file whose last line has no line end (a power cut during a
    // write can leave one) gets CR LF before the next record, in the same
    // write, so that record is not glued to the cut one.
    std::optional<QString> open(const QString& path);

    // Appends `record` whole. Returns the reason on failure. When the path
    // no longer names the open file (it was renamed or deleted, as log
    // rotation does), the file at the path is opened first, created if
    // missing: a record never goes to a file that has lost its name.
    std::optional<QString> append(const QByteArray& record);

    // Closes the file but keeps its path: the next append opens the file the
    // path names then, as after a rename (what a SIGHUP from log rotation
    // asks for).
    void closeUntilNextAppend();

    // Hands the data written so far to the storage device.
    std::optional<QString> syncData();

    // Closes the file if it is open. Returns the reason if the system reports
    // an error on closing (the file is closed all the same).
    std::optional<QString> close();

    bool isOpen() const { return fd_ >= 0; }
    QString path() const { return path_; }

  private:
    std::optional<QString> reopenIfMoved();
    std::optional<QString> reopen();

    DataSync* sync_;
    int fd_ = -1;
    bool regular_ = false;
    bool reopenPending_ = false;  // the path lost its file and could not be reopened yet
    bool lineEndDue_ = false;     // the file ends in a line without its line end
    QString path_;
};

}  // namespace tarnwick
