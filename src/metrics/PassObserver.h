// Whoever follows the run pass by pass besides the log, the status and the
// publisher (the metrics endpoint): told of the run's start, each finished
// pass with what became of its record, and each change of the adapter's
// answering. Called on the cycle's thread; it must return at once.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "LogControl.h"
#include "SensorRoster.h"

namespace tarnwick {

class PassObserver {
  public:
    virtual ~PassObserver() = default;
    // The run polls the sensors of `roster` through the adapter at `adapter`.
    virtual void runStarted(const SensorRoster& roster, const QString& adapter) = 0;
    // A finished pass: words[i] is the word of roster.sensors()[i]; `record`
    // is what became of its log record.
    virtual void passFinished(const SensorRoster& roster, const QStringList& words,
                              const LogControl::RecordResult& record) = 0;
    // The adapter has stopped answering (why), or answers again (nullopt).
    virtual void adapterChanged(const std::optional<QString>& reason) = 0;
};

// The run that nobody follows (no --metrics).
class NoPassObserver : public PassObserver {
  public:
    void runStarted(const SensorRoster&, const QString&) override {}
    void passFinished(const SensorRoster&, const QStringList&,
                      const LogControl::RecordResult&) override {}
    void adapterChanged(const std::optional<QString>&) override {}
};

}  // namespace tarnwick
