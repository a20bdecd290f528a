#include "PassRecorder.h"

#include <QLocale>
#include <utility>

namespace tarnwick {

PassRecorder::PassRecorder(LogControl& log, ReadingsPublisher& publisher, Listeners listeners)
    : log_(log),
      publisher_(publisher),
      headline_(std::move(listeners.headline)),
      status_(std::move(listeners.changed)) {
    publisher_.setFailureListener([this](const std::optional<QString>& reason) {
        noted(status_.set(RunStatus::Concern::Broker, reason));
    });
}

PassRecorder::~PassRecorder() { publisher_.setFailureListener({}); }

LogControl::RecordResult PassRecorder::record(const SensorRoster& roster,
                                              const QStringList& words) {
    const LogControl::RecordResult result = log_.writeRecord(words, QLocale());
    // Logging switched off ends a log write failure too.
    noted(status_.noteRecord(result));
    publisher_.publish(roster, words);
    return result;
}

void PassRecorder::adapterChanged(const std::optional<QString>& reason) {
    noted(status_.set(RunStatus::Concern::Adapter, reason));
}

void PassRecorder::noted(bool changed) {
    if (changed && headline_) headline_();
}

}  // namespace tarnwick
