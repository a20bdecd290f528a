#include "LogControl.h"

#include <QCoreApplication>
#include <QTimer>
#include <utility>

#include "RecordFormat.h"
#include "Timestamp.h"

namespace tarnwick {

LogControl::LogControl(const Clock& steady, const WallClock& wall, DataSync& sync,
                       qint64 syncIntervalMs)
    : steady_(steady), wall_(wall), sync_(sync), file_(sync), syncIntervalMs_(syncIntervalMs) {}

LogControl::~LogControl() = default;

void LogControl::syncNow() {
    if (syncTimer_) syncTimer_->stop();
    if (!unsynced_) return;
    // A failed sync is not reported: the records are in the file, and the
    // next write shows whether the file is still usable.
    file_.syncData();
    unsynced_ = false;
    lastSyncMs_ = steady_.monotonicMs();
}

void LogControl::syncNowOrLater() {
    const qint64 now = steady_.monotonicMs();
    if (!lastSyncMs_ || now - *lastSyncMs_ >= syncIntervalMs_) {
        syncNow();
        return;
    }
    if (!QCoreApplication::instance()) return;
    if (!syncTimer_) {
        syncTimer_ = std::make_unique<QTimer>();
        syncTimer_->setSingleShot(true);
        QObject::connect(syncTimer_.get(), &QTimer::timeout, [this] { syncNow(); });
    }
    if (!syncTimer_->isActive())
        syncTimer_->start(static_cast<int>(*lastSyncMs_ + syncIntervalMs_ - now));
}

std::optional<QString> LogControl::start(const QString& path) {
    LogFile opened(sync_);
    if (const std::optional<QString> reason = opened.open(path)) {
        return QStringLiteral("Cannot open the log file \"%1\" for appending: %2.")
            .arg(path, *reason);
    }
    syncNow();                  // what went to the file before
    file_ = std::move(opened);  // closes a file that was open before
    fileName_ = path;
    flag_ = kLoggingOn;
    return std::nullopt;
}

void LogControl::stop() {
    syncNow();
    file_.close();
    flag_ = kLoggingOff;
}

void LogControl::reopen() {
    syncNow();
    file_.closeUntilNextAppend();
}

LogControl::RecordResult LogControl::writeRecord(const QStringList& words, const QLocale& locale) {
    RecordResult result;
    if (flag_ != kLoggingOn) return result;

    result.attempted = true;
    const QByteArray record = formatRecord(generalDateTime(wall_.localNow(), locale), words);
    if (const std::optional<QString> reason = file_.append(record)) {
        result.error = *reason;
        return result;
    }
    result.written = true;
    unsynced_ = true;
    syncNowOrLater();
    result.shownNumber = counter_;
    if (counter_ < kCounterMax) ++counter_;
    return result;
}

}  // namespace tarnwick
