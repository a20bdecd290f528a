#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <QTime>
#include <csignal>

#include "../FakeClocks.h"
#include "../TestPrinters.h"
#include "LogControl.h"
#include "TestFiles.h"

namespace tarnwick::test {
namespace {

const QStringList kTwelve{"0191", "018F", "0000", "0190", "0191", "0192",
                          "018E", "0193", "0191", "0190", "018F", "0192"};
const QByteArray kTwelveLine =
    "12/7/2026 7:12:49 AM, 0191 , 018F , 0000 , 0190 , 0191 , 0192 , 018E , 0193 , 0191 , 0190 , "
    "018F , 0192\r\n";

QStringList sixteenWords() {
    QStringList words = kTwelve;
    words << "01A0"
          << "01A1"
          << "01A2"
          << "01A3";
    return words;
}

// Records which file each sync reaches; the data goes nowhere further.
struct RecordingSync : DataSync {
    int syncData(int fd) override {
        synced << QFileInfo(QStringLiteral("/proc/self/fd/%1").arg(fd)).symLinkTarget();
        return 0;
    }
    QStringList synced;
};

class LogControlTest : public ::testing::Test {
  protected:
    QString pathOf(const QString& name) const { return dir_.filePath(name); }
    LogControl::RecordResult write(const QStringList& words = kTwelve) {
        return log_.writeRecord(words, us_);
    }

