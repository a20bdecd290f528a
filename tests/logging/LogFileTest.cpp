#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>

#include "../TestPrinters.h"
#include "LogFile.h"
#include "TestFiles.h"

namespace tarnwick::test {
namespace {

class LogFileTest : public ::testing::Test {
  protected:
    QString pathOf(const QString& name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

TEST_F(LogFileTest, CreatesAMissingFileAndAppends) {
    const QString path = pathOf("new.log");
    LogFile file;
    ASSERT_EQ(file.open(path), std::nullopt);
    EXPECT_TRUE(file.isOpen());
    EXPECT_EQ(file.path(), path);
    EXPECT_EQ(file.append("one\r\n"), std::nullopt);
    EXPECT_EQ(file.append("two\r\n"), std::nullopt);
    EXPECT_EQ(readAll(path), QByteArray("one\r\ntwo\r\n"));
}

// Existing content is kept; a last line cut before its line end (a power cut
// mid-write) is ended once, before the first record, never glued to it.
TEST_F(LogFileTest, KeepsExistingContentAndEndsACutLastLine) {
    const struct {
        const char* before;
        const char* after;
    } cases[] = {
        {"earlier line\r\n", "earlier line\r\nlater\r\nnext\r\n"},
        {"unix line\n", "unix line\nlater\r\nnext\r\n"},
        {"12/7/2026 7:12:49 AM, 0191 , 01", "12/7/2026 7:12:49 AM, 0191 , 01\r\nlater\r\nnext\r\n"},
        {"cut after CR\r", "cut after CR\r\r\nlater\r\nnext\r\n"},
    };
    for (const auto& c : cases) {
        const QString path = pathOf("old.log");
        ASSERT_TRUE(writeAll(path, c.before));
        LogFile file;
        ASSERT_EQ(file.open(path), std::nullopt);
        ASSERT_EQ(file.append("later\r\n"), std::nullopt);
        ASSERT_EQ(file.append("next\r\n"), std::nullopt);
        EXPECT_EQ(readAll(path), QByteArray(c.after)) << c.before;
    }
}

TEST_F(LogFileTest, ReopeningMovesToTheNewFile) {
    LogFile file;
    ASSERT_EQ(file.open(pathOf("a.log")), std::nullopt);
    ASSERT_EQ(file.open(pathOf("b.log")), std::nullopt);
    ASSERT_EQ(file.append("x\r\n"), std::nullopt);
    EXPECT_EQ(readAll(pathOf("a.log")), QByteArray());
    EXPECT_EQ(readAll(pathOf("b.log")), QByteArray("x\r\n"));
}

TEST_F(LogFileTest, RefusesWhatCannotHoldALog) {
    LogFile file;
    EXPECT_EQ(file.open(dir_.path()), QStringLiteral("Is a directory"));
    EXPECT_EQ(file.open(dir_.path() + "/"), QStringLiteral("Is a directory"));
    EXPECT_EQ(file.open(pathOf("no/such/folder/x.log")),
              QStringLiteral("No such file or directory"));
    EXPECT_EQ(file.open(QString()), QStringLiteral("No such file or directory"));

    ASSERT_TRUE(writeAll(pathOf("plain"), "text"));
    EXPECT_EQ(file.open(pathOf("plain/x.log")), QStringLiteral("Not a directory"));
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(file.append("x\r\n"), QStringLiteral("Bad file descriptor"));
}

// A named pipe without a reader would block an ordinary open for writing.
TEST_F(LogFileTest, RefusesANamedPipeWithoutBlocking) {
    const QByteArray fifo = QFile::encodeName(pathOf("pipe"));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    LogFile file;
    const std::optional<QString> reason = file.open(QFile::decodeName(fifo));
    ASSERT_TRUE(reason.has_value());
    EXPECT_FALSE(file.isOpen());
}

TEST_F(LogFileTest, FullDeviceReportsNoSpace) {
    LogFile file;
    ASSERT_EQ(file.open("/dev/full"), std::nullopt);
    EXPECT_EQ(file.append("x\r\n"), QStringLiteral("No space left on device"));
    EXPECT_TRUE(file.isOpen());
}

// A file size limit lets the first part of a record through and then fails
// with EFBIG; what got through is cut off again, the line end owed to a cut
// last line with it, and the next record still brings that line end. Runs in a
// child process so the limit and the ignored signal stay there.
TEST_F(LogFileTest, PartialWriteIsRolledBack) {
    const QString path = pathOf("limited.log");
    const QByteArray before("whole line\r\ncut");
    ASSERT_TRUE(writeAll(path, before));
    const QByteArray record(100, 'r');

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(before.size() + 40),
                           static_cast<rlim_t>(before.size() + 40)};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(10);
        LogFile file;
        if (file.open(path)) ::_exit(11);
        const std::optional<QString> reason = file.append(record + "\r\n");
        if (!reason) ::_exit(12);
        if (*reason != QStringLiteral("File too large")) ::_exit(13);
        // Something that fits still goes through afterwards.
        if (file.append("short\r\n")) ::_exit(14);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readAll(path), before + "\r\nshort\r\n");
}

TEST_F(LogFileTest, MovedFileKeepsWriting) {
    const QString path = pathOf("moved.log");
    LogFile first;
    ASSERT_EQ(first.open(path), std::nullopt);
    LogFile second(std::move(first));
    EXPECT_FALSE(first.isOpen());
    ASSERT_EQ(second.append("m\r\n"), std::nullopt);
    EXPECT_EQ(readAll(path), QByteArray("m\r\n"));
}

TEST_F(LogFileTest, UnwritableFileIsRefused) {
    if (::geteuid() == 0) GTEST_SKIP() << "file permissions do not bind root";
    const QString path = pathOf("locked.log");
    ASSERT_TRUE(writeAll(path, "x"));
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner));
    LogFile file;
    EXPECT_EQ(file.open(path), QStringLiteral("Permission denied"));
}

}  // namespace
}  // namespace tarnwick::test
