// Whoever sends the readings of each finished pass somewhere besides the log
// (a broker, for dashboards). The window and the headless logger hand it every
// pass; it only queues, so a slow or absent receiver never holds up the cycle.
// Qt Core only: the fronts know this interface, src/app composes the real one.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "SensorRoster.h"

namespace tarnwick {

class ReadingsPublisher {
  public:
    // The receiver has stopped taking readings (`reason` says why), or takes
    // them again (nullopt).
    using FailureListener = std::function<void(const std::optional<QString>& reason)>;

    virtual ~ReadingsPublisher() = default;
    // One pass: words[i] is the word of roster.sensors()[i], as
    // CycleView::passCompleted() has them. Returns at once.
    virtual void publish(const SensorRoster& roster, const QStringList& words) = 0;
    // `listener` is called on the thread that made the publisher, only when
    // the failure or its reason changes; an empty one stops the calls.
    virtual void setFailureListener(FailureListener listener) = 0;
};

// The run that publishes nothing (no --mqtt).
class NoPublisher : public ReadingsPublisher {
  public:
    void publish(const SensorRoster&, const QStringList&) override {}
    void setFailureListener(FailureListener) override {}
};

}  // namespace tarnwick