    QTemporaryDir dir_;
    FakeClock steady_;
    FakeWallClock wall_;  // 7 Dec 2026 07:12:49
    RecordingSync sync_;
    LogControl log_{steady_, wall_, sync_};
    const QLocale us_{"en_US"};
};

TEST_F(LogControlTest, StartsOffWithCounterOne) {
    EXPECT_FALSE(log_.isLogging());
    EXPECT_EQ(log_.flag(), 0);
    EXPECT_EQ(log_.recordCounter(), 1);
    EXPECT_EQ(log_.fileName(), QString());
}

TEST_F(LogControlTest, NothingIsWrittenWhileOff) {
    const LogControl::RecordResult result = write();
    EXPECT_FALSE(result.attempted);
    EXPECT_FALSE(result.written);
    EXPECT_EQ(log_.recordCounter(), 1);
}

TEST_F(LogControlTest, RecordsAreNumberedOneThenTwo) {
    const QString path = pathOf("run.log");
    ASSERT_EQ(log_.start(path), std::nullopt);
    EXPECT_TRUE(log_.isLogging());
    EXPECT_EQ(log_.flag(), -1);
    EXPECT_EQ(log_.fileName(), path);

    const LogControl::RecordResult first = write();
    EXPECT_TRUE(first.attempted);
    EXPECT_TRUE(first.written);
    EXPECT_EQ(first.shownNumber, 1);
    EXPECT_TRUE(first.error.isEmpty());
    const LogControl::RecordResult second = write();
    EXPECT_EQ(second.shownNumber, 2);
    EXPECT_EQ(log_.recordCounter(), 3);

    EXPECT_EQ(readAll(path), kTwelveLine + kTwelveLine);
}

TEST_F(LogControlTest, WordCountFollowsEachCall) {
    const QString path = pathOf("count.log");
    ASSERT_EQ(log_.start(path), std::nullopt);
    write(kTwelve);
    write(sixteenWords());
    const QList<QByteArray> lines = readAll(path).split('\n');
    ASSERT_EQ(lines.size(), 3);  // two lines and the empty rest after the last LF
    EXPECT_EQ(lines[0].count(" , "), 11);
    EXPECT_EQ(lines[1].count(" , "), 15);
    EXPECT_TRUE(lines[1].endsWith(", 01A2 , 01A3\r"));
    EXPECT_TRUE(lines[2].isEmpty());
}

TEST_F(LogControlTest, CounterRunsOnIntoTheNextFile) {
    ASSERT_EQ(log_.start(pathOf("first.log")), std::nullopt);
    write();
    write();
    log_.stop();
    EXPECT_FALSE(log_.isLogging());
    EXPECT_EQ(log_.flag(), 0);
    EXPECT_EQ(log_.fileName(), pathOf("first.log"));
    EXPECT_FALSE(write().attempted);

    ASSERT_EQ(log_.start(pathOf("second.log")), std::nullopt);
    EXPECT_EQ(write().shownNumber, 3);
    EXPECT_EQ(readAll(pathOf("first.log")), kTwelveLine + kTwelveLine);
    EXPECT_EQ(readAll(pathOf("second.log")), kTwelveLine);
}

TEST_F(LogControlTest, CounterStopsAt32767AndRecordsGoOn) {
    const QString path = pathOf("long.log");
    log_.setRecordCounter(32766);
    ASSERT_EQ(log_.start(path), std::nullopt);
    EXPECT_EQ(write().shownNumber, 32766);
    EXPECT_EQ(write().shownNumber, 32767);
    const LogControl::RecordResult third = write();
    EXPECT_TRUE(third.written);
    EXPECT_EQ(third.shownNumber, 32767);
    EXPECT_EQ(write().shownNumber, 32767);
    EXPECT_EQ(log_.recordCounter(), 32767);
    EXPECT_EQ(readAll(path), kTwelveLine + kTwelveLine + kTwelveLine + kTwelveLine);
}

TEST_F(LogControlTest, AppendsAfterExistingContent) {
    const QString path = pathOf("existing.log");
    ASSERT_TRUE(writeAll(path, "from last week\r\n"));
    ASSERT_EQ(log_.start(path), std::nullopt);
    write();
    EXPECT_EQ(readAll(path), "from last week\r\n" + kTwelveLine);
}

TEST_F(LogControlTest, CreatesAMissingFile) {
    const QString path = pathOf("fresh.log");
    ASSERT_FALSE(QFileInfo::exists(path));
    ASSERT_EQ(log_.start(path), std::nullopt);
    EXPECT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(readAll(path), QByteArray());
}

TEST_F(LogControlTest, FailedStartNamesTheFileAndLeavesLoggingOff) {
    ASSERT_EQ(log_.start(pathOf("good.log")), std::nullopt);
    write();
    log_.stop();

    const QString missing = pathOf("missing/x.log");
    EXPECT_EQ(log_.start(missing), QStringLiteral("Cannot open the log file \"%1\" for "
                                                  "appending: No such file or directory.")
                                       .arg(missing));
    EXPECT_EQ(log_.start(dir_.path()), QStringLiteral("Cannot open the log file \"%1\" for "
                                                      "appending: Is a directory.")
                                           .arg(dir_.path()));
    ASSERT_TRUE(writeAll(pathOf("plain"), "text"));
    EXPECT_EQ(log_.start(pathOf("plain/x.log")),
              QStringLiteral("Cannot open the log file \"%1\" for appending: Not a directory.")
                  .arg(pathOf("plain/x.log")));

    EXPECT_FALSE(log_.isLogging());
    EXPECT_EQ(log_.flag(), 0);
    EXPECT_EQ(log_.recordCounter(), 2);
    EXPECT_EQ(log_.fileName(), pathOf("good.log"));
    EXPECT_FALSE(write().attempted);
}

// Root may write almost anywhere, but not create files in sysfs.
TEST_F(LogControlTest, FailedStartInASystemFolder) {
    if (!QFileInfo(QStringLiteral("/sys/kernel")).isDir()) GTEST_SKIP() << "no sysfs here";
    const QString path = QStringLiteral("/sys/tarnwick-test.log");
    const std::optional<QString> message = log_.start(path);
    ASSERT_TRUE(message.has_value());
    EXPECT_TRUE(message->startsWith(
        QStringLiteral("Cannot open the log file \"/sys/tarnwick-test.log\" for appending: ")))
        << message->toStdString();
    EXPECT_EQ(log_.flag(), 0);
}

TEST_F(LogControlTest, FailedStartForAnUnwritableFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "file permissions do not bind root";
    const QString path = pathOf("locked.log");
    ASSERT_TRUE(writeAll(path, "x"));
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner));
    EXPECT_EQ(log_.start(path),
              QStringLiteral("Cannot open the log file \"%1\" for appending: Permission denied.")
                  .arg(path));
    EXPECT_EQ(log_.flag(), 0);
}

TEST_F(LogControlTest, FailedStartWhileLoggingKeepsTheCurrentFile) {
    const QString path = pathOf("current.log");
    ASSERT_EQ(log_.start(path), std::nullopt);
    EXPECT_TRUE(log_.start(pathOf("missing/x.log")).has_value());
    EXPECT_TRUE(log_.isLogging());
    EXPECT_EQ(log_.fileName(), path);
    EXPECT_TRUE(write().written);
    EXPECT_EQ(readAll(path), kTwelveLine);
}

