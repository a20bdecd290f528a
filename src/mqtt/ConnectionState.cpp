#include "ConnectionState.h"

#include <netdb.h>

#include <algorithm>
#include <utility>

namespace tarnwick {

ConnectionState::ConnectionState(const Clock& clock, Timing timing, Tell tell)
    : clock_(clock),
      timing_(timing),
      tell_(std::move(tell)),
      retryAtMs_(clock.monotonicMs()),
      backOffMs_(timing.firstRetryMs) {}

bool ConnectionState::roundDue() const {
    return phase_ == Phase::Waiting && clock_.monotonicMs() >= retryAtMs_;
}

qint64 ConnectionState::msUntilDue() const {
    const qint64 now = clock_.monotonicMs();
    switch (phase_) {
        case Phase::Waiting:
            return std::max<qint64>(retryAtMs_ - now, 0);
        case Phase::LookingUp:
        case Phase::Connecting:
            return std::max<qint64>(deadlineMs_ - now, 0);
        case Phase::Trying:
            return 0;
        case Phase::Connected:
            break;
    }
    return -1;
}

void ConnectionState::lookupStarted() {
    phase_ = Phase::LookingUp;
    stage_ = ConnectStage::Lookup;
    roundReason_.reset();
    roundStage_ = ConnectStage::Lookup;
    deadlineMs_ = clock_.monotonicMs() + timing_.connectTimeoutMs;
}

void ConnectionState::lookedUp(std::vector<QByteArray> addresses) {
    if (addresses.empty()) {
        lookupFailed(lookupReason(EAI_NONAME));
        return;
    }
    addresses_ = std::move(addresses);
    next_ = 0;
    phase_ = Phase::Trying;
}

void ConnectionState::lookupFailed(const QString& reason) { roundFailed(reason); }

QByteArray ConnectionState::startAttempt() {
    phase_ = Phase::Connecting;
    stage_ = ConnectStage::Tcp;
    deadlineMs_ = clock_.monotonicMs() + timing_.connectTimeoutMs;
    return addresses_.at(next_++);
}

void ConnectionState::reached(ConnectStage stage) { stage_ = std::max(stage_, stage); }

bool ConnectionState::pastDeadline() const {
    return (phase_ == Phase::LookingUp || phase_ == Phase::Connecting) &&
           clock_.monotonicMs() >= deadlineMs_;
}

void ConnectionState::giveUp() {
    if (phase_ == Phase::LookingUp)
        lookupFailed(stalledReason(ConnectStage::Lookup));
    else if (phase_ == Phase::Connecting)
        attemptFailed(stalledReason(stage_));
}

void ConnectionState::attemptFailed(const QString& reason) {
    if (!roundReason_ || stage_ >= roundStage_) {
        roundReason_ = reason;
        roundStage_ = stage_;
    }
    if (next_ < addresses_.size())
        phase_ = Phase::Trying;
    else
        roundFailed(*roundReason_);
}

void ConnectionState::connected() {
    phase_ = Phase::Connected;
    backOffMs_ = timing_.firstRetryMs;
    tellOnce(std::nullopt);
}

void ConnectionState::lost(const QString& reason) { roundFailed(reason); }

void ConnectionState::roundFailed(const QString& reason) {
    phase_ = Phase::Waiting;
    addresses_.clear();
    next_ = 0;
    retryAtMs_ = clock_.monotonicMs() + backOffMs_;
    backOffMs_ = std::min(backOffMs_ * 2, timing_.maxRetryMs);
    tellOnce(reason);
}

void ConnectionState::tellOnce(const std::optional<QString>& reason) {
    if (toldOnce_ && told_ == reason) return;
    toldOnce_ = true;
    told_ = reason;
    tell_(reason);
}

}  // namespace tarnwick
