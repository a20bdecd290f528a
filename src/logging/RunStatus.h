// What the logger has to say about its run, one concern at a time: whether
// the adapter answers, whether records reach the log and, when it publishes,
// whether the broker takes the readings. The window shows the
// most pressing failure in its status bar; the headless logger writes a line
// whenever a concern changes. Both take their words from here.
#pragma once

#include <QString>
#include <array>
#include <functional>
#include <optional>

#include "LogControl.h"

namespace tarnwick {

class RunStatus {
  public:
    // In order of precedence: where several fail at once, the first one is
    // the headline. A failed log write wins, since records are being lost;
    // a silent adapter comes next, since without readings nothing else can
    // be judged; then the worst raised alarm (src/alarms) and a user's alarm
    // command that fails, which are about what is being protected; a silent
    // broker last, since the log still holds every reading.
    enum class Concern { LogWrite, Adapter, Alarm, AlarmCommand, Broker };
    static constexpr int kConcernCount = 5;

    // A concern that has started failing (with the reason) or is well again.
    struct Change {
        Concern concern;
        std::optional<QString> failure;
    };
    using Listener = std::function<void(const Change&)>;

    // `listener` hears when a concern starts failing and when it is well
    // again; a new reason while it fails only changes the headline, so a
    // reason that differs from pass to pass is not told over and over.
    explicit RunStatus(Listener listener = {});

    // Both return true when the concern's failure or its reason changed.
    bool set(Concern concern, const std::optional<QString>& failure);
    // A record that logging tried and could not write is a log write failure;
    // one written, or none tried since logging is off, ends it.
    bool noteRecord(const LogControl::RecordResult& record);

    const std::optional<QString>& failure(Concern concern) const;
    // The most pressing failure as a line ("Log write failed: No space left
    // on device"); nullopt when every concern is well.
    std::optional<QString> headline() const;
    // What a change means, as a line: "Adapter not answering: timed out",
    // "Adapter answering again".
    static QString describe(const Change& change);

  private:
    std::array<std::optional<QString>, kConcernCount> failures_;
    Listener listener_;
};

}  // namespace tarnwick
