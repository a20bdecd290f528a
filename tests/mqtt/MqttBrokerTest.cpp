// The publisher against a real Mosquitto broker on a loopback port: what a
// pass publishes, the login, TLS and the broker's name, a name with several
// addresses, a broker that goes away and comes back, and one that never
// answers.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "AlarmRules.h"
#include "FakeClocks.h"
#include "FakeResolver.h"
#include "MqttPublisher.h"
#include "SilentServer.h"
#include "SteadyClock.h"
#include "TestBroker.h"

namespace tarnwick::test {
namespace {

constexpr char kAdapter[] = "127.0.0.1:8642";

class MqttBrokerTest : public ::testing::Test {
  protected:
    void SetUp() override { wall_.now = QDateTime(QDate(2026, 12, 9), QTime(14, 3, 7)); }

    BrokerSettings settingsFor(const TestBroker& broker) {
        BrokerSettings s;
        parseBrokerUrl(broker.url(), s);
        s.firstRetryMs = 100;
        s.maxRetryMs = 400;
        return s;
    }
    std::unique_ptr<MqttPublisher> publisher(const BrokerSettings& s) {
        return listenedTo(std::make_unique<MqttPublisher>(s, kAdapter, clock_, wall_));
    }
    // A publisher whose look-ups of the broker's name give `addresses`.
    std::unique_ptr<MqttPublisher> publisher(const BrokerSettings& s,
                                             std::vector<QByteArray> addresses) {
        return listenedTo(std::make_unique<MqttPublisher>(
            s, kAdapter, clock_, wall_,
            std::make_unique<FakeResolver>(std::move(addresses), asked_)));
    }
    std::unique_ptr<MqttPublisher> listenedTo(std::unique_ptr<MqttPublisher> p) {
        p->setFailureListener([this](const std::optional<QString>& r) { told_.push_back(r); });
        return p;
    }
    QStringList askedNames() {
        std::lock_guard lock(asked_->mutex);
        return asked_->names;
    }
    // Waits until the publisher has told `reason` (nullopt: connected).
    bool toldOf(const std::optional<QString>& reason, int ms = 10'000) {
        return waitUntil([&] { return !told_.empty() && told_.back() == reason; }, ms);
    }
    QString lastTold() const {
        return told_.empty() ? "(nothing)" : told_.back().value_or("(connected)");
    }

