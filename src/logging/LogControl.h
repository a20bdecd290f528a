#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>

#include "Clock.h"
#include "LogFile.h"
#include "WallClock.h"

class QTimer;

namespace tarnwick {

// The logging state of the main window: the logging flag, the record counter
// and the log file, which is open exactly while the flag is -1.
class LogControl {
  public:
    static constexpr std::int16_t kLoggingOff = 0;
    static constexpr std::int16_t kLoggingOn = -1;
    static constexpr std::int16_t kCounterStart = 1;
    static constexpr std::int16_t kCounterMax = 32767;
    // Written records reach the storage device at most a sync interval after
    // they were written, and the file is synced no more often than that: by
    // default, a power cut loses at most the last 10 s of counted records,
    // and a fast logger does not wear out flash memory with a sync per
    // record. (--sync-interval chooses another.)
    static constexpr qint64 kSyncIntervalMs = 10'000;

    // `steady` times the syncs; `wall` gives each record its timestamp;
    // `sync` hands the file's data to the storage device. All must outlive
    // the object.
    LogControl(const Clock& steady, const WallClock& wall, DataSync& sync = systemDataSync(),
               qint64 syncIntervalMs = kSyncIntervalMs);
    ~LogControl();
    LogControl(const LogControl&) = delete;
    LogControl& operator=(const LogControl&) = delete;

    struct RecordResult {
        bool attempted = false;        // logging was on, so a record was tried
        bool written = false;          // the whole record reached the file
        std::int16_t shownNumber = 0;  // the number to show for it (when written)
        QString error;                 // the reason when it was tried and not written
    };

    // Opens `path` for appending (created when missing) and switches logging
    // on. On failure returns a message for the user naming the file and the
    // reason; then nothing changes. Called while logging is already on, it
    // moves to the new file on success and keeps the current one on failure.
    std::optional<QString> start(const QString& path);

    // Syncs and closes the log file, if one is open, and switches logging off.
    void stop();

    // Syncs and closes the log file; logging stays on and the next record
    // goes to the file that the path names then (created if missing).
    void reopen();

    // While logging is on, writes one record (the wall clock's time in the
    // general date format of `locale`, then the words) in one write. A written
    // record takes the counter's value as its number and advances the counter,
    // which stops at 32767. A record that could not be written is not counted;
    // logging stays on and the next call tries again (after a full disk has
    // room again, logging goes on by itself). A log file renamed or deleted
    // meanwhile is reopened at its path. While logging is off, does nothing.
    //
    // Syncing: a record written 10 s or more after the last sync is synced at
    // once; an earlier one is synced when those 10 s are over, by a timer
    // that runs while the program handles events (without an application
    // object, by the next record).
    RecordResult writeRecord(const QStringList& words, const QLocale& locale);

    bool isLogging() const { return flag_ == kLoggingOn; }
    std::int16_t flag() const { return flag_; }
    // The number the next written record will show.
    std::int16_t recordCounter() const { return counter_; }
    // The name given to the last successful start(); kept after stop().
    QString fileName() const { return fileName_; }

    // For tests: lets a run begin near the counter's limit.
    void setRecordCounter(std::int16_t value) { counter_ = value; }

  private:
    void syncNowOrLater();
    void syncNow();

    const Clock& steady_;
    const WallClock& wall_;
    DataSync& sync_;
    std::int16_t flag_ = kLoggingOff;
    std::int16_t counter_ = kCounterStart;
    LogFile file_;
    QString fileName_;
    qint64 syncIntervalMs_;
    std::optional<qint64> lastSyncMs_;
    bool unsynced_ = false;
    std::unique_ptr<QTimer> syncTimer_;
};

}  // namespace tarnwick
