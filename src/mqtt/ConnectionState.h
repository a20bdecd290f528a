// Where the connection to the broker stands and what the network thread does
// next, with no socket and no thread of its own: the network thread reports
// what happened, this decides.
//
// A round looks the broker's name up and tries its addresses in order, each
// at once after the one before failed; the first to get a CONNACK wins. Each
// attempt (and the look-up) has the connect timeout to finish. When every
// address has failed, the round's reason is the one of the attempt that got
// furthest (the later of two that got as far); the next round starts after
// the back-off, which is 1 s and doubles after each failed round up to 60 s,
// and starts again from 1 s once connected. A lost connection waits the
// back-off too. The failure listener hears a reason only when it differs
// from the one it heard last, and "connected" (nullopt) the same way.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "Clock.h"
#include "FailureReasons.h"

namespace tarnwick {

class ConnectionState {
  public:
    struct Timing {
        qint64 firstRetryMs = 1'000;
        qint64 maxRetryMs = 60'000;
        qint64 connectTimeoutMs = 10'000;
    };
    enum class Phase {
        Waiting,     // the back-off before the next round
        LookingUp,   // the broker's name is being looked up
        Trying,      // an address waits to be tried, at once
        Connecting,  // an attempt is under way
        Connected,
    };
    using Tell = std::function<void(const std::optional<QString>&)>;

    // The first round is due at once. `clock` must outlive this.
    ConnectionState(const Clock& clock, Timing timing, Tell tell);

    Phase phase() const { return phase_; }
    // Waiting and the back-off is over: the next round may look the name up.
    bool roundDue() const;
    // The network thread's longest sleep before it must look again: until
    // the back-off is over or the deadline (0: now; -1: no limit).
    qint64 msUntilDue() const;

    void lookupStarted();
    void lookedUp(std::vector<QByteArray> addresses);
    void lookupFailed(const QString& reason);

    // Trying: the address to try now; the attempt starts (stage Tcp).
    QByteArray startAttempt();
    // The attempt has got as far as `stage`.
    void reached(ConnectStage stage);
    ConnectStage stage() const { return stage_; }
    // The attempt (or the look-up) has run past the connect timeout.
    bool pastDeadline() const;
    // Gives the look-up or the attempt up at the deadline, with the reason
    // for the stage it reached.
    void giveUp();
    // The attempt failed: the next address is tried, or the round ends.
    void attemptFailed(const QString& reason);

    void connected();
    // The connection was lost after it had been made.
    void lost(const QString& reason);

    // The back-off the next failed round will wait.
    qint64 nextBackOffMs() const { return backOffMs_; }

  private:
    void roundFailed(const QString& reason);
    void tellOnce(const std::optional<QString>& reason);

    const Clock& clock_;
    const Timing timing_;
    const Tell tell_;
    Phase phase_ = Phase::Waiting;
    qint64 retryAtMs_;
    qint64 backOffMs_;
    qint64 deadlineMs_ = 0;
    std::vector<QByteArray> addresses_;
    std::size_t next_ = 0;
    ConnectStage stage_ = ConnectStage::Lookup;
    // The round's reason so far and the stage its attempt had reached.
    std::optional<QString> roundReason_;
    ConnectStage roundStage_ = ConnectStage::Lookup;
    bool toldOnce_ = false;
    std::optional<QString> told_;
};

}  // namespace tarnwick
