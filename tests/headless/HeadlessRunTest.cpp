// The headless logger in this process, on a scripted adapter and a clock the
// test moves: what the service manager is told and when (READY, the
// watchdog's largest gap, STOPPING), a log that cannot be written, the
// signals that reopen the log and end the run, an error that escapes a
// handler, and an alarm command that hangs.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <stdexcept>

#include "../TestPrinters.h"
#include "../Waiting.h"
#include "../acquisition/FakeAdapter.h"
#include "AlarmCommand.h"
#include "AlarmOutlets.h"
#include "EscapingApplication.h"
#include "ExitStatus.h"
#include "FakeClocks.h"
#include "HeadlessLogger.h"
#include "ReadingsPublisher.h"
#include "RosterFile.h"
#include "SignalWatch.h"
#include "WatchdogPump.h"

namespace tarnwick::test {
namespace {

// Every wait lasts one step of the clock (or less, when it has a shorter
// timeout), lets the application's events through and completes the page
// under way.
class SteppingPump : public EventPump, public Clock {
  public:
    explicit SteppingPump(fake::Browser& browser) : browser_(browser) {}
    void waitForEvents() override { waitForEvents(stepMs); }
    void waitForEvents(qint64 timeoutMs) override {
        now += std::min(timeoutMs, stepMs);
        QCoreApplication::processEvents();
        if (onWait) onWait();
        if (!holdPages) browser_.complete();
    }
    qint64 monotonicMs() const override { return now; }

    qint64 now = 0;
    qint64 stepMs = 100;
    bool holdPages = false;
    std::function<void()> onWait;

