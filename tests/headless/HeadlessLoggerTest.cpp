// The headless logger as a process, the way the service runs it: no display,
// its status lines on standard error, READY and WATCHDOG on the notify socket,
// the signals that end it or reopen its log, and the log it leaves, read back
// by the report tool.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

#include "../TestPrinters.h"
#include "../logging/TestFiles.h"
#include "SimAdapter.h"

namespace tarnwick::test {
namespace {

// A datagram socket standing in for systemd's notify socket, read all the
// while as systemd does (a sender blocks once a few messages are unread).
class NotifySocket {
  public:
    explicit NotifySocket(const QString& path) : path_(path) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        EXPECT_LT(static_cast<std::size_t>(name.size()), sizeof address.sun_path);
        std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        reader_ = std::thread([this] {
            while (!done_) {
                pollfd ready{fd_, POLLIN, 0};
                if (::poll(&ready, 1, 20) <= 0) continue;
                char buffer[512];
                const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
                if (n <= 0) continue;
                const std::lock_guard<std::mutex> hold(lock_);
                messages_ << QString::fromUtf8(buffer, static_cast<qsizetype>(n));
            }
        });
    }
    ~NotifySocket() {
        done_ = true;
        reader_.join();
        ::close(fd_);
    }
    // Every message that came so far.
    QStringList messages() const {
        const std::lock_guard<std::mutex> hold(lock_);
        return messages_;
    }
    const QString& path() const { return path_; }

  private:
    QString path_;
    int fd_ = -1;
    std::atomic<bool> done_ = false;
    mutable std::mutex lock_;
    QStringList messages_;
    std::thread reader_;
};

// The headless logger's process and the lines it writes to standard error.
class Logger {
  public:
    Logger(const QString& program, const QStringList& arguments, const QString& folder,
           const QProcessEnvironment& environment) {
        process_.setWorkingDirectory(folder);
        process_.setReadChannel(QProcess::StandardError);
        process_.setProcessEnvironment(environment);
        process_.start(program, arguments);
        EXPECT_TRUE(process_.waitForStarted(10000));
    }
    ~Logger() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    pid_t pid() const { return static_cast<pid_t>(process_.processId()); }
    void signal(int number) { ::kill(pid(), number); }
    const QStringList& lines() {
        process_.waitForReadyRead(10);
        while (process_.canReadLine())
            lines_ << QString::fromLocal8Bit(process_.readLine()).chopped(1);
        return lines_;
    }
    // Lines that begin with `prefix`.
    QStringList linesStarting(const QString& prefix) {
        QStringList out;
        for (const QString& line : lines())
            if (line.startsWith(prefix)) out << line;
        return out;
    }
    // The exit status, once it has ended by itself within `ms`; -1 otherwise.
    int waitForExit(int ms) {
        if (!process_.waitForFinished(ms)) return -1;
        lines();
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }

  private:
    QProcess process_;
    QStringList lines_;
};

// True once `condition` holds, checked every few milliseconds for up to `ms`.
bool eventually(const std::function<bool()>& condition, int ms = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > ms) return false;
        QThread::msleep(10);
    }
    return true;
}

int recordsIn(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? static_cast<int>(file.readAll().count('\n')) : 0;
}

bool endsWithLineEnd(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.readAll().endsWith("\r\n");
}

QProcessEnvironment headlessEnvironment(const NotifySocket& socket) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("NOTIFY_SOCKET"), socket.path());
    environment.insert(QStringLiteral("WATCHDOG_USEC"), QStringLiteral("200000"));
    return environment;
}

// What the headless logger must never load: a display, a GUI, fonts.
QStringList guiLibraries(pid_t pid) {
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    EXPECT_TRUE(maps.open(QIODevice::ReadOnly));
    static const QRegularExpression gui(
        QStringLiteral("lib(Qt6Gui|Qt6Widgets|X11|xcb|wayland|fontconfig|EGL|GL)[^/]*\\.so"));
    QStringList found;
    for (const QString& line : QString::fromLocal8Bit(maps.readAll()).split('\n'))
        if (gui.match(line).hasMatch()) found << line.section(' ', -1);
    return found;
}

