#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "../TestPrinters.h"
#include "LogFollower.h"
#include "LoggerLines.h"
#include "Timestamp.h"

namespace tarnwick::test {
namespace {

// What the logger does to its file, one step at a time, and what a follower
// reads after each: only what is new, in file order.
TEST(LogFollower, ReadsWhatIsAppendedThroughRotationsAndCuts) {
    QTemporaryDir dir;
    const QString log = dir.filePath("tarnwick.log");
    append(log, recordAt(0) + recordAt(1));

    const QLocale locale("en_US");
    auto reader = std::make_unique<LogReader>(log, locale, BadLineHandler());
    ASSERT_FALSE(reader->open());
    reader->follow(true);
    while (reader->next()) {
    }
    std::vector<int> seconds;
    QStringList notes;
    int batches = 0;
    LogFollower follower(
        std::move(reader), locale,
        [&](const LogRecord& r) { seconds.push_back(static_cast<int>(r.time % 60)); },
        [&] { ++batches; }, [&](const QString& note) { notes << note; });

    const auto step = [&](const char* what, const std::function<void()>& change,
                          std::vector<int> expected, const char* note) {
        SCOPED_TRACE(what);
        seconds.clear();
        notes.clear();
        change();
        EXPECT_EQ(follower.poll(), static_cast<int>(expected.size()));
        EXPECT_EQ(seconds, expected);
        if (note) EXPECT_TRUE(notes.join('\n').contains(note)) << notes.join('\n').toStdString();
        if (!note) EXPECT_TRUE(notes.isEmpty()) << notes.join('\n').toStdString();
    };
    const QByteArray third = recordAt(3);
    step(
        "nothing new", [] {}, {}, nullptr);
    step(
        "half a record written", [&] { append(log, third.left(20)); }, {}, nullptr);
    step(
        "and the rest of it", [&] { append(log, third.mid(20)); }, {3}, nullptr);
    step(
        "renamed; the logger still writes to it",
        [&] {
            ASSERT_TRUE(QFile::rename(log, log + ".1"));
            append(log + ".1", recordAt(4));
        },
        {4}, nullptr);
    step(
        "made anew at its path",
        [&] {
            append(log + ".1", recordAt(5));
            append(log, recordAt(6) + recordAt(7));
        },
        {5, 6, 7}, "rotated");
    step(
        "cut short and written again",
        [&] {
            QFile file(log);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(recordAt(8));
        },
        {8}, "cut short");
    step(
        "a line that is not a record", [&] { append(log, "garbage\r\n" + recordAt(9)); }, {9},
        "tarnwick.log:2: not a record");
    EXPECT_EQ(batches, 5);
}

}  // namespace
}  // namespace tarnwick::test