  private:
    fake::Browser& browser_;
};

// What the service manager hears, with the clock's time of each message.
struct RecordingNotifier : ServiceNotifier {
    explicit RecordingNotifier(const Clock& c) : clock(c) {}
    void notify(const char* state) override {
        told.push_back({QString::fromLatin1(state), clock.monotonicMs()});
    }
    qint64 watchdogIntervalMs() const override { return intervalMs; }
    QStringList states() const {
        QStringList all;
        for (const auto& [state, at] : told) all << state;
        return all;
    }
    const Clock& clock;
    qint64 intervalMs = 2'000;
    std::vector<std::pair<QString, qint64>> told;
};

struct Line {
    int priority;
    QString text;
};

class HeadlessRunTest : public ::testing::Test {
  protected:
    HeadlessRunTest() {
        settings.adapterAddress = QStringLiteral("10.0.0.9");
        settings.logFile = dir.filePath(QStringLiteral("run.log"));
    }
    // Runs the logger until it ends; `onWait` is called in every wait.
    int run(const std::function<void(HeadlessLogger&)>& onWait) {
        HeadlessLogger logger(settings, browser, watchdog, pump, wall, notifier, publisher, outlets,
                              observer, [this](int p, const QString& l) {
                                  lines.push_back({p, l});
                              });
        logger.takeSignals(watch);
        if (EscapeRoute* route = EscapeRoute::current()) logger.takeEscapes(*route);
        pump.onWait = [&] {
            // However the test goes, the run ends.
            if (pump.now > 600'000) logger.stop(QStringLiteral("the test's limit"));
            onWait(logger);
        };
        const int status = logger.run();
        if (EscapeRoute* route = EscapeRoute::current()) route->setEscapeHandler({});
        return status;
    }
    QStringList linesAt(int priority) const {
        QStringList found;
        for (const Line& l : lines)
            if (l.priority == priority) found << l.text;
        return found;
    }
    QStringList logLines() const {
        QFile f(settings.logFile);
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromLatin1(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }

    QTemporaryDir dir;
    RunSettings settings;
    fake::Events events;
    fake::Browser browser{events};
    SteppingPump pump{browser};
    RecordingNotifier notifier{pump};
    WatchdogPump watchdog{pump, pump, notifier};
    FakeWallClock wall;
    NoPublisher publisher;
    AlarmOutlets outlets;
    NoPassObserver observer;
    SignalWatch watch{{SIGTERM, SIGHUP}};
    std::vector<Line> lines;
};

// READY once the first page is asked for, WATCHDOG=1 never further apart than
// half the service manager's interval (plus the one wait that was under way),
// STOPPING=1 last; every record whole; the stop said at info priority.
TEST_F(HeadlessRunTest, TellsTheServiceManagerInTimeAndStopsWhole) {
    pump.stepMs = 250;
    browser.serve = [&](const QString& url) {
        // A slow read now and then: a wait far longer than the watchdog's.
        if (url.contains("Data=BE") && browser.locks % 3 == 0)
            pump.stepMs = 5'000;
        else
            pump.stepMs = 250;
        if (url.contains("GetLock"))
            return fake::inputPage("LockID_0", QString::number(++browser.locks));
        if (url.contains("Data=BE")) return fake::inputPage("ResultData_0", fake::kGood1);
        return QByteArray("<HTML><BODY>OK</BODY></HTML>");
    };
    const int status = run([](HeadlessLogger& logger) {
        if (logger.cycle().passCount() == 6) ::raise(SIGTERM);
    });
    EXPECT_EQ(status, 0);

    const QStringList states = notifier.states();
    ASSERT_FALSE(states.isEmpty());
    EXPECT_EQ(states.constFirst(), "READY=1") << "as the first page is asked for";
    EXPECT_EQ(states.count("READY=1"), 1);
    EXPECT_EQ(states.constLast(), "STOPPING=1");
    qint64 largestGap = 0;
    qint64 last = -1;
    for (const auto& [state, at] : notifier.told) {
        if (state != "WATCHDOG=1") continue;
        if (last >= 0) largestGap = std::max(largestGap, at - last);
        last = at;
    }
    EXPECT_GT(states.count("WATCHDOG=1"), 20);
    EXPECT_LE(largestGap, notifier.intervalMs / 2) << "fed at half the interval";

    const QStringList records = logLines();
    EXPECT_GE(records.size(), 6);
    for (const QString& r : records)
        EXPECT_EQ(r.count(" , "), kDefaultActiveCount - 1) << r.toStdString();
    ASSERT_FALSE(linesAt(HeadlessLogger::kInfo).isEmpty());
    EXPECT_TRUE(
        linesAt(HeadlessLogger::kInfo).constFirst().startsWith("Started: adapter 10.0.0.9"));
    EXPECT_EQ(linesAt(HeadlessLogger::kInfo).constLast(), "Stopped (SIGTERM), log closed");
    EXPECT_TRUE(linesAt(HeadlessLogger::kWarning).isEmpty());
}

// A log on a full device: one warning when the writes start failing, the run
// goes on, and a stop still ends it cleanly.
TEST_F(HeadlessRunTest, AFailedLogWriteIsOneWarning) {
    if (!QFileInfo(QStringLiteral("/dev/full")).isWritable()) GTEST_SKIP() << "no /dev/full";
    settings.logFile = QStringLiteral("/dev/full");
    const int status = run([](HeadlessLogger& logger) {
        if (logger.cycle().passCount() == 4) logger.stop(QStringLiteral("test"));
    });
    EXPECT_EQ(status, 0);
    const QStringList warnings = linesAt(HeadlessLogger::kWarning);
    ASSERT_EQ(warnings.size(), 1) << warnings.join('\n').toStdString();
    EXPECT_TRUE(warnings[0].startsWith("Log write failed: ")) << warnings[0].toStdString();
}

// With no record arriving (the adapter holds its page), the log is renamed
// and SIGHUP lets go of it: the renamed file is no longer held open, and the
// logger says so at notice priority. SIGTERM then ends the run.
TEST_F(HeadlessRunTest, SighupLetsGoOfARenamedLog) {
    const QString renamed = dir.filePath(QStringLiteral("run.log.1"));
    const auto holdsOpen = [](const QString& path) {
        const QString target = QFileInfo(path).canonicalFilePath();
        const QDir fds(QStringLiteral("/proc/self/fd"));
        for (const QString& fd :
             fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
            if (QFile::symLinkTarget(fds.filePath(fd)) == target) return true;
        return false;
    };
    bool heldBefore = false;
    bool heldAfter = true;
    int phase = 0;
    int waitsAfter = 0;
    const int status = run([&](HeadlessLogger& logger) {
        if (phase == 0 && logger.cycle().passCount() >= 2) {
            // Between two pages of the third pass: no record comes meanwhile.
            pump.holdPages = true;
            ASSERT_TRUE(QFile::rename(settings.logFile, renamed));
            heldBefore = holdsOpen(renamed);
            ::raise(SIGHUP);
            phase = 1;
        } else if (phase == 1 && ++waitsAfter == 5) {
            heldAfter = holdsOpen(renamed);
            ::raise(SIGTERM);
            phase = 2;
        }
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(heldBefore);
    EXPECT_FALSE(heldAfter) << "the renamed log is still open";
    EXPECT_EQ(linesAt(HeadlessLogger::kNotice), QStringList{"Log reopened"});
    EXPECT_EQ(linesAt(HeadlessLogger::kInfo).constLast(), "Stopped (SIGTERM), log closed");
}

// An exception out of an event handler ends the run with the failure status,
// its message at error priority and the log closed whole.
TEST_F(HeadlessRunTest, AnErrorOutOfAHandlerEndsTheRunWithAFailure) {
    ASSERT_NE(EscapeRoute::current(), nullptr) << "the test main makes an escaping application";
    const int status = run([](HeadlessLogger& logger) {
        if (logger.cycle().passCount() == 2)
            QTimer::singleShot(0, [] { throw std::runtime_error("handler failed"); });
    });
    EXPECT_EQ(status, kFailureExitStatus);
    EXPECT_EQ(linesAt(HeadlessLogger::kError), QStringList{"handler failed"});
    for (const QString& r : logLines()) EXPECT_EQ(r.count(" , "), kDefaultActiveCount - 1);
}

// A roster whose one sensor is in fault at the first pass (the scripted
// adapter reads the power-on word), and an alarm command of sh lines.
class HeadlessAlarmTest : public HeadlessRunTest {
  protected:
    HeadlessAlarmTest() {
        RosterLoad load = parseRoster("9C000000B4A89828, Freezer, fault=1\n",
                                      dir.filePath(QStringLiteral("roster.conf")));
        EXPECT_TRUE(load.roster) << load.error.toStdString();
        settings.roster = load.roster.value_or(SensorRoster());
    }
    QString script(const QString& lines) {
        const QString path = dir.filePath(QStringLiteral("command.sh"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" +
                   QString(lines).replace(QStringLiteral("DIR"), dir.path()).toUtf8());
        file.close();
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
        return path;
    }

    const QString alarm = QStringLiteral(
        "Alarm: sensor 1 (Freezer, 9C000000B4A89828) fault: no valid reading (5005)");
};

// An alarm command that hangs holds up nothing: the passes keep the pace of
// a run without one while it still runs, and the alarm has its line.
TEST_F(HeadlessAlarmTest, AHangingCommandKeepsThePassesInStep) {
    // The clock's time of each pass, from the start of the run.
    const auto passTimes = [&] {
        std::vector<qint64> times;
        const qint64 start = pump.now;
        run([&](HeadlessLogger& logger) {
            if (static_cast<std::size_t>(logger.cycle().passCount()) > times.size())
                times.push_back(pump.now - start);
            if (times.size() == 5) logger.stop(QStringLiteral("test"));
        });
        return times;
    };
    const std::vector<qint64> alone = passTimes();
    ASSERT_EQ(alone.size(), 5u);

    AlarmCommand command(
        script(QStringLiteral("echo \"$TARNWICK_ALARM_MESSAGE\" > DIR/started\nsleep 60\n")),
        60'000);
    outlets.add(command);
    lines.clear();
    EXPECT_EQ(passTimes(), alone);
    EXPECT_EQ(command.running(), 1) << "the command still runs";
    EXPECT_EQ(linesAt(HeadlessLogger::kWarning), QStringList{alarm});
    const auto started = [&] {
        QFile file(dir.filePath(QStringLiteral("started")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed()
                                              : QString();
    };
    EXPECT_TRUE(eventuallyEquals(started, alarm));
}

// A command that fails is a warning of the run's status, after the alarm.
TEST_F(HeadlessAlarmTest, AFailingCommandIsAWarning) {
    const QString program = script(QStringLiteral("exit 3\n"));
    AlarmCommand command(program);
    outlets.add(command);
    const QString failed =
        QStringLiteral("Alarm command failed: %1 ended with exit status 3").arg(program);
    run([&](HeadlessLogger& logger) {
        if (!linesAt(HeadlessLogger::kWarning).contains(alarm)) return;
        // The command runs in real time, the passes on the test's clock.
        EXPECT_TRUE(eventually([&] { return linesAt(HeadlessLogger::kWarning).size() == 2; }));
        logger.stop(QStringLiteral("test"));
    });
    EXPECT_EQ(linesAt(HeadlessLogger::kWarning), QStringList({alarm, failed}));
}

}  // namespace
}  // namespace tarnwick::test
