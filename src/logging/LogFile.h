#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace tarnwick {

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
    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    LogFile(LogFile&& other) noexcept;
    LogFile& operator=(LogFile&& other) noexcept;

    // Opens `path` for appending; a missing file is created, an existing one
    // keeps its content. Only a regular file or a character device is
    // accepted. A file already open is closed first. Returns the reason on
    // failure, in which case the file is closed.
    std::optional<QString> open(const QString& path);

    // Appends `record` whole. Returns the reason on failure.
    std::optional<QString> append(const QByteArray& record);

    // Closes the file if it is open. Returns the reason if the system reports
    // an error on closing (the file is closed all the same).
    std::optional<QString> close();

    bool isOpen() const { return fd_ >= 0; }
    QString path() const { return path_; }

  private:
    int fd_ = -1;
    bool regular_ = false;
    QString path_;
};

}  // namespace tarnwick
