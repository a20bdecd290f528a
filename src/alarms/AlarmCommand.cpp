#include "AlarmCommand.h"

#include <signal.h>
#include <unistd.h>

#include <QProcess>
#include <QTimer>
#include <cstdlib>
#include <utility>

namespace tarnwick {

namespace {

// The key of the adapter's runs; sensors are numbered from 1.
constexpr int kAdapterKey = 0;

// Degrees with a dot, as exact as a reading or a roster limit can be:
// "-12.5", "21.0625", "3".
QString degrees(double celsius) {
    QString text = QString::number(celsius, 'f', 4);
    while (text.endsWith(u'0')) text.chop(1);
    if (text.endsWith(u'.')) text.chop(1);
    if (text == u"-0") text = QStringLiteral("0");
    return text;
}

// "2026-12-11T04:05:06+01:00": the time told, with its offset from UTC.
QString isoTime(const QDateTime& at) {
    if (!at.isValid()) return QString();
    const int offset = at.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return at.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString optionalDegrees(const std::optional<double>& celsius) {
    return celsius ? degrees(*celsius) : QString();
}

// Ends the command and whatever it started (its process group); only the
// command itself if it has not made its group yet.
void killGroup(QProcess& process) {
    const qint64 pid = process.processId();
    if (pid <= 0) return;
    if (::kill(-static_cast<pid_t>(pid), SIGKILL) != 0) process.kill();
}

}  // namespace

QProcessEnvironment alarmVariables(const AlarmEvent& event) {
    const bool sensor = event.subject == AlarmEvent::Subject::Sensor;
    const std::pair<const char*, QString> facts[] = {
        {"STATE", alarmStateName(event.to)},
        {"PREVIOUS", alarmStateName(event.from)},
        {"KIND", alarmStateName(event.kind())},
        {"SUBJECT", sensor ? QStringLiteral("sensor") : QStringLiteral("adapter")},
        {"SENSOR", sensor ? QString::number(event.number) : QString()},
        {"NAME", event.name},
        {"ROM", event.rom},
        {"READING", optionalDegrees(event.celsius)},
        {"WORD", event.word},
        {"LIMIT", optionalDegrees(event.limit)},
        {"TIME", isoTime(event.at)},
        {"ADAPTER", event.adapter},
        {"MESSAGE", event.describe()},
    };
    QProcessEnvironment variables;
    for (const auto& [name, value] : facts)
        variables.insert(QStringLiteral("TARNWICK_ALARM_") + QLatin1String(name), value);
    return variables;
}

AlarmCommand::AlarmCommand(QString program, int timeLimitMs, int outputFd)
    : program_(std::move(program)), timeLimitMs_(timeLimitMs), outputFd_(outputFd) {}

AlarmCommand::~AlarmCommand() {
    for (auto& [key, subject] : subjects_) {
        if (!subject.process) continue;
        QObject::disconnect(subject.process, nullptr, &context_, nullptr);
        killGroup(*subject.process);
        // Deleting it (with context_) waits for its end.
    }
}

void AlarmCommand::alarmChanged(const AlarmEvent& event) {
    const int key = event.subject == AlarmEvent::Subject::Adapter ? kAdapterKey : event.number;
    Subject& subject = subjects_[key];
    // The newest change wins: it is the state the subject is in.
    subject.waiting = event;
    if (!subject.process) queueStart(key);
}

void AlarmCommand::setFailureListener(FailureListener listener) {
    failureListener_ = std::move(listener);
}

int AlarmCommand::running() const {
    int count = 0;
    for (const auto& [key, subject] : subjects_) count += subject.process ? 1 : 0;
    return count;
}

bool AlarmCommand::idle() const {
    for (const auto& [key, subject] : subjects_)
        if (subject.process || subject.waiting) return false;
    return true;
}

void AlarmCommand::queueStart(int key) {
    Subject& subject = subjects_[key];
    if (subject.startQueued) return;
    subject.startQueued = true;
    // From the event loop: alarmChanged() returns to the pass at once.
    QTimer::singleShot(0, &context_, [this, key] { startNext(key); });
}

void AlarmCommand::startNext(int key) {
    Subject& subject = subjects_[key];
    subject.startQueued = false;
    if (subject.process || !subject.waiting) return;
    const AlarmEvent event = *std::exchange(subject.waiting, std::nullopt);

    auto* process = new QProcess(&context_);
    subject.process = process;
    subject.killed = false;
    process->setProgram(program_);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(alarmVariables(event));
    process->setProcessEnvironment(environment);
    process->setStandardInputFile(QProcess::nullDevice());
    // Nothing to read and no pipe to fill: its output goes where ours does.
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    const int outputFd = outputFd_;
    process->setChildProcessModifier([outputFd] {
        // A group of its own, so that the time limit ends what it started.
        ::setpgid(0, 0);
        // Signals as a program started from a shell has them, whatever the
        // logger or its libraries ignore or block.
        ::signal(SIGPIPE, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::dup2(outputFd, STDOUT_FILENO);
        ::dup2(outputFd, STDERR_FILENO);
    });

    QObject::connect(
        process, &QProcess::errorOccurred, &context_,
        [this, key, process](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart) return;
            ended(key, process,
                  QStringLiteral("%1 could not start: %2").arg(program_, process->errorString()));
        });
    QObject::connect(
        process, &QProcess::finished, &context_,
        [this, key, process](int code, QProcess::ExitStatus status) {
            std::optional<QString> failure;
            if (subjects_[key].killed)
                failure = QStringLiteral("%1 killed after %2 s")
                              .arg(program_, QString::number(timeLimitMs_ / 1000.0));
            else if (status == QProcess::CrashExit)
                failure = QStringLiteral("%1 ended by signal %2").arg(program_).arg(code);
            else if (code != 0)
                failure = QStringLiteral("%1 ended with exit status %2").arg(program_).arg(code);
            ended(key, process, failure);
        });
    auto* limit = new QTimer(process);
    limit->setSingleShot(true);
    QObject::connect(limit, &QTimer::timeout, &context_, [this, key, process] {
        Subject& running = subjects_[key];
        if (running.process != process || process->state() == QProcess::NotRunning) return;
        running.killed = true;
        killGroup(*process);
    });
    limit->start(timeLimitMs_);
    process->start();
}

void AlarmCommand::ended(int key, QProcess* process, const std::optional<QString>& failure) {
    Subject& subject = subjects_[key];
    if (subject.process != process) return;
    subject.process = nullptr;
    QObject::disconnect(process, nullptr, &context_, nullptr);
    process->deleteLater();
    note(failure);
    if (subject.waiting) queueStart(key);
}

void AlarmCommand::note(const std::optional<QString>& failure) {
    if (failure == failure_) return;
    failure_ = failure;
    if (failureListener_) failureListener_(failure_);
}

}  // namespace tarnwick
