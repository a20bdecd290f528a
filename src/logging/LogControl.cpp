#include "LogControl.h"

#include <utility>

#include "RecordFormat.h"
#include "Timestamp.h"

namespace tarnwick {

std::optional<QString> LogControl::start(const QString& path) {
    LogFile opened;
    if (const std::optional<QString> reason = opened.open(path)) {
        return QStringLiteral("Cannot open the log file \"%1\" for appending: %2.")
            .arg(path, *reason);
    }
    file_ = std::move(opened);  // closes a file that was open before
    fileName_ = path;
    flag_ = kLoggingOn;
    return std::nullopt;
}

void LogControl::stop() {
    file_.close();
    flag_ = kLoggingOff;
}

LogControl::RecordResult LogControl::writeRecord(const QStringList& words, const QDateTime& now,
                                                 const QLocale& locale) {
    RecordResult result;
    if (flag_ != kLoggingOn) return result;

    result.attempted = true;
    const QByteArray record = formatRecord(generalDateTime(now, locale), words);
    if (const std::optional<QString> reason = file_.append(record)) {
        result.error = *reason;
        return result;
    }
    result.written = true;
    result.shownNumber = counter_;
    if (counter_ < kCounterMax) ++counter_;
    return result;
}

}  // namespace tarnwick
