// Publishing to a real Mosquitto broker end to end: the headless logger program
// against the simulated adapter (the datasheet's temperatures as degrees, Home
// Assistant discovery, its status lines, the last will after kill -9), and the
// window logging through a broker outage.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <csignal>

#include "../TestPrinters.h"
#include "MainWindowRig.h"
#include "MqttPublisher.h"
#include "TestBroker.h"

namespace tarnwick::test {
namespace {

QJsonObject lastJson(const TestSubscriber& sub, const QByteArray& topic) {
    const QList<QByteArray> got = sub.on(topic);
    return got.isEmpty() ? QJsonObject() : QJsonDocument::fromJson(got.back()).object();
}

// The headless logger, as the service runs it.
TEST(PublishingTest, TheHeadlessLoggerPublishesDegreesSaysWhenTheBrokerIsAwayAndLeavesItsWill) {
    REQUIRE_MOSQUITTO();
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    TestSubscriber sub;
    ASSERT_TRUE(sub.connect(broker));

    // The datasheet's temperatures on the first nine sensors; 85 C is the
    // power-on word and publishes no degrees.
    const double celsius[] = {125, 85, 25.0625, 10.125, 0.5, -0.5, -10.125, -25.0625, -55};
    sim::Options options = MainWindowRig::quickOptions();
    const std::vector<std::string>& ids = sim::rosterIds();
    for (std::size_t i = 0; i < std::size(celsius); ++i) options.temperatureC[ids[i]] = celsius[i];
    sim::Adapter sim(options);
    ASSERT_TRUE(sim.start());

    QTemporaryDir dir;
    QProcess logger;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QLatin1String(kMqttVariable));
    logger.setProcessEnvironment(environment);
    logger.start(QStringLiteral(TARNWICK_HEADLESS_PATH),
                 {"--log", dir.filePath("headless.log"), "--adapter",
                  QStringLiteral("127.0.0.1:%1").arg(sim.port()), "--mqtt", broker.url(),
                  "--mqtt-discovery"});
    ASSERT_TRUE(logger.waitForStarted());
    QString said;
    const auto saidLine = [&](const QString& line) {
        return waitUntil(
            [&] {
                said += QString::fromLocal8Bit(logger.readAllStandardError());
                return said.contains(line);
            },
            10'000);
    };
    const QByteArray base = "tarnwick/127.0.0.1_" + QByteArray::number(sim.port());
    const auto state = [&](std::size_t i) {
        return base + '/' + QByteArray(ids[i].c_str()) + "/state";
    };
    ASSERT_TRUE(sub.waitFor(state(8), {}, 20'000)) << said.toStdString();
    EXPECT_TRUE(saidLine(", broker " + broker.url() + "\n")) << said.toStdString();
    EXPECT_EQ(sub.on(base + "/status").constFirst(), "online");
    for (std::size_t i = 0; i < std::size(celsius); ++i) {
        SCOPED_TRACE(celsius[i]);
        const QJsonObject reading = lastJson(sub, state(i));
        EXPECT_EQ(reading["sensor"], int(i) + 1);
        if (celsius[i] == 85) {
            EXPECT_EQ(reading["word"], "5005");
            EXPECT_TRUE(reading["celsius"].isNull());
            EXPECT_EQ(reading["status"], "power-on");
        } else {
            EXPECT_EQ(reading["celsius"].toDouble(), celsius[i]);
        }
        const QJsonObject config =
            QJsonDocument::fromJson(sub.on("homeassistant/sensor/tarnwick_127_0_0_1_" +
                                           QByteArray::number(sim.port()) + '/' +
                                           QByteArray(ids[i].c_str()) + "/config")
                                        .value(0))
                .object();
        EXPECT_EQ(config["state_topic"].toString().toLatin1(), state(i));
        EXPECT_EQ(config["availability_topic"].toString().toLatin1(), base + "/status");
    }

    broker.stop();
    EXPECT_TRUE(saidLine("<4>Broker not answering: ")) << said.toStdString();
    ASSERT_TRUE(broker.start(broker.port())) << broker.log().toStdString();
    sub.clear();
    // The first retry comes a second after the failure, the next two later.
    EXPECT_TRUE(saidLine("<6>Broker answering again\n")) << said.toStdString();
    EXPECT_TRUE(sub.waitFor(state(0)));

    ::kill(static_cast<pid_t>(logger.processId()), SIGKILL);
    ASSERT_TRUE(logger.waitForFinished(5'000));
    EXPECT_TRUE(sub.waitFor(base + "/status", "offline"));
    EXPECT_EQ(sub.on(base + "/status").constLast(), "offline");
}

// The headless logger with a roster file: each sensor's alarm reaches the
// broker as the rules judge it, with its binary sensor for Home Assistant.
TEST(PublishingTest, TheHeadlessLoggerPublishesTheAlarmsOfItsRosterFile) {
    REQUIRE_MOSQUITTO();
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    TestSubscriber sub;
    ASSERT_TRUE(sub.connect(broker));
    sim::Options options = MainWindowRig::quickOptions();
    const std::vector<std::string>& ids = sim::rosterIds();
    options.temperatureC[ids[0]] = 125;
    options.temperatureC[ids[1]] = 25.0625;
    sim::Adapter sim(options);
    ASSERT_TRUE(sim.start());
    QTemporaryDir dir;
    QFile roster(dir.filePath("roster.conf"));
    ASSERT_TRUE(roster.open(QIODevice::WriteOnly));
    roster.write(QByteArray(ids[0].c_str()) + ", Boiler, high=100\n" + ids[1].c_str() +
                 ", Loft, high=30\n");
    roster.close();
    QProcess logger;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QLatin1String(kMqttVariable));
    logger.setProcessEnvironment(environment);
    logger.start(QStringLiteral(TARNWICK_HEADLESS_PATH),
                 {"--log", dir.filePath("headless.log"), "--roster", roster.fileName(), "--adapter",
                  QStringLiteral("127.0.0.1:%1").arg(sim.port()), "--mqtt", broker.url(),
                  "--mqtt-discovery"});
    ASSERT_TRUE(logger.waitForStarted());
    const QByteArray base = "tarnwick/127.0.0.1_" + QByteArray::number(sim.port()) + '/';
    const QByteArray boiler = base + ids[0].c_str() + "/alarm";
    const QByteArray loft = base + ids[1].c_str() + "/alarm";
    EXPECT_TRUE(sub.waitFor(boiler, "ON", 20'000)) << logger.readAllStandardError().toStdString();
    // "OFF" first when the broker answered before the first pass ended.
    EXPECT_EQ(sub.on(boiler).constLast(), "ON");
    const QJsonObject raised = lastJson(sub, boiler + "/attributes");
    EXPECT_EQ(raised["state"], "high");
    EXPECT_EQ(raised["limit"], 100);
    EXPECT_EQ(raised["celsius"], 125);
    EXPECT_EQ(raised["name"], "Boiler");
    EXPECT_EQ(sub.on(loft), QList<QByteArray>{"OFF"});
    EXPECT_EQ(sub.on(base + "adapter/alarm"), QList<QByteArray>{"OFF"});
    const QJsonObject config =
        lastJson(sub, "homeassistant/binary_sensor/tarnwick_127_0_0_1_" +
                          QByteArray::number(sim.port()) + '/' + ids[0].c_str() + "/config");
    EXPECT_EQ(config["device_class"], "problem");
    EXPECT_EQ(config["state_topic"].toString().toLatin1(), boiler);
    logger.terminate();
    EXPECT_TRUE(logger.waitForFinished(10'000));
}

// How long the broker stays away; the benchmark keeps it away for minutes.
constexpr int kOutageMs = 2'000;

// The broker stopped while the window logs, and started again: every pass is
// logged and handed on while it is away, no pass waits on it, the status bar
// says why it is silent, and publishing resumes on its own.
TEST(PublishingTest, TheWindowLogsEveryPassWhileTheBrokerIsAway) {
    REQUIRE_MOSQUITTO();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QTemporaryDir dir;
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    TestSubscriber sub;
    ASSERT_TRUE(sub.connect(broker));
    BrokerSettings settings;
    parseBrokerUrl(broker.url(), settings);
    settings.firstRetryMs = 100;
    settings.maxRetryMs = 400;
    // The publisher outlives the window, which lets go of it as it closes.
    SteadyClock steady;
    FakeWallClock wall;
    MqttPublisher publisher(settings, "127.0.0.1:8642", steady, wall);
    MainWindowRig rig(MainWindowRig::steadyTemperatures());
    rig.desktop.publisher.passOnTo(publisher);
    const QString log = dir.filePath("outage.log");
    rig.dialogs.answers = {log};
    const QByteArray firstState = "tarnwick/127.0.0.1_8642/9C000000B4A89828/state";

    QElapsedTimer clock;
    clock.start();
    int phase = 0;
    std::size_t passesSeen = 0, passesAtLogStart = 0, passesAtStop = 0, passesAtStart = 0;
    qint64 lastPassMs = 0, awayMs = 0, longestGapMs = 0;
    QStringList statuses;
    rig.run(
        [&] {
            const qint64 now = clock.elapsed();
            if (rig.desktop.publisher.passes.size() != passesSeen) {
                passesSeen = rig.desktop.publisher.passes.size();
                if (phase == 2 || phase == 3)
                    longestGapMs = std::max(longestGapMs, now - lastPassMs);
                lastPassMs = now;
            }
            const QString status = rig.window.sbStatusBar->statusText();
            if (statuses.isEmpty() || statuses.back() != status) statuses << status;
            if (phase == 0 && rig.window.isVisible()) {
                QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);
                passesAtLogStart = rig.desktop.publisher.passes.size();
                phase = 1;
            } else if (phase == 1 && rig.window.txtRecNum->text().toInt() >= 5 &&
                       !sub.on(firstState).isEmpty()) {
                broker.stop();
                passesAtStop = passesSeen;
                awayMs = now;
                phase = 2;
            } else if (phase == 2 && now - awayMs >= kOutageMs && status.startsWith("Broker")) {
                EXPECT_TRUE(broker.start(broker.port())) << broker.log().toStdString();
                passesAtStart = passesSeen;
                sub.clear();
                phase = 3;
            } else if (phase == 3 && status == "Status" && !sub.on(firstState).isEmpty()) {
                return true;
            }
            return false;
        },
        30'000);
    ASSERT_EQ(phase, 3);
    EXPECT_TRUE(statuses.contains("Broker not answering: connection refused") ||
                statuses.contains("Broker not answering: connection closed by the broker"))
        << statuses.join(" | ").toStdString();
    // The passes went on at their pace while the broker was away.
    EXPECT_GE(passesAtStart - passesAtStop, 10u);
    EXPECT_LT(longestGapMs, 1'000);
    // One record per pass since logging started, numbered without a gap.
    const QStringList records = readLines(log);
    EXPECT_EQ(std::size_t(records.size()), rig.desktop.publisher.passes.size() - passesAtLogStart);
    EXPECT_EQ(rig.window.txtRecNum->text().toInt(), records.size());
    EXPECT_GT(publisher.counts().dropped, 0u);
    EXPECT_EQ(lastJson(sub, firstState)["word"], "9101");
    QLocale::setDefault(QLocale::c());
}

}  // namespace
}  // namespace tarnwick::test
