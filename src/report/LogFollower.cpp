#include "LogFollower.h"

#include <sys/stat.h>

#include <QFileInfo>

namespace tarnwick {

namespace {

constexpr int kLookMs = 1000;

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

LogFollower::LogFollower(std::unique_ptr<LogReader> reader, const QLocale& locale,
                         RecordHandler onRecord, std::function<void()> onBatch, NoteHandler onNote)
    : path_(reader->path()),
      locale_(locale),
      reader_(std::move(reader)),
      onRecord_(std::move(onRecord)),
      onBatch_(std::move(onBatch)),
      onNote_(std::move(onNote)) {
    reader_->setBadLineHandler(badLines());
}

BadLineHandler LogFollower::badLines() {
    return [this](const BadLine& bad) {
        onNote_(QStringLiteral("%1:%2: not a record: %3")
                    .arg(bad.file)
                    .arg(bad.lineNumber)
                    .arg(QString::fromUtf8(lineErrorText(bad.error))));
    };
}

void LogFollower::watch() {
    const auto look = [this] { poll(); };
    watcher_ = std::make_unique<QFileSystemWatcher>();
    connect(watcher_.get(), &QFileSystemWatcher::fileChanged, this, look);
    connect(watcher_.get(), &QFileSystemWatcher::directoryChanged, this, look);
    connect(&timer_, &QTimer::timeout, this, look);
    watcher_->addPath(QFileInfo(path_).absolutePath());
    watchPath();
    timer_.start(kLookMs);
}

void LogFollower::watchPath() {
    // A watched file that is renamed or deleted is dropped from the watch.
    if (watcher_ && !watcher_->files().contains(path_) && QFileInfo::exists(path_))
        watcher_->addPath(path_);
}

void LogFollower::readRecords(int& count) {
    reader_->resume();
    while (const LogRecord* record = reader_->next()) {
        onRecord_(*record);
        ++count;
    }
}

int LogFollower::poll() {
    int count = 0;
    QFile& file = reader_->input().file();
    struct stat open {};
    const bool opened = ::fstat(file.handle(), &open) == 0;
    if (opened && open.st_size < file.pos()) {
        onNote_(QStringLiteral("%1 was cut short; reading it again from its start").arg(path_));
        reader_->rewind();
    }
    readRecords(count);

    struct stat named {};
    if (opened && ::stat(QFile::encodeName(path_).constData(), &named) == 0 &&
        !sameFile(named, open)) {
        // Rotated: the logger writes to the new file only once it is done
        // with the old one, so the old one is whole now, last line and all.
        auto fresh = std::make_unique<LogReader>(path_, locale_, badLines(), reader_->powerOn());
        if (const std::optional<QString> reason = fresh->open()) {
            if (!toldUnopened_) onNote_(QStringLiteral("%1: %2").arg(path_, *reason));
            toldUnopened_ = true;
        } else {
            toldUnopened_ = false;
            reader_->follow(false);
            readRecords(count);
            fresh->follow(true);
            reader_ = std::move(fresh);
            onNote_(QStringLiteral("%1 was rotated; following the new file").arg(path_));
            readRecords(count);
            if (watcher_) watcher_->removePath(path_);
        }
    }
    watchPath();
    if (count > 0 && onBatch_) onBatch_();
    return count;
}

}  // namespace tarnwick