TEST_F(LogControlTest, FailedWriteIsNotCountedAndLoggingStaysOn) {
    ASSERT_EQ(log_.start("/dev/full"), std::nullopt);
    const LogControl::RecordResult failed = write();
    EXPECT_TRUE(failed.attempted);
    EXPECT_FALSE(failed.written);
    EXPECT_EQ(failed.error, QStringLiteral("No space left on device"));
    EXPECT_TRUE(log_.isLogging());
    EXPECT_EQ(log_.recordCounter(), 1);
    EXPECT_FALSE(write().written);  // tried again on the next pass
    EXPECT_EQ(log_.recordCounter(), 1);

    log_.stop();
    const QString path = pathOf("good.log");
    ASSERT_EQ(log_.start(path), std::nullopt);
    const LogControl::RecordResult good = write();
    EXPECT_TRUE(good.written);
    EXPECT_EQ(good.shownNumber, 1);
    EXPECT_EQ(log_.recordCounter(), 2);
    EXPECT_EQ(readAll(path), kTwelveLine);
}

// A write cut short by the file size limit (a disk that fills up) leaves no
// half record and is not counted; once there is room again, logging goes on
// by itself. The limit and the ignored signal are confined to a child process.
TEST_F(LogControlTest, PartialRecordIsRemovedAndNotCounted) {
    const QString path = pathOf("limited.log");
    ASSERT_TRUE(writeAll(path, kTwelveLine));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlim_t size = static_cast<rlim_t>(kTwelveLine.size() * 2 + 30);
        const rlimit limit{size, RLIM_INFINITY};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(10);
        LogControl log(steady_, wall_);
        if (log.start(path)) ::_exit(11);
        const LogControl::RecordResult whole = log.writeRecord(kTwelve, us_);
        if (!whole.written || whole.shownNumber != 1) ::_exit(12);
        const LogControl::RecordResult cut = log.writeRecord(kTwelve, us_);
        if (cut.written || cut.error != QStringLiteral("File too large")) ::_exit(13);
        if (log.recordCounter() != 2 || !log.isLogging()) ::_exit(14);
        const rlimit room{RLIM_INFINITY, RLIM_INFINITY};
        if (::setrlimit(RLIMIT_FSIZE, &room) != 0) ::_exit(15);
        const LogControl::RecordResult again = log.writeRecord(kTwelve, us_);
        if (!again.written || again.shownNumber != 2) ::_exit(16);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readAll(path), kTwelveLine + kTwelveLine + kTwelveLine);
}

// Log rotation: the file renamed away, then deleted, then its folder gone for
// a while. Each record goes to the path the user chose, never to a file that
// has lost its name; a record that cannot go there is not counted.
TEST_F(LogControlTest, RecordsFollowThePathWhenTheFileIsRenamedDeletedOrReopened) {
    ASSERT_TRUE(QDir(dir_.path()).mkdir("logs"));
    const QString path = pathOf("logs/run.log");
    ASSERT_EQ(log_.start(path), std::nullopt);
    EXPECT_EQ(write().shownNumber, 1);
    ASSERT_TRUE(QFile::rename(path, pathOf("logs/run.log.1")));
    EXPECT_EQ(write().shownNumber, 2);
    EXPECT_EQ(readAll(pathOf("logs/run.log.1")), kTwelveLine);
    EXPECT_EQ(readAll(path), kTwelveLine);

    ASSERT_TRUE(QFile::remove(path));
    EXPECT_EQ(write().shownNumber, 3);
    EXPECT_EQ(readAll(path), kTwelveLine);

    ASSERT_TRUE(QDir(pathOf("logs")).removeRecursively());
    const LogControl::RecordResult lost = write();
    EXPECT_FALSE(lost.written);
    EXPECT_EQ(lost.error, QStringLiteral("No such file or directory"));
    EXPECT_TRUE(log_.isLogging());
    ASSERT_TRUE(QDir(dir_.path()).mkdir("logs"));
    EXPECT_EQ(write().shownNumber, 4);
    EXPECT_EQ(readAll(path), kTwelveLine);

    // Asked to reopen (log rotation's SIGHUP), it lets go of the file at once
    // and takes the one the path names at the next record.
    const auto heldOpen = [](const QString& file) {
        const QDir fds(QStringLiteral("/proc/self/fd"));
        for (const QFileInfo& fd :
             fds.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System))
            if (fd.symLinkTarget() == QFileInfo(file).absoluteFilePath()) return true;
        return false;
    };
    ASSERT_TRUE(heldOpen(path));
    log_.reopen();
    EXPECT_FALSE(heldOpen(path));
    EXPECT_TRUE(log_.isLogging());
    EXPECT_EQ(write().shownNumber, 5);
    EXPECT_EQ(readAll(path), kTwelveLine + kTwelveLine);
}

