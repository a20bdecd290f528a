// The publisher's network thread and its connection to the broker, with
// libmosquitto: it looks the broker's name up (HostResolver), tries the
// addresses as ConnectionState says, tells each change of the failure reason
// (FailureReasons.h), and hands the broker what is queued. Every call that
// waits on the network happens in that thread; send() and counts() only take
// a lock.
//
// Connected, it publishes "online" (retained) on the status topic, with
// "offline" as the last will, the discovery configs and the kept messages
// (the alarms' states), then sweeps: it collects the retained messages of the
// sweep's topics for a short while and clears (a zero-length retained
// message) each one the sweep finds stale. On destruction it sends what
// waits, publishes "offline" and disconnects, within 2 s.
#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "BrokerSettings.h"
#include "Clock.h"
#include "ConnectionState.h"
#include "HostResolver.h"
#include "PendingMessages.h"
#include "ReadingMessages.h"

struct mosquitto;

namespace tarnwick {

class BrokerConnection {
  public:
    // Called from the network thread.
    using Tell = std::function<void(const std::optional<QString>&)>;
    struct Counts {
        std::uint64_t sent = 0;     // handed to the broker connection
        std::uint64_t dropped = 0;  // replaced or pushed out while waiting
        std::size_t waiting = 0;
        std::uint64_t cleared = 0;  // stale retained messages cleared
    };
    // What to clear at each connect: the retained messages found on
    // `topics` (filters) within `windowMs` of subscribing that `stale`
    // (called in the network thread) picks.
    struct Sweep {
        QByteArrayList topics;
        std::function<bool(const MqttMessage&)> stale;
        qint64 windowMs = 2'000;
    };

    // Starts the thread. `clock` must outlive this; it is read from the
    // network thread.
    BrokerConnection(BrokerSettings settings, ReadingTopics topics, const QByteArray& clientId,
                     const Clock& clock, std::unique_ptr<HostResolver> resolver, Tell tell);
    ~BrokerConnection();
    BrokerConnection(const BrokerConnection&) = delete;
    BrokerConnection& operator=(const BrokerConnection&) = delete;

    // Any thread: queues the states (each replacing the one of its topic
    // that waits) and, when there are any, the discovery configs that are
    // sent now and again on every connect.
    void send(std::vector<MqttMessage> states, std::vector<MqttMessage> configs);
    // Any thread: retained messages that stand until replaced, each replacing
    // the one of its topic: each sent in order while connected, and where
    // each stands again on every connect.
    void keep(std::vector<MqttMessage> messages);
    // Any thread: the sweep of every connect from now on.
    void setSweep(Sweep sweep);
    Counts counts() const;

  private:
    struct WakeUp;
    struct LookupBox;

    void run();
    void advance();
    void startLookup();
    std::optional<HostResolver::Answer> takeAnswer();
    void startAttempt(const QByteArray& address);
    void abandonAttempt();
    bool serviceConnecting(short revents, bool wantedWrite);
    int serviceSocket(short revents, bool wantedWrite);
    void connected();
    void flush();
    void startSweep();
    void endSweep();
    void collect(const MqttMessage& retained);
    bool publishNow(const MqttMessage& message);
    QString reasonOf(int rc) const;
    void stopConnection();

    const BrokerSettings settings_;
    const ReadingTopics topics_;
    const Clock& clock_;
    const std::unique_ptr<HostResolver> resolver_;
    // Shared with a look-up that may end after this.
    const std::shared_ptr<WakeUp> wakeUp_;
    mosquitto* mosq_ = nullptr;

    mutable std::mutex mutex_;
    // Guarded by mutex_.
    PendingMessages pending_;
    std::vector<MqttMessage> configs_;
    bool configsChanged_ = false;
    std::vector<MqttMessage> kept_;
    // The kept messages not yet sent since they changed, every change in
    // order (an alarm raised and cleared between two flushes is both), at
    // most kKeptChanges; a connect sends where each stands instead.
    static constexpr std::size_t kKeptChanges = 256;
    std::deque<MqttMessage> keptChanged_;
    std::optional<Sweep> sweep_;
    // Connected since the last sweep started, or the sweep changed.
    bool sweepDue_ = false;
    bool stopping_ = false;

    std::atomic<std::uint64_t> sent_{0};
    std::atomic<std::uint64_t> cleared_{0};

    // The network thread only (libmosquitto's callbacks run in it).
    ConnectionState state_;
    std::shared_ptr<LookupBox> lookup_;
    int connack_ = -1;
    int disconnectErrno_ = 0;
    QString lastLibraryError_;
    // The sweep under way: until when it collects, and what it found.
    std::optional<qint64> sweepUntilMs_;
    std::vector<MqttMessage> swept_;

    std::thread thread_;
};

}  // namespace tarnwick