// One run as the service has it, through `tarnwick --headless` with a
// relative log name: ready, watched, the adapter lost and back, the log's
// folder gone and back, rotation and SIGHUP, then SIGTERM. Then the power
// cut: the log's last record cut in two, and a second run, started as the
// unit starts it, ended by SIGINT. The report reads the three files as one
// and finds exactly one line that is not a record.
TEST(HeadlessLogger, RunsAsAServiceAndLeavesEveryRecordWhole) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("logs"));
    const QString log = dir.filePath("logs/tarnwick.log");
    sim::Options quick;
    quick.conversionMs = 0;
    quick.requestDelayMs = 1;
    sim::Adapter sim(quick);
    ASSERT_TRUE(sim.start());
    const int port = sim.port();
    const QString adapter = QStringLiteral("127.0.0.1:%1").arg(port);
    NotifySocket notify(dir.filePath("notify"));

    Logger first(QStringLiteral(TARNWICK_LOGGER_PATH),
                 {"--headless", "--log", "logs/tarnwick.log", "--adapter", adapter}, dir.path(),
                 headlessEnvironment(notify));
    ASSERT_TRUE(eventually([&] { return notify.messages().contains("READY=1"); }));
    ASSERT_TRUE(eventually([&] { return recordsIn(log) >= 3; }));
    EXPECT_EQ(first.lines().value(0),
              "<6>Started: adapter " + adapter + ", compiled-in roster, 12 sensors, log " + log);
    EXPECT_EQ(guiLibraries(first.pid()), QStringList());

    // Two failed passes (the second after the 1 s back-off), one line.
    sim.stop();
    ASSERT_TRUE(eventually([&] { return !first.linesStarting("<4>Adapter").isEmpty(); }));
    QThread::msleep(1500);
    ASSERT_TRUE(sim.start("127.0.0.1", port));
    ASSERT_TRUE(eventually([&] { return !first.linesStarting("<6>Adapter").isEmpty(); }))
        << first.lines().join('\n').toStdString();

    // The folder renamed away: records are lost until it is back.
    ASSERT_TRUE(QDir(dir.path()).rename("logs", "gone"));
    ASSERT_TRUE(eventually([&] { return !first.linesStarting("<4>Log").isEmpty(); }));
    ASSERT_TRUE(QDir(dir.path()).mkdir("logs"));
    ASSERT_TRUE(eventually([&] { return !first.linesStarting("<6>Log").isEmpty(); }));

    // Rotation: renamed, then SIGHUP (which must not end it).
    ASSERT_TRUE(eventually([&] { return recordsIn(log) >= 2; }));
    ASSERT_TRUE(QFile::rename(log, log + ".1"));
    first.signal(SIGHUP);
    ASSERT_TRUE(eventually([&] { return recordsIn(log) >= 2; }));

    first.signal(SIGTERM);
    EXPECT_EQ(first.waitForExit(10000), 0);
    // The adapter stopped between two pages (connection refused) or during
    // one (a page cut short): either way, one warning.
    QStringList lines = first.lines().mid(1);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines[0].startsWith("<4>Adapter not answering: ")) << lines[0].toStdString();
    lines[0] = lines[0].section(": ", 0, 0);
    EXPECT_EQ(
        lines,
        QStringList({"<4>Adapter not answering", "<6>Adapter answering again",
                     "<4>Log write failed: No such file or directory", "<6>Log written again",
                     "<5>Log reopened", "<6>Stopped (SIGTERM), log closed"}));
    const QStringList told = notify.messages();
    EXPECT_GE(told.count("WATCHDOG=1"), 5) << told.join(' ').toStdString();
    EXPECT_EQ(told.count("READY=1"), 1);
    EXPECT_EQ(told.constLast(), "STOPPING=1");
    for (const QString& file : {dir.filePath("gone/tarnwick.log"), log + ".1", log})
        EXPECT_TRUE(endsWithLineEnd(file)) << file.toStdString();

    // A power cut in the middle of the last record.
    {
        QFile file(log);
        ASSERT_TRUE(file.resize(file.size() - 20));
    }
    // The second run polls every sensor of the roster file it is given.
    const QString roster = dir.filePath("roster.conf");
    {
        QFile file(roster);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < 16; ++i)
            file.write(QByteArray::fromStdString(sim::rosterIds()[i]) + "\n");
    }
    QProcessEnvironment environment = headlessEnvironment(notify);
    environment.insert(QStringLiteral("TARNWICK_ROSTER"), roster);
    const int before = recordsIn(log);
    Logger second(QStringLiteral(TARNWICK_HEADLESS_PATH), {"--log", log, "--adapter", adapter},
                  dir.path(), environment);
    ASSERT_TRUE(eventually([&] { return recordsIn(log) >= before + 3; }));
    second.signal(SIGINT);
    EXPECT_EQ(second.waitForExit(10000), 0);
    EXPECT_EQ(second.lines(), QStringList({"<6>Started: adapter " + adapter + ", roster " + roster +
                                               ", 16 sensors, log " + log,
                                           "<6>Stopped (SIGINT), log closed"}));
    EXPECT_TRUE(endsWithLineEnd(log));
    {
        QFile file(log);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll().split('\n').value(before + 1).count(" , "), 15);
    }

    QProcess report;
    report.setProcessEnvironment(environment);  // the roster of the records' words
    report.start(QStringLiteral(TARNWICK_REPORT_PATH),
                 {dir.filePath("gone/tarnwick.log"), log + ".1", log});
    ASSERT_TRUE(report.waitForFinished(20000));
    const QString reportSaid = QString::fromLocal8Bit(report.readAllStandardError());
    const int records =
        recordsIn(dir.filePath("gone/tarnwick.log")) + recordsIn(log + ".1") + recordsIn(log);
    EXPECT_TRUE(reportSaid.contains(QStringLiteral("1 of %1 lines were not records").arg(records)))
        << reportSaid.toStdString();
    // The cut record, after the whole ones before it.
    EXPECT_TRUE(
        reportSaid.contains(QStringLiteral("tarnwick.log:%1: not a record").arg(before + 1)))
        << reportSaid.toStdString();
}

