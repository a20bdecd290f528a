// Publishes each pass's readings to an MQTT broker with libmosquitto.
//
// The cycle's thread only turns a pass into messages and queues them
// (PendingMessages: the newest per topic, at most 64); everything that waits
// on the network (resolving, connecting, TLS, writing, keep-alive) happens in
// the publisher's own network thread (BrokerConnection), which drives
// libmosquitto and wakes when messages are queued. The broker's name is looked up there
// (HostResolver) and its addresses tried in order, one at a time, each within the connect timeout;
// ConnectionState decides what comes next: the next address at once, or, when all have failed, a
// new round after 1 s, then 2, 4 ... at most 60 s, whatever went wrong. Each failure's reason
// ("connection refused", "not authorised", "TLS failure: certificate verify failed",
// FailureReasons.h) reaches the failure listener on the thread that made the publisher, through its
// event loop, when it differs from the one told before.
//
// On connect it publishes "online" (retained) on the status topic, with
// "offline" as the last will, the discovery configs when asked for, and where
// each watched alarm stands; then it clears what an earlier run left that this
// one does not publish (the configs and alarm topics of sensors no longer in
// the roster). On destruction it sends what waits, publishes "offline" and
// disconnects.
//
// Through its alarm outlet it keeps, for each sensor of a roster file and for the
// adapter, a retained ON/OFF topic and its attributes (ReadingMessages.h).
#pragma once

#include <QHash>
#include <QObject>
#include <cstdint>
#include <memory>

#include "AlarmEvent.h"
#include "BrokerConnection.h"
#include "BrokerSettings.h"
#include "Clock.h"
#include "HostResolver.h"
#include "ReadingsPublisher.h"
#include "WallClock.h"

namespace tarnwick {

class MqttPublisher : public QObject, public ReadingsPublisher {
    Q_OBJECT
  public:
    // `adapterAddress` names the adapter in the topics. The clocks must
    // outlive the publisher; `steady` is read from the network thread too.
    MqttPublisher(BrokerSettings settings, const QString& adapterAddress, const Clock& steady,
                  const WallClock& wall);
    // The same with the broker's name looked up by `resolver` instead of the
    // system's resolver.
    MqttPublisher(BrokerSettings settings, const QString& adapterAddress, const Clock& steady,
                  const WallClock& wall, std::unique_ptr<HostResolver> resolver);
    // Waits at most 2 s for what is queued, "offline" and the disconnect to go out.
    ~MqttPublisher() override;
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    void publish(const SensorRoster& roster, const QStringList& words) override;
    void setFailureListener(FailureListener listener) override;
    // The run's roster and whether the adapter's alarm is watched, at the
    // start: with a roster file, each sensor's alarm (and the adapter's)
    // stands "ok" until told otherwise; the compiled-in roster has no alarm
    // topics. From now on, every connect clears the stale retained messages.
    void watch(const SensorRoster& roster, bool adapterWatched);
    void alarmChanged(const AlarmEvent& event);
    // The alarm outlet for AlarmOutlets: alarmChanged(). The broker's
    // failures are told once, to the readings' failure listener, never as an
    // alarm outlet's.
    AlarmOutlet& alarmOutlet() { return alarmOutlet_; }

    using Counts = BrokerConnection::Counts;
    Counts counts() const;
    // The last failure told to the listener (nullopt: connected, or not yet
    // known).
    const std::optional<QString>& failure() const { return failure_; }
    // "mqtts://broker.lan:8883, topics tarnwick/192.168.1.50/..."
    QString describe() const;

  private:
    void tell(const std::optional<QString>& reason);

    const BrokerSettings settings_;
    const ReadingTopics topics_;
    const WallClock& wall_;
    FailureListener listener_;
    std::optional<QString> failure_;
    // The cycle's thread only: the sensors the configs were made for.
    QString configKey_;
    // The cycle's thread only: the subjects with alarm topics (ROM codes,
    // kAdapterSubject).
    QStringList alarmSubjects_;
    struct AlarmTopics : AlarmOutlet {
        explicit AlarmTopics(MqttPublisher& publisher) : publisher(publisher) {}
        void alarmChanged(const AlarmEvent& event) override { publisher.alarmChanged(event); }
        MqttPublisher& publisher;
    };
    AlarmTopics alarmOutlet_{*this};
    // Last: its thread ends before the rest goes.
    std::unique_ptr<BrokerConnection> connection_;
};

}  // namespace tarnwick
