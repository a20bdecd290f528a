// A log file opened for reading: plain text as it stands, or gzip-compressed
// (as logrotate leaves older logs) inflated as it is read, never unpacked to
// disk. Compression is recognised by the file's first bytes, not its name.
#pragma once

#include <QFile>
#include <QString>
#include <memory>
#include <optional>

namespace tarnwick {

class LogInput {
  public:
    explicit LogInput(const QString& path);
    ~LogInput();
    LogInput(const LogInput&) = delete;
    LogInput& operator=(const LogInput&) = delete;

    // The reason when the file cannot be opened.
    std::optional<QString> open();
    // The log's text. A compressed log that ends inside its compressed data
    // (cut by a power failure during rotation) gives the text up to there,
    // then a read error that says so.
    QIODevice& device();
    bool compressed() const { return inflater_ != nullptr; }
    // The file itself, for following what is appended to it.
    QFile& file() { return file_; }

  private:
    QFile file_;
    std::unique_ptr<QIODevice> inflater_;
};

}  // namespace tarnwick