    SteadyClock clock_;
    FakeWallClock wall_;
    std::vector<std::optional<QString>> told_;
    std::shared_ptr<FakeResolver::Asked> asked_ = std::make_shared<FakeResolver::Asked>();
};

// Publishes one reading and waits for it on `broker`.
void publishedThrough(MqttPublisher& p, const TestBroker& broker, const QString& ca = {}) {
    TestSubscriber sub;
    ASSERT_TRUE(sub.connect(broker, {}, ca));
    p.publish(SensorRoster(), QStringList{"A200"});
    EXPECT_TRUE(sub.waitFor("tarnwick/127.0.0.1_8642/9C000000B4A89828/state"));
}

QByteArray stateTopic(const char* rom) {
    return QByteArray("tarnwick/127.0.0.1_8642/") + rom + "/state";
}

TEST_F(MqttBrokerTest, DatasheetWordsArriveAsDegreesWithDiscoveryAndAvailability) {
    REQUIRE_MOSQUITTO();
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    // The datasheet's table: the word for each temperature, and "0000".
    struct Row {
        const char* word;
        std::optional<double> celsius;
        const char* status;
    };
    const Row rows[] = {
        {"D007", 125.0, nullptr},   {"5005", std::nullopt, "power-on"},
        {"9101", 25.0625, nullptr}, {"A200", 10.125, nullptr},
        {"0800", 0.5, nullptr},     {"F8FF", -0.5, nullptr},
        {"5EFF", -10.125, nullptr}, {"6FFE", -25.0625, nullptr},
        {"90FC", -55.0, nullptr},   {"0000", std::nullopt, "failed"},
    };
    std::vector<RosterSensor> sensors;
    QStringList words;
    for (int slot = 0; slot < int(std::size(rows)); ++slot) {
        sensors.push_back(
            {.slot = slot,
             .rom = QStringLiteral("%1000000B4A89828").arg(slot + 0x10, 2, 16).toUpper(),
             .name = slot == 0 ? "Boiler" : ""});
        words << rows[slot].word;
    }
    const SensorRoster roster(sensors, "roster.conf");
    BrokerSettings s = settingsFor(broker);
    s.discovery = true;
    {
        auto p = publisher(s);
        TestSubscriber sub;
        ASSERT_TRUE(sub.connect(broker));
        p->publish(roster, words);
        ASSERT_TRUE(toldOf(std::nullopt)) << lastTold().toStdString();
        ASSERT_TRUE(sub.waitFor(stateTopic(sensors.back().rom.toLatin1())));
        EXPECT_EQ(sub.on("tarnwick/127.0.0.1_8642/status"), QList<QByteArray>{"online"});
        for (std::size_t i = 0; i < std::size(rows); ++i) {
            SCOPED_TRACE(rows[i].word);
            const QByteArray rom = sensors[i].rom.toLatin1();
            const QList<QByteArray> got = sub.on(stateTopic(rom));
            ASSERT_EQ(got.size(), 1);
            const QJsonObject state = QJsonDocument::fromJson(got[0]).object();
            EXPECT_EQ(state["word"], rows[i].word);
            EXPECT_EQ(state["sensor"], int(i) + 1);
            EXPECT_EQ(state["time"].toString().left(19), "2026-12-09T14:03:07");
            if (rows[i].celsius) {
                EXPECT_EQ(state["celsius"].toDouble(), *rows[i].celsius);
                EXPECT_FALSE(state.contains("status"));
            } else {
                EXPECT_TRUE(state["celsius"].isNull());
                EXPECT_EQ(state["status"], rows[i].status);
            }
            const QList<QByteArray> config =
                sub.on("homeassistant/sensor/tarnwick_127_0_0_1_8642/" + rom + "/config");
            ASSERT_EQ(config.size(), 1);
            const QJsonObject c = QJsonDocument::fromJson(config[0]).object();
            EXPECT_EQ(c["state_topic"].toString().toLatin1(), stateTopic(rom));
            EXPECT_EQ(c["name"], i == 0 ? "Boiler" : QStringLiteral("Sensor %1").arg(i + 1));
        }
        // The configs go once; a second pass sends the states alone.
        sub.clear();
        p->publish(roster, words);
        ASSERT_TRUE(sub.waitFor(stateTopic(sensors.back().rom.toLatin1())));
        for (const auto& m : sub.messages())
            EXPECT_TRUE(m.topic.endsWith("/state")) << m.topic.toStdString();
        EXPECT_EQ(p->counts().dropped, 0u);
    }
    // A clean end says "offline"; a subscriber that comes later finds the
    // retained status and states at once.
    TestSubscriber later;
    ASSERT_TRUE(later.connect(broker));
    ASSERT_TRUE(later.waitFor("tarnwick/127.0.0.1_8642/status"));
    EXPECT_EQ(later.on("tarnwick/127.0.0.1_8642/status"), QList<QByteArray>{"offline"});
    ASSERT_TRUE(later.waitFor(stateTopic(sensors[2].rom.toLatin1())));
    EXPECT_TRUE(later.messages().front().retained);
}

TEST_F(MqttBrokerTest, LoginRefusedWithItsReasonThenAccepted) {
    REQUIRE_MOSQUITTO();
    TestBroker broker;
    const TestBroker::Login login{"logger", "right one"};
    ASSERT_TRUE(broker.requireLogin(login));
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    BrokerSettings s = settingsFor(broker);
    s.username = login.username;
    s.password = "wrong one";
    {
        auto p = publisher(s);
        ASSERT_TRUE(waitUntil([&] { return !told_.empty(); }, 10'000));
        EXPECT_EQ(told_.back(), QString("not authorised"));
        EXPECT_EQ(p->failure(), told_.back());
        // Tried again and again, but told only once.
        QThread::msleep(600);
        QCoreApplication::processEvents();
        EXPECT_EQ(told_.size(), 1u);
    }
    told_.clear();
    s.password = login.password;
    auto p = publisher(s);
    TestSubscriber sub;
    ASSERT_TRUE(sub.connect(broker, login));
    ASSERT_TRUE(toldOf(std::nullopt)) << lastTold().toStdString();
    p->publish(SensorRoster(), QStringList{"9101"});
    EXPECT_TRUE(sub.waitFor(stateTopic("9C000000B4A89828")));
}

TEST_F(MqttBrokerTest, TlsWithThePrivateCaAndRefusedWithoutIt) {
    REQUIRE_MOSQUITTO();
    TestBroker broker;
    const QString ca = broker.useTls();
    ASSERT_FALSE(ca.isEmpty());
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    BrokerSettings s = settingsFor(broker);
    ASSERT_TRUE(s.tls);
    {
        // The system's CA store does not vouch for the throw-away CA.
        auto p = publisher(s);
        ASSERT_TRUE(waitUntil([&] { return !told_.empty(); }, 10'000));
        EXPECT_EQ(told_.back(), QString("TLS failure: certificate verify failed"));
    }
    told_.clear();
    s.caFile = ca;
    auto p = publisher(s);
    TestSubscriber sub;
    ASSERT_TRUE(sub.connect(broker, {}, ca));
    ASSERT_TRUE(toldOf(std::nullopt)) << lastTold().toStdString();
    p->publish(SensorRoster(), QStringList{"A200"});
    ASSERT_TRUE(sub.waitFor(stateTopic("9C000000B4A89828")));
    EXPECT_EQ(
        QJsonDocument::fromJson(sub.on(stateTopic("9C000000B4A89828"))[0]).object()["celsius"],
        10.125);
}

TEST_F(MqttBrokerTest, BrokerAwayThenBackGetsTheCurrentReadingsOnly) {
    REQUIRE_MOSQUITTO();
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    auto p = publisher(settingsFor(broker));
    ASSERT_TRUE(toldOf(std::nullopt)) << lastTold().toStdString();
    const SensorRoster roster;  // the compiled-in sixteen
    const QStringList first = {"9101", "A200"};
    p->publish(roster, first);
    ASSERT_TRUE(waitUntil([&] { return p->counts().sent >= 3; }));

    broker.stop();
    ASSERT_TRUE(waitUntil([&] { return !told_.empty() && told_.back(); }, 10'000));
    EXPECT_TRUE(*told_.back() == "connection closed by the broker" ||
                *told_.back() == "connection refused")
        << lastTold().toStdString();
    // Passes go on while it is away: only the newest reading of each sensor waits.
    const qint64 sentBefore = qint64(p->counts().sent);
    for (int pass = 0; pass < 50; ++pass)
        p->publish(roster,
                   {QStringLiteral("%1").arg(0x100 + pass, 4, 16, QChar('0')).toUpper(), "A200"});
    const MqttPublisher::Counts away = p->counts();
    EXPECT_EQ(away.waiting, 2u);
    EXPECT_EQ(away.dropped, 98u);
    EXPECT_EQ(qint64(away.sent), sentBefore);
    // Tried again while it is away.
    EXPECT_TRUE(toldOf(QString("connection refused"))) << lastTold().toStdString();

    ASSERT_TRUE(broker.start(broker.port())) << broker.log().toStdString();
    TestSubscriber sub;
    ASSERT_TRUE(sub.connect(broker));
    ASSERT_TRUE(toldOf(std::nullopt)) << lastTold().toStdString();
    ASSERT_TRUE(sub.waitFor(stateTopic("06000000A4EC7428")));
    ASSERT_TRUE(sub.waitFor(stateTopic("9C000000B4A89828")));
    EXPECT_EQ(sub.on(stateTopic("9C000000B4A89828")).size(), 1);
    EXPECT_EQ(QJsonDocument::fromJson(sub.on(stateTopic("9C000000B4A89828"))[0]).object()["word"],
              "0131");
    EXPECT_EQ(sub.on("tarnwick/127.0.0.1_8642/status"), QList<QByteArray>{"online"});
    EXPECT_EQ(p->counts().waiting, 0u);
}

// A broker restarted without its retained messages (no persistence) gets the
// Home Assistant configs again once the publisher has reconnected, though the
// sensors have not changed.
TEST_F(MqttBrokerTest, DiscoveryConfigsSentAgainToABrokerThatLostThem) {
    REQUIRE_MOSQUITTO();
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    BrokerSettings s = settingsFor(broker);
    s.discovery = true;
    auto p = publisher(s);
    const QByteArray config =
        "homeassistant/sensor/tarnwick_127_0_0_1_8642/9C000000B4A89828/config";
    p->publish(SensorRoster(), QStringList{"A200"});
    {
        TestSubscriber sub;
        ASSERT_TRUE(sub.connect(broker));
        ASSERT_TRUE(sub.waitFor(config));
    }
    broker.stop();
    ASSERT_TRUE(waitUntil([&] { return !told_.empty() && told_.back(); }, 10'000));
    ASSERT_TRUE(broker.start(broker.port())) << broker.log().toStdString();
    ASSERT_TRUE(toldOf(std::nullopt)) << lastTold().toStdString();
    TestSubscriber sub;
    ASSERT_TRUE(sub.connect(broker));
    EXPECT_TRUE(sub.waitFor(config));
}

QByteArray alarmTopic(const char* subject) {
    return QByteArray("tarnwick/127.0.0.1_8642/") + subject + "/alarm";
}

QByteArray nodeConfig(const char* component, const char* object) {
    return QByteArray("homeassistant/") + component + "/tarnwick_127_0_0_1_8642/" + object +
           "/config";
}

QJsonObject lastJson(const TestSubscriber& sub, const QByteArray& topic) {
    return QJsonDocument::fromJson(sub.on(topic).value(sub.on(topic).size() - 1)).object();
}

// Hands each reading through the rules to the publisher, as the pass
// recorder does.
void judge(AlarmRules& rules, MqttPublisher& p, const SensorRoster& roster, const char* word,
           qint64 nowMs) {
    for (const AlarmEvent& e :
         rules.pass(roster, {word}, true, nowMs, QDateTime::currentDateTime()))
        p.alarmChanged(e);
}

// An alarm raised by one run and left ON, the next run with another limit
// says OFF as soon as it connects; then ON beyond the limit and OFF only once
// back inside by the hysteresis, each with its attributes, all retained; the
// adapter's alarm beside them.
TEST_F(MqttBrokerTest, AlarmOnAndOffRetainedWithAttributesAndAnEarlierRunsOnCleared) {
    REQUIRE_MOSQUITTO();
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    const auto roster = [](int highMilli) {
        RosterSensor loft{.slot = 2, .rom = "B900000027CA8F28", .name = "Loft"};
        loft.limits.highMilliCelsius = highMilli;
        return SensorRoster({loft}, "roster.conf");
    };
    const QByteArray alarm = alarmTopic("B900000027CA8F28");
    TestSubscriber sub;
    ASSERT_TRUE(sub.connect(broker));
    {
        auto p = publisher(settingsFor(broker));
        p->watch(roster(25'000), true);
        // Where it stands first.
        ASSERT_TRUE(sub.waitFor(alarm, "OFF"));
        AlarmRules rules(roster(25'000), kAdapter, 60'000);
        judge(rules, *p, roster(25'000), "A200", 0);
        judge(rules, *p, roster(25'000), "9101", 1);  // 25.0625 °C
        ASSERT_TRUE(sub.waitFor(alarm, "ON"));
        EXPECT_EQ(sub.on(alarm), QList<QByteArray>({"OFF", "ON"}));
        const QJsonObject raised = lastJson(sub, alarm + "/attributes");
        EXPECT_EQ(raised["state"], "high");
        EXPECT_EQ(raised["limit"], 25);
        EXPECT_EQ(raised["celsius"], 25.0625);
        EXPECT_EQ(raised["name"], "Loft");
        EXPECT_EQ(raised["sensor"], 3);
        EXPECT_EQ(sub.on(alarmTopic("adapter")), QList<QByteArray>{"OFF"});
    }
    sub.clear();
    auto p = publisher(settingsFor(broker));
    p->watch(roster(30'000), true);
    ASSERT_TRUE(sub.waitFor(alarm, "OFF"));
    EXPECT_EQ(lastJson(sub, alarm + "/attributes")["state"], "ok");
    AlarmRules rules(roster(30'000), kAdapter, 1);
    const char* words[] = {"E801", "DC01", "D801"};  // 30.5, 29.75, 29.5 °C
    for (int i = 0; i < 3; ++i) judge(rules, *p, roster(30'000), words[i], i);
    ASSERT_TRUE(waitUntil([&] { return sub.on(alarm).size() == 3; }));
    EXPECT_EQ(sub.on(alarm), QList<QByteArray>({"OFF", "ON", "OFF"}));
    const QJsonObject cleared = lastJson(sub, alarm + "/attributes");
    EXPECT_EQ(cleared["state"], "ok");
    EXPECT_TRUE(cleared["limit"].isNull());
    EXPECT_EQ(cleared["celsius"], 29.5);
    for (qint64 ms : {10, 20})
        if (std::optional<AlarmEvent> e =
                rules.adapter("timed out", ms, QDateTime::currentDateTime()))
            p->alarmChanged(*e);
    ASSERT_TRUE(sub.waitFor(alarmTopic("adapter"), "ON"));
    EXPECT_EQ(lastJson(sub, alarmTopic("adapter") + "/attributes")["reason"],
              "silent for 0 s, timed out");

    TestSubscriber later;
    ASSERT_TRUE(later.connect(broker));
    ASSERT_TRUE(later.waitFor(alarm + "/attributes"));
    ASSERT_TRUE(later.waitFor(alarmTopic("adapter")));
    EXPECT_EQ(later.on(alarm), QList<QByteArray>{"OFF"});
    EXPECT_EQ(later.on(alarmTopic("adapter")), QList<QByteArray>{"ON"});
    for (const auto& m : later.messages()) EXPECT_TRUE(m.retained) << m.topic.toStdString();
}

// Waits until the last message on `topic` clears it (zero length).
bool clearedOn(const TestSubscriber& sub, const QByteArray& topic) {
    return waitUntil([&] {
        const QList<QByteArray> got = sub.on(topic);
        return !got.isEmpty() && got.constLast().isEmpty();
    });
}

// Three sensors, then two: the configs and alarm topics of the one gone are
// cleared at connect, the others' kept, and nothing of another logger's or
// of Home Assistant's other devices is touched; a config of the topic used
// before the node moves to the node's. Then the compiled-in roster: no alarm
// topics, no binary sensors, and those of before cleared.
TEST_F(MqttBrokerTest, ConfigsOfSensorsNoLongerInTheRosterAreCleared) {
    REQUIRE_MOSQUITTO();
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    BrokerSettings s = settingsFor(broker);
    s.discovery = true;
    s.sweepWindowMs = 300;
    const char* roms[] = {"1100000000000028", "2200000000000028", "3300000000000028"};
    std::vector<RosterSensor> three;
    for (int slot = 0; slot < 3; ++slot) {
        three.push_back({.slot = slot, .rom = roms[slot], .name = ""});
        three.back().limits.lowMilliCelsius = 0;
    }
    const SensorRoster first(three, "roster.conf");
    const SensorRoster second({three[0], three[1]}, "roster.conf");
    const QByteArray gone = roms[2];
    const QByteArrayList goneTopics = {nodeConfig("sensor", roms[2]),
                                       nodeConfig("binary_sensor", roms[2]), alarmTopic(roms[2]),
                                       alarmTopic(roms[2]) + "/attributes"};
    const QByteArray oldOurs = "homeassistant/sensor/tarnwick_1100000000000028/config";
    const QByteArray oldTheirs = "homeassistant/sensor/tarnwick_2200000000000028/config";
    const QByteArray foreign = "homeassistant/sensor/kitchen/3300000000000028/config";
    const auto retain = [&](const QByteArray& topic, const QByteArray& payload) {
        return run(findProgram("mosquitto_pub"),
                   {"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-r", "-q", "1", "-t",
                    topic, "-m", payload});
    };
    ASSERT_TRUE(retain(oldOurs, R"({"device":{"identifiers":["tarnwick_127.0.0.1_8642"]}})"));
    ASSERT_TRUE(retain(oldTheirs, R"({"device":{"identifiers":["tarnwick_10.0.0.9"]}})"));
    ASSERT_TRUE(retain(foreign, R"({"name":"someone else's"})"));
    TestSubscriber sub;
    ASSERT_TRUE(sub.connect(broker));
    {
        // Another adapter's logger on the same broker, with the same sensors.
        MqttPublisher other(s, "127.0.0.1:9999", clock_, wall_);
        other.watch(first, true);
        other.publish(first, {"0000", "0000", "0000"});
        auto p = publisher(s);
        p->watch(first, true);
        p->publish(first, {"9101", "9101", "9101"});
        ASSERT_TRUE(sub.waitFor(nodeConfig("binary_sensor", "adapter")));
        for (const QByteArray& topic : goneTopics) ASSERT_TRUE(sub.waitFor(topic));
        ASSERT_TRUE(clearedOn(sub, oldOurs));
        ASSERT_TRUE(waitUntil([&] { return p->counts().cleared == 1; }));
        ASSERT_TRUE(waitUntil([&] {
            return sub.on("homeassistant/binary_sensor/tarnwick_127_0_0_1_9999/adapter/config")
                       .size() == 1;
        }));
        // The moved config is sent again once the old one is gone.
        ASSERT_TRUE(waitUntil([&] { return sub.on(nodeConfig("sensor", roms[0])).size() == 2; }));
    }
    sub.clear();
    {
        auto p = publisher(s);
        p->watch(second, true);
        p->publish(second, {"9101", "9101"});
        for (const QByteArray& topic : goneTopics)
            EXPECT_TRUE(clearedOn(sub, topic)) << topic.data();
        ASSERT_TRUE(waitUntil([&] { return p->counts().cleared == 4; }));
    }
    TestSubscriber later;
    ASSERT_TRUE(later.connect(broker));
    const QByteArrayList kept = {nodeConfig("sensor", roms[0]),
                                 nodeConfig("binary_sensor", roms[1]),
                                 nodeConfig("binary_sensor", "adapter"),
                                 alarmTopic(roms[1]),
                                 oldTheirs,
                                 foreign,
                                 "homeassistant/sensor/tarnwick_127_0_0_1_9999/" + gone + "/config",
                                 "tarnwick/127.0.0.1_9999/" + gone + "/alarm"};
    for (const QByteArray& topic : kept) EXPECT_TRUE(later.waitFor(topic)) << topic.data();
    QThread::msleep(200);
    QCoreApplication::processEvents();
    for (const QByteArray& topic : goneTopics + QByteArrayList{oldOurs})
        EXPECT_TRUE(later.on(topic).isEmpty()) << topic.data();
    // The state topics stay: they are the last readings.
    EXPECT_FALSE(later.on(stateTopic(roms[2])).isEmpty());

    sub.clear();
    {
        auto p = publisher(s);
        p->watch(SensorRoster(), true);
        p->publish(SensorRoster(), {"9101"});
        const QByteArrayList alarms = {nodeConfig("binary_sensor", roms[0]),
                                       nodeConfig("binary_sensor", "adapter"), alarmTopic(roms[1]),
                                       alarmTopic("adapter")};
        for (const QByteArray& topic : alarms) EXPECT_TRUE(clearedOn(sub, topic)) << topic.data();
        ASSERT_TRUE(sub.waitFor(nodeConfig("sensor", "9C000000B4A89828")));
        for (const auto& m : sub.messages())
            EXPECT_TRUE(m.payload.isEmpty() ||
                        (!m.topic.contains("alarm") && !m.topic.contains("binary_sensor")))
                << m.topic.toStdString();
    }
}

// A name whose first address refuses (where a broker listening on IPv4 only
// is named "localhost" and that resolves to ::1 first): the next address is
// tried at once, and nothing is told but the connection.
TEST_F(MqttBrokerTest, NameWhoseFirstAddressRefusesConnectsThroughTheNext) {
    REQUIRE_MOSQUITTO();
    struct Row {
        bool tls;
        std::vector<QByteArray> addresses;  // empty: the system's resolver
    };
    const Row rows[] = {
        {false, {"127.0.0.3", "127.0.0.1"}}, {false, {"::1", "127.0.0.1"}}, {false, {}},
        {true, {"127.0.0.3", "127.0.0.1"}},  {true, {"::1", "127.0.0.1"}},  {true, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << (row.tls ? "TLS " : "") << row.addresses.size());
        TestBroker broker;
        const QString ca = row.tls ? broker.useTls() : QString();
        ASSERT_TRUE(broker.start()) << broker.log().toStdString();
        BrokerSettings s = settingsFor(broker);
        s.host = "localhost";
        s.caFile = ca;
        // Longer than the wait for the connection: a refusal is seen at once.
        s.connectTimeoutMs = 60'000;
        told_.clear();
        asked_->names.clear();
        auto p = row.addresses.empty() ? publisher(s) : publisher(s, row.addresses);
        ASSERT_TRUE(toldOf(std::nullopt)) << lastTold().toStdString();
        EXPECT_EQ(told_.size(), 1u) << lastTold().toStdString();
        if (!row.addresses.empty()) EXPECT_EQ(askedNames(), QStringList{"localhost"});
        publishedThrough(*p, broker, ca);
    }
}

// The certificate is checked against the name the broker was given by, not
// the address it was reached at (which the certificate names too).
TEST_F(MqttBrokerTest, TlsChecksTheBrokersNameNotTheAddressReached) {
    REQUIRE_MOSQUITTO();
    TestBroker broker;
    const QString ca = broker.useTls();
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    const std::pair<const char*, std::optional<QString>> rows[] = {
        {"broker.test", QString("TLS failure: certificate verify failed")},
        {"localhost", std::nullopt},
        {"127.0.0.1", std::nullopt},
    };
    for (const auto& [host, expected] : rows) {
        SCOPED_TRACE(host);
        BrokerSettings s = settingsFor(broker);
        s.host = host;
        s.caFile = ca;
        told_.clear();
        auto p = publisher(s, {"127.0.0.1"});
        ASSERT_TRUE(waitUntil([&] { return !told_.empty(); }, 10'000));
        EXPECT_EQ(told_.back(), expected) << lastTold().toStdString();
        if (!expected) publishedThrough(*p, broker, ca);
    }
}

// A server that takes the connection and never answers: given up at the
// connect timeout with the stage it reached, then tried again. With TLS, the
// ClientHello names the broker (SNI), not the address.
TEST(MqttNoAnswer, GivenUpAtTheConnectTimeoutWithTheStageReached) {
    const std::pair<bool, QString> rows[] = {{false, "no answer from the broker"},
                                             {true, "TLS handshake not finished"}};
    for (const auto& [tls, expected] : rows) {
        SCOPED_TRACE(expected.toStdString());
        SilentServer server;
        ASSERT_NE(server.port(), 0);
        BrokerSettings s;
        s.tls = tls;
        s.host = "broker.test";
        s.port = server.port();
        s.firstRetryMs = 100;
        s.connectTimeoutMs = 300;
        SteadyClock clock;
        FakeWallClock wall;
        std::vector<std::optional<QString>> told;
        auto asked = std::make_shared<FakeResolver::Asked>();
        MqttPublisher p(
            s, kAdapter, clock, wall,
            std::make_unique<FakeResolver>(std::vector<QByteArray>{"127.0.0.1"}, asked));
        p.setFailureListener([&](const std::optional<QString>& r) { told.push_back(r); });
        ASSERT_TRUE(waitUntil([&] { return !told.empty(); }, 10'000));
        EXPECT_EQ(told, std::vector<std::optional<QString>>{expected});
        EXPECT_TRUE(waitUntil([&] { return server.accepted() >= 2; }, 10'000));
        EXPECT_EQ(server.received().contains("broker.test"), tls);
        if (!tls) EXPECT_TRUE(server.received().contains("MQTT"));
    }
}

// However many sensors a pass has, at most 64 topics wait for a broker that
// is not there.
TEST(MqttNoBroker, AtMostSixtyFourTopicsWait) {
    std::vector<RosterSensor> sensors;
    QStringList words;
    for (int i = 0; i < 100; ++i) {
        sensors.push_back({.slot = i % 16, .rom = QStringLiteral("%1").arg(i, 16, 10, QChar('0'))});
        words << "0191";
    }
    BrokerSettings s;
    s.host = "127.0.0.1";
    s.port = freeLoopbackPort();
    SteadyClock clock;
    FakeWallClock wall;
    MqttPublisher p(s, kAdapter, clock, wall);
    p.publish(SensorRoster(sensors, "roster.conf"), words);
    const MqttPublisher::Counts counts = p.counts();
    EXPECT_EQ(counts.waiting, 64u);
    EXPECT_EQ(counts.dropped, 36u);
    EXPECT_EQ(counts.sent, 0u);
}

}  // namespace
}  // namespace tarnwick::test
