// The user's alarm command, run for real: small sh scripts written into a
// temporary folder tell what they were given, hang, fail or wait for the test.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "../TestPrinters.h"
#include "../Waiting.h"
#include "AlarmCommand.h"

namespace tarnwick::test {
namespace {

AlarmEvent sensorEvent(int number, AlarmState from, AlarmState to) {
    AlarmEvent event;
    event.number = number;
    event.rom = QStringLiteral("9C000000B4A8982%1").arg(number);
    event.from = from;
    event.to = to;
    event.at = QDateTime(QDate(2026, 12, 7), QTime(7, 0, 5), Qt::OffsetFromUTC, 3600);
    event.adapter = QStringLiteral("192.168.1.50");
    return event;
}

class AlarmCommandTest : public ::testing::Test {
  protected:
    // An executable sh script of `body`, with DIR standing for the folder.
    QString script(const QString& body) {
        const QString path = dir.filePath(QStringLiteral("command.sh"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("#!/bin/sh\n" +
                   QString(body).replace(QStringLiteral("DIR"), dir.path()).toUtf8());
        file.close();
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
        return path;
    }
    QString read(const QString& name) const {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    void listen(AlarmCommand& command) {
        command.setFailureListener(
            [this](const std::optional<QString>& reason) { told.push_back(reason); });
    }

    QTemporaryDir dir;
    std::vector<std::optional<QString>> told;
};

// Every variable, for a limit raised, a fault raised by a failed reading, a
// limit cleared and the adapter; the command's output and errors both reach
// the file it was handed.
TEST_F(AlarmCommandTest, RunsWithTheFactsInItsEnvironment) {
    AlarmEvent high = sensorEvent(3, AlarmState::Ok, AlarmState::High);
    high.name = QStringLiteral("Freezer");
    high.word = QStringLiteral("38FF");
    high.celsius = -12.5;
    high.limit = -15;
    AlarmEvent fault = sensorEvent(5, AlarmState::Ok, AlarmState::Fault);
    fault.word = QStringLiteral("0000");
    fault.at = QDateTime(QDate(2026, 7, 1), QTime(23, 59, 59), Qt::UTC);
    AlarmEvent cleared = sensorEvent(6, AlarmState::Low, AlarmState::Ok);
    cleared.name = QStringLiteral("Cellar");
    cleared.word = QStringLiteral("3D00");
    cleared.celsius = 3.8125;
    cleared.limit = 3;
    AlarmEvent adapter = sensorEvent(0, AlarmState::Ok, AlarmState::Fault);
    adapter.subject = AlarmEvent::Subject::Adapter;
    adapter.rom.clear();
    adapter.reason = QStringLiteral("timed out");
    adapter.at =
        QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::OffsetFromUTC, -(5 * 3600 + 1800));

    const struct {
        AlarmEvent event;
        const char* file;
        const char* variables;
    } cases[] = {
        {high, "sensor3",
         "ADAPTER=192.168.1.50\nKIND=high\nLIMIT=-15\n"
         "MESSAGE=Alarm: sensor 3 (Freezer, 9C000000B4A89823) high: -12.50 °C, above -15 °C\n"
         "NAME=Freezer\nPREVIOUS=ok\nREADING=-12.5\nROM=9C000000B4A89823\nSENSOR=3\n"
         "STATE=high\nSUBJECT=sensor\nTIME=2026-12-07T07:00:05+01:00\nWORD=38FF\n"},
        {fault, "sensor5",
         "ADAPTER=192.168.1.50\nKIND=fault\nLIMIT=\n"
         "MESSAGE=Alarm: sensor 5 (9C000000B4A89825) fault: no valid reading (0000)\n"
         "NAME=\nPREVIOUS=ok\nREADING=\nROM=9C000000B4A89825\nSENSOR=5\n"
         "STATE=fault\nSUBJECT=sensor\nTIME=2026-07-01T23:59:59+00:00\nWORD=0000\n"},
        {cleared, "sensor6",
         "ADAPTER=192.168.1.50\nKIND=low\nLIMIT=3\n"
         "MESSAGE=Alarm cleared: sensor 6 (Cellar, 9C000000B4A89826) low: 3.81 °C\n"
         "NAME=Cellar\nPREVIOUS=low\nREADING=3.8125\nROM=9C000000B4A89826\nSENSOR=6\n"
         "STATE=ok\nSUBJECT=sensor\nTIME=2026-12-07T07:00:05+01:00\nWORD=3D00\n"},
        {adapter, "adapter",
         "ADAPTER=192.168.1.50\nKIND=fault\nLIMIT=\n"
         "MESSAGE=Alarm: adapter 192.168.1.50 not answering: timed out\n"
         "NAME=\nPREVIOUS=ok\nREADING=\nROM=\nSENSOR=\n"
         "STATE=fault\nSUBJECT=adapter\nTIME=2026-01-02T03:04:05-05:30\nWORD=\n"},
    };
    QFile output(dir.filePath(QStringLiteral("output")));
    ASSERT_TRUE(output.open(QIODevice::WriteOnly));
    AlarmCommand command(
        script(QStringLiteral("env | sed -n 's/^TARNWICK_ALARM_//p' | LC_ALL=C sort "
                              "> DIR/$TARNWICK_ALARM_SUBJECT$TARNWICK_ALARM_SENSOR\n"
                              "echo \"out $TARNWICK_ALARM_SENSOR\"\n"
                              "echo \"err $TARNWICK_ALARM_SENSOR\" >&2\n")),
        AlarmCommand::kTimeLimitMs, output.handle());
    listen(command);
    for (const auto& c : cases) command.alarmChanged(c.event);
    ASSERT_TRUE(eventually([&] { return command.idle(); }));
    for (const auto& c : cases) EXPECT_EQ(read(c.file), QString::fromUtf8(c.variables)) << c.file;
    QStringList lines = read(QStringLiteral("output")).split(u'\n', Qt::SkipEmptyParts);
    lines.sort();
    EXPECT_EQ(lines,
              QStringList({"err ", "err 3", "err 5", "err 6", "out ", "out 3", "out 5", "out 6"}));
    EXPECT_TRUE(told.empty());
}

// A command that hangs is killed at the limit with what it started, and the
// failure is told once however often it hangs again.
TEST_F(AlarmCommandTest, AHangingCommandIsKilledAtItsLimitAndToldOnce) {
    const QString program =
        script(QStringLiteral("sleep 30 &\necho $! > DIR/child\nwait\necho ended > DIR/ended\n"));
    AlarmCommand command(program, 300);
    listen(command);
    for (const AlarmState to : {AlarmState::High, AlarmState::Ok}) {
        command.alarmChanged(
            sensorEvent(2, to == AlarmState::Ok ? AlarmState::High : AlarmState::Ok, to));
        ASSERT_TRUE(eventually([&] { return command.idle(); }));
        // The sleep it started is gone too (a zombie at most, where nobody
        // reaps the orphans).
        const QString stat = [&] {
            QFile file(
                QStringLiteral("/proc/%1/stat").arg(read(QStringLiteral("child")).trimmed()));
            return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
        }();
        EXPECT_TRUE(stat.isEmpty() || stat.contains(QStringLiteral(") Z "))) << stat.toStdString();
    }
    EXPECT_EQ(read(QStringLiteral("ended")), QString());
    EXPECT_EQ(told, std::vector<std::optional<QString>>({program + " killed after 0.3 s"}));
}

// A failure (exit status, signal, no program) is told once; a run that
// succeeds clears it.
TEST_F(AlarmCommandTest, AFailureIsToldOnceAndClearedByASuccess) {
    const QString program = script(QStringLiteral(
        "read status < DIR/status\n[ \"$status\" = crash ] && kill -TERM $$\nexit \"$status\"\n"));
    AlarmCommand command(program);
    listen(command);
    int number = 0;
    for (const char* status : {"3", "3", "0", "crash", "0", "0"}) {
        QFile file(dir.filePath(QStringLiteral("status")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(status);
        file.close();
        command.alarmChanged(sensorEvent(++number, AlarmState::Ok, AlarmState::High));
        ASSERT_TRUE(eventually([&] { return command.idle(); })) << status;
    }
    EXPECT_EQ(told, std::vector<std::optional<QString>>(
                        {program + " ended with exit status 3", std::nullopt,
                         program + " ended by signal 15", std::nullopt}));

    told.clear();
    AlarmCommand missing(dir.filePath(QStringLiteral("missing")));
    listen(missing);
    missing.alarmChanged(sensorEvent(1, AlarmState::Ok, AlarmState::High));
    ASSERT_TRUE(eventually([&] { return missing.idle(); }));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_TRUE(told[0].value_or("").startsWith(dir.filePath("missing") + " could not start: "))
        << told[0].value_or("").toStdString();
}

// While a sensor's command runs, its next changes wait and only the newest is
// told after it; another sensor's command runs meanwhile.
TEST_F(AlarmCommandTest, OneSensorRunsOneAtATimeAndItsNewestChangeWins) {
    AlarmCommand command(script(QStringLiteral(
        "echo \"$TARNWICK_ALARM_SENSOR $TARNWICK_ALARM_PREVIOUS>$TARNWICK_ALARM_STATE\" >> "
        "DIR/told\n"
        "if [ \"$TARNWICK_ALARM_STATE\" = high ]; then\n"
        "  while [ ! -e DIR/go ]; do sleep 0.02; done\n"
        "fi\n")));
    const auto toldLines = [&] {
        return read(QStringLiteral("told")).split(u'\n', Qt::SkipEmptyParts);
    };
    command.alarmChanged(sensorEvent(3, AlarmState::Ok, AlarmState::High));
    ASSERT_TRUE(eventuallyEquals(toldLines, QStringList{"3 ok>high"}));
    command.alarmChanged(sensorEvent(3, AlarmState::High, AlarmState::Ok));
    command.alarmChanged(sensorEvent(3, AlarmState::Ok, AlarmState::Low));
    command.alarmChanged(sensorEvent(4, AlarmState::Ok, AlarmState::Fault));
    ASSERT_TRUE(eventuallyEquals(toldLines, QStringList({"3 ok>high", "4 ok>fault"})));
    EXPECT_TRUE(eventuallyEquals([&] { return command.running(); }, 1))
        << "sensor 3's first command still runs";
    QFile(dir.filePath(QStringLiteral("go"))).open(QIODevice::WriteOnly);
    ASSERT_TRUE(eventually([&] { return command.idle(); }));
    EXPECT_EQ(toldLines(), QStringList({"3 ok>high", "4 ok>fault", "3 ok>low"}));
}

}  // namespace
}  // namespace tarnwick::test