// tarnwick-simadapter as a process, with the arguments given; the address
// it listens on once it says so.
class SimulatorProcess {
  public:
    explicit SimulatorProcess(const QStringList& arguments) {
        process_.start(QStringLiteral(TARNWICK_SIMADAPTER_PATH), arguments);
        static const QString said = QStringLiteral("listening on http://");
        EXPECT_TRUE(eventually([&] {
            process_.waitForReadyRead(10);
            if (!process_.canReadLine()) return false;
            const QString line = QString::fromLocal8Bit(process_.readLine()).trimmed();
            if (line.startsWith(said)) address_ = line.mid(said.size());
            return !address_.isEmpty();
        })) << process_.readAllStandardError().toStdString();
    }
    // The process is killed with the object.
    const QString& address() const { return address_; }

  private:
    QProcess process_;
    QString address_;
};

// The alarms of a roster file as the service writes them, against the
// simulator's schedule (times from its start): sensor 1 crosses its high
// limit, comes back inside it but not by the hysteresis, then by it; sensor 2
// is unplugged for more than its three passes (each spends 2 s reading all
// ones) and plugged in again; then the adapter is silent for longer than
// --adapter-alarm. Each raised alarm is one warning, each end one notice; the
// passes the silence cut short make no sensor's fault.
TEST(HeadlessLogger, RaisesAndClearsEachAlarmOfTheSimulatorsSchedule) {
    QTemporaryDir dir;
    const QString roster = dir.filePath("roster.conf");
    ASSERT_TRUE(writeAll(roster,
                         "9C000000B4A89828, Boiler, high=30, hysteresis=2\n"
                         "06000000A4EC7428, Loft, fault=3\n"));
    SimulatorProcess simulator(
        {"--port", "0", "--roster", roster, "--conversion-ms", "0", "--delay-ms", "5", "--reading",
         "9C000000B4A89828=20@0,31@2s,29@3s,27@4s", "--reading",
         "06000000A4EC7428=21@0,unplugged@5s,21@13s", "--silent", "3500ms@15s"});
    ASSERT_FALSE(simulator.address().isEmpty());
    const QString log = dir.filePath("alarms.log");
    NotifySocket notify(dir.filePath("notify"));
    Logger logger(QStringLiteral(TARNWICK_HEADLESS_PATH),
                  {"--log", log, "--adapter", simulator.address(), "--roster", roster,
                   "--adapter-alarm", "3"},
                  dir.path(), headlessEnvironment(notify));
    const QString adapter = "adapter " + simulator.address();
    ASSERT_TRUE(eventually(
        [&] { return !logger.linesStarting("<5>Alarm cleared: " + adapter).isEmpty(); }, 40000))
        << logger.lines().join('\n').toStdString();
    logger.signal(SIGTERM);
    EXPECT_EQ(logger.waitForExit(10000), 0);

    // The silence may cut a page short before it refuses connections: the
    // first failure's reason varies, the alarm's (the failure that raised it)
    // does not.
    QStringList lines = logger.lines();
    lines.replaceInStrings(QRegularExpression(QStringLiteral("^(<4>Adapter not answering): .*")),
                           QStringLiteral("\\1"));
    lines.replaceInStrings(QRegularExpression(QStringLiteral("silent for \\d+ s")),
                           QStringLiteral("silent for N s"));
    EXPECT_EQ(
        lines,
        QStringList({"<6>Started: adapter " + simulator.address() + ", roster " + roster +
                         ", 2 sensors, log " + log,
                     "<4>Alarm: sensor 1 (Boiler, 9C000000B4A89828) high: 31.00 °C, above 30 °C",
                     "<5>Alarm cleared: sensor 1 (Boiler, 9C000000B4A89828) high: 27.00 °C",
                     "<4>Alarm: sensor 2 (Loft, 06000000A4EC7428) fault: no valid reading (0000)",
                     "<5>Alarm cleared: sensor 2 (Loft, 06000000A4EC7428) fault: 21.00 °C",
                     "<4>Adapter not answering",
                     "<4>Alarm: " + adapter + " not answering: silent for N s, connection refused",
                     "<6>Adapter answering again",
                     "<5>Alarm cleared: " + adapter + " answering again",
                     "<6>Stopped (SIGTERM), log closed"}));
    // Sensor 1 read 29 degrees (01D0) while its alarm held.
    EXPECT_TRUE(readAll(log).contains(", D001 , ")) << "the hysteresis was never put to the test";
}

}  // namespace
}  // namespace tarnwick::test
