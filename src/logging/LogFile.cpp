#include "LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>
#include <utility>

namespace tarnwick {

namespace {

QString reasonFor(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// True when the last byte of the file `name` (open as `st`) is not a line
// feed. The log is open for writing only, so it is read through a descriptor
// of its own; a file that cannot be read is taken as it stands.
bool endsInCutLine(const QByteArray& name, const struct stat& st) {
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat read {};
    char last = '\n';
    const bool same =
        ::fstat(fd, &read) == 0 && read.st_dev == st.st_dev && read.st_ino == st.st_ino;
    const bool cut = same && ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n';
    ::close(fd);
    return cut;
}

struct FdataSync : DataSync {
    int syncData(int fd) override {
        int result;
        do {
            result = ::fdatasync(fd);
        } while (result != 0 && errno == EINTR);
        return result == 0 ? 0 : errno;
    }
};

}  // namespace

DataSync& systemDataSync() {
    static FdataSync sync;
    return sync;
}

LogFile::~LogFile() { close(); }

LogFile::LogFile(LogFile&& other) noexcept
    : sync_(other.sync_),
      fd_(std::exchange(other.fd_, -1)),
      regular_(std::exchange(other.regular_, false)),
      reopenPending_(std::exchange(other.reopenPending_, false)),
      lineEndDue_(std::exchange(other.lineEndDue_, false)),
      path_(std::move(other.path_)) {}

LogFile& LogFile::operator=(LogFile&& other) noexcept {
    if (this != &other) {
        close();
        sync_ = other.sync_;
        fd_ = std::exchange(other.fd_, -1);
        regular_ = std::exchange(other.regular_, false);
        reopenPending_ = std::exchange(other.reopenPending_, false);
        lineEndDue_ = std::exchange(other.lineEndDue_, false);
        path_ = std::move(other.path_);
    }
    return *this;
}

std::optional<QString> LogFile::open(const QString& path) {
    close();
    path_.clear();
    reopenPending_ = false;

    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty()) return reasonFor(ENOENT);

    // O_NONBLOCK keeps the open from hanging on a named pipe without a reader;
    // such files are refused below anyway, and the flag is cleared before any
    // record is written.
    int fd;
    do {
        fd = ::open(name.constData(),
                    O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return reasonFor(errno);

    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return reasonFor(error);
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        return reasonFor(EISDIR);
    }
    if (!S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode)) {
        ::close(fd);
        return QStringLiteral("Not a regular file");
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(fd);
        return reasonFor(error);
    }

    fd_ = fd;
    regular_ = S_ISREG(st.st_mode);
    path_ = path;
    lineEndDue_ = regular_ && st.st_size > 0 && endsInCutLine(name, st);
    return std::nullopt;
}

std::optional<QString> LogFile::reopenIfMoved() {
    struct stat open = {};
    struct stat named = {};
    if (::fstat(fd_, &open) != 0) return reasonFor(errno);
    const QByteArray name = QFile::encodeName(path_);
    if (::stat(name.constData(), &named) == 0 && named.st_dev == open.st_dev &&
        named.st_ino == open.st_ino)
        return std::nullopt;
    // Renamed away or deleted: the path is where the records belong.
    return reopen();
}

std::optional<QString> LogFile::reopen() {
    const QString path = path_;
    if (std::optional<QString> reason = open(path)) {
        // Tried again with the next record.
        path_ = path;
        reopenPending_ = true;
        return reason;
    }
    return std::nullopt;
}

std::optional<QString> LogFile::append(const QByteArray& record) {
    if (fd_ < 0 && !reopenPending_) return reasonFor(EBADF);
    if (std::optional<QString> reason = fd_ < 0 ? reopen() : reopenIfMoved()) return reason;

    const QByteArray ended = lineEndDue_ ? QByteArrayLiteral("\r\n") + record : QByteArray();
    const QByteArray& whole = lineEndDue_ ? ended : record;
    const char* data = whole.constData();
    std::size_t left = static_cast<std::size_t>(whole.size());
    std::size_t written = 0;
    while (left > 0) {
        const ssize_t n = ::write(fd_, data + written, left);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            left -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;

        // A write that takes nothing without an error would loop for ever.
        const int error = n < 0 ? errno : EIO;
        QString reason = reasonFor(error);
        if (written > 0 && regular_) {
            // With O_APPEND the offset sits just past the bytes written; the
            // record began `written` bytes before it.
            const off_t end = ::lseek(fd_, 0, SEEK_CUR);
            int cut = -1;
            if (end >= static_cast<off_t>(written)) {
                do {
                    cut = ::ftruncate(fd_, end - static_cast<off_t>(written));
                } while (cut != 0 && errno == EINTR);
            }
            if (cut != 0) {
                reason += QStringLiteral(" (a partial record may remain in the file)");
            }
        }
        return reason;
    }
    lineEndDue_ = false;
    return std::nullopt;
}

void LogFile::closeUntilNextAppend() {
    if (fd_ < 0) return;
    close();
    reopenPending_ = true;
}

std::optional<QString> LogFile::syncData() {
    if (fd_ < 0) return std::nullopt;
    const int error = sync_->syncData(fd_);
    // Devices and pipes cannot be synced; there is nothing to lose on them.
    if (error != 0 && error != EINVAL && error != EROFS) return reasonFor(error);
    return std::nullopt;
}

std::optional<QString> LogFile::close() {
    reopenPending_ = false;
    lineEndDue_ = false;
    if (fd_ < 0) return std::nullopt;
    const int fd = std::exchange(fd_, -1);
    regular_ = false;
    // Linux releases the descriptor even when close reports an error, so it
    // is never retried (a retry could close a descriptor opened meanwhile).
    if (::close(fd) != 0 && errno != EINTR) return reasonFor(errno);
    return std::nullopt;
}

}  // namespace tarnwick