// The file is synced at the first record, then at most once per sync
// interval (10 s unless --sync-interval chooses another): a record written
// sooner is synced by a timer when the interval is over.
TEST_F(LogControlTest, SyncsAtMostOncePerIntervalAndNeverLeavesARecordLonger) {
    for (const qint64 interval : {LogControl::kSyncIntervalMs, qint64{60'000}}) {
        SCOPED_TRACE(interval);
        qint64& now = steady_.now;
        now = 0;
        RecordingSync sync;
        LogControl log(steady_, wall_, sync, interval);
        const auto write = [&] { log.writeRecord(kTwelve, us_); };
        ASSERT_EQ(log.start(pathOf("synced.log")), std::nullopt);
        const QString path = QFileInfo(pathOf("synced.log")).canonicalFilePath();
        const auto syncedTimes = [&](int n) { return QStringList(n, path); };
        EXPECT_EQ(sync.synced, syncedTimes(0));
        write();
        EXPECT_EQ(sync.synced, syncedTimes(1));
        for (now = 100; now < interval - 1'000; now += 100) write();
        EXPECT_EQ(sync.synced, syncedTimes(1));
        now = interval;
        write();
        EXPECT_EQ(sync.synced, syncedTimes(2));

        now = 2 * interval - 10;  // a record, then nothing: the timer syncs it 10 ms later
        write();
        EXPECT_EQ(sync.synced, syncedTimes(2));
        QElapsedTimer waited;
        waited.start();
        while (sync.synced.size() == 2 && waited.elapsed() < 2'000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        EXPECT_EQ(sync.synced, syncedTimes(3));
        log.stop();
        EXPECT_EQ(sync.synced, syncedTimes(3)) << "nothing new to sync on closing";
    }
}

// A record written inside the sync interval waits for its sync; closing the
// log (Stop Logging, Stop Program, the service's stop) or reopening it (SIGHUP)
// must not let it go unsynced.
TEST_F(LogControlTest, StopAndReopenSyncARecordStillWaiting) {
    for (const bool reopen : {false, true}) {
        SCOPED_TRACE(reopen ? "reopen" : "stop");
        RecordingSync sync;
        LogControl log(steady_, wall_, sync);
        ASSERT_EQ(log.start(pathOf("closing.log")), std::nullopt);
        log.writeRecord(kTwelve, us_);  // synced at once: the first one
        steady_.now += 1'000;
        log.writeRecord(kTwelve, us_);  // inside the interval: waits
        ASSERT_EQ(sync.synced.size(), 1);
        if (reopen)
            log.reopen();
        else
            log.stop();
        EXPECT_EQ(sync.synced.size(), 2);
        log.stop();
    }
}

TEST_F(LogControlTest, StopWhileNotLoggingIsHarmless) {
    log_.stop();
    log_.stop();
    EXPECT_EQ(log_.flag(), 0);
    EXPECT_EQ(log_.recordCounter(), 1);
    ASSERT_EQ(log_.start(pathOf("after.log")), std::nullopt);
    EXPECT_EQ(write().shownNumber, 1);
}

TEST_F(LogControlTest, ReaderSeesWholeLinesAfterEachRecord) {
    const QString path = pathOf("watched.log");
    ASSERT_EQ(log_.start(path), std::nullopt);
    QFile reader(path);
    ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
    for (int n = 1; n <= 5; ++n) {
        write(n % 2 ? kTwelve : sixteenWords());
        reader.seek(0);
        const QByteArray seen = reader.readAll();
        EXPECT_EQ(seen.count("\r\n"), n);
        EXPECT_TRUE(seen.endsWith("\r\n"));
    }
}

// Logging switched on and off many times in a long run must not use up
// file descriptors.
TEST_F(LogControlTest, StartAndStopDoNotLeakDescriptors) {
    const auto openDescriptors = [] {
        return QDir(QStringLiteral("/proc/self/fd"))
            .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
            .size();
    };
    const qsizetype before = openDescriptors();
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(log_.start(pathOf(i % 2 ? "a.log" : "b.log")), std::nullopt);
        if (i % 3 == 0) log_.start(pathOf("missing/x.log"));
        log_.stop();
    }
    EXPECT_EQ(openDescriptors(), before);
}

}  // namespace
}  // namespace tarnwick::test
