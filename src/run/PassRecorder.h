// What happens to a finished pass, for the window and the headless logger
// alike: its record goes into the log (while logging is on), the run's status
// notes whether records reach the log and whether the adapter and the broker
// answer, and the readings go to the publisher. The broker's failures reach
// the status here, and nowhere else.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "LogControl.h"
#include "ReadingsPublisher.h"
#include "RunStatus.h"
#include "SensorRoster.h"

namespace tarnwick {

class PassRecorder {
  public:
    struct Listeners {
        // A concern has started failing or is well again (the headless
        // logger's status lines).
        RunStatus::Listener changed = {};
        // The status's headline may read differently now (the window's
        // status bar).
        std::function<void()> headline = {};
    };

    // `log` and `publisher` must outlive the recorder.
    PassRecorder(LogControl& log, ReadingsPublisher& publisher, Listeners listeners);
    ~PassRecorder();
    PassRecorder(const PassRecorder&) = delete;
    PassRecorder& operator=(const PassRecorder&) = delete;

    // A finished pass: words[i] is the word of roster.sensors()[i], as the
    // cycle hands them over. Published whether logging is on or not: a
    // dashboard shows the readings live.
    LogControl::RecordResult record(const SensorRoster& roster, const QStringList& words);
    // The adapter has stopped answering (why), or answers again (nullopt).
    void adapterChanged(const std::optional<QString>& reason);

    const RunStatus& status() const { return status_; }

  private:
    void noted(bool changed);

    LogControl& log_;
    ReadingsPublisher& publisher_;
    std::function<void()> headline_;
    RunStatus status_;
};

}  // namespace tarnwick
