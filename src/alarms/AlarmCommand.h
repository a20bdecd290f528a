// The user's alarm command (--alarm-command): a program run on each alarm's
// change, without a shell and without arguments, with the facts in
// TARNWICK_ALARM_* environment variables (alarmVariables()). It never holds
// up the cycle: it starts from the event loop, its output goes straight to
// the logger's standard error (the journal, for the service) and it is killed,
// with whatever it started, after a time limit. One change of a sensor (or of
// the adapter) runs at a time; a change that comes meanwhile waits for the
// run to end, and only the newest waiting one is told: the state it leaves.
// Changes of different sensors run side by side.
#pragma once

#include <QObject>
#include <QProcessEnvironment>
#include <QString>
#include <map>
#include <optional>

#include "AlarmEvent.h"

class QProcess;

namespace tarnwick {

// The variables a command is given for `event`: STATE, PREVIOUS, KIND,
// SUBJECT, SENSOR, NAME, ROM, READING, WORD, LIMIT, TIME, ADAPTER, MESSAGE,
// each prefixed TARNWICK_ALARM_ and each set, empty when it does not apply.
QProcessEnvironment alarmVariables(const AlarmEvent& event);

class AlarmCommand : public AlarmOutlet {
  public:
    static constexpr int kTimeLimitMs = 30'000;

    // `program`: the full path of an executable. `outputFd`: where its
    // standard output and error go (the logger's standard error).
    explicit AlarmCommand(QString program, int timeLimitMs = kTimeLimitMs, int outputFd = 2);
    // Kills the commands still running, with what they started.
    ~AlarmCommand() override;
    AlarmCommand(const AlarmCommand&) = delete;
    AlarmCommand& operator=(const AlarmCommand&) = delete;

    void alarmChanged(const AlarmEvent& event) override;
    // Told when a run fails (could not start, killed at the time limit,
    // crashed, a non-zero exit status) and when one succeeds after a failure.
    void setFailureListener(FailureListener listener) override;

    // Commands running now.
    int running() const;
    // No command runs, and no change waits for one.
    bool idle() const;

  private:
    struct Subject {
        QProcess* process = nullptr;
        std::optional<AlarmEvent> waiting;
        bool startQueued = false;
        bool killed = false;
    };

    void queueStart(int key);
    void startNext(int key);
    // `process` has ended (or could not start): `failure` says how, nullopt
    // for success.
    void ended(int key, QProcess* process, const std::optional<QString>& failure);
    void note(const std::optional<QString>& failure);

    QString program_;
    int timeLimitMs_;
    int outputFd_;
    FailureListener failureListener_;
    std::optional<QString> failure_;
    // By sensor number; the adapter is 0.
    std::map<int, Subject> subjects_;
    // The context of every connection and the parent of every process: gone
    // first, so that nothing is called back while the rest is destroyed.
    QObject context_;
};

}  // namespace tarnwick
