// One limit crossed and left again, seen on every outlet at once: the window
// (status bar, the sensor's tooltip, a desktop notification), a real
// Mosquitto broker (the retained alarm topic and its attributes) and the
// user's command (its variables), each told once when the alarm is raised and
// once when it ends, and not before the reading is back past the hysteresis.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QTemporaryDir>

#include "../TestPrinters.h"
#include "../logging/TestFiles.h"
#include "AlarmCommand.h"
#include "MainWindowHelpers.h"
#include "MainWindowRig.h"
#include "MqttPublisher.h"
#include "RosterFile.h"
#include "TestBroker.h"

namespace tarnwick::test {
namespace {

const std::string kCellar = "06000000A4EC7428";
const std::string kFreezer = "9C000000B4A89828";

TEST(AlarmOutletsEndToEnd, OneCrossingIsToldOnceRaisedAndOnceClearedOnEveryOutlet) {
    REQUIRE_MOSQUITTO();
    const ScopedLocale uk(QLocale(QLocale::English, QLocale::UnitedKingdom));
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    TestSubscriber sub;
    ASSERT_TRUE(sub.connect(broker));
    QTemporaryDir dir;
    const QString told = dir.filePath("told");
    const QString script = dir.filePath("alarm.sh");
    ASSERT_TRUE(writeAll(script,
                         "#!/bin/sh\necho \"$TARNWICK_ALARM_STATE $TARNWICK_ALARM_SENSOR "
                         "$TARNWICK_ALARM_NAME $TARNWICK_ALARM_READING "
                         "$TARNWICK_ALARM_LIMIT\" >>'" +
                             told.toUtf8() + "'\n"));
    QFile(script).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const RosterLoad load =
        parseRoster("06000000A4EC7428, Cellar\n9C000000B4A89828, Freezer, high=-15, hysteresis=2\n",
                    "alarms.conf");
    ASSERT_TRUE(load.roster) << load.error.toStdString();

    BrokerSettings settings;
    parseBrokerUrl(broker.url(), settings);
    SteadyClock steady;
    FakeWallClock wall;
    MqttPublisher publisher(settings, "127.0.0.1:8642", steady, wall);
    publisher.watch(*load.roster, false);
    AlarmCommand command(script);
    tarnwick::sim::Options o = MainWindowRig::quickOptions();
    o.temperatureC[kCellar] = 10.0;
    o.temperatureC[kFreezer] = -20.0;
    MainWindowRig rig(o, CycleTiming{2'000, 20, 50, 200}, *load.roster);
    rig.desktop.publisher.passOnTo(publisher);
    rig.desktop.alarmOutlet.add(publisher.alarmOutlet());
    rig.desktop.alarmOutlet.add(command);
    frmMain& w = rig.window;
    const QByteArray alarmTopic = "tarnwick/127.0.0.1_8642/9C000000B4A89828/alarm";

    // Each step holds the freezer at a temperature for five passes; the
    // status bar and the tooltip are taken at the end of each.
    const double steps[] = {-20.0, -14.0, -16.0, -18.0};
    struct Seen {
        QString status, tip;
    };
    std::vector<Seen> seen;
    std::size_t stepStart = 0;
    rig.run(
        [&] {
            const std::size_t passes = rig.desktop.publisher.passes.size();
            if (passes < stepStart + 5 || w.txtSensorNum->text() != "2") return false;
            seen.push_back({w.sbStatusBar->statusText(), w.txtTemperature->toolTip()});
            if (seen.size() == std::size(steps)) return true;
            rig.sim.setTemperature(kFreezer, steps[seen.size()]);
            stepStart = passes;
            return false;
        },
        30'000);
    ASSERT_EQ(seen.size(), std::size(steps));
    const QString raised =
        "Alarm: sensor 2 (Freezer, 9C000000B4A89828) high: -14.00 °C, above -15 °C";
    const std::vector<std::pair<QString, QString>> expected = {
        {"Status", "Sensor 2, Freezer: \u221220.00 °C"},
        {raised, "Sensor 2, Freezer: \u221214.00 °C, alarm: high (above \u221215 °C)"},
        // Inside the limit, not yet by the hysteresis: the alarm holds.
        {raised, "Sensor 2, Freezer: \u221216.00 °C, alarm: high (above \u221215 °C)"},
        {"Status", "Sensor 2, Freezer: \u221218.00 °C"},
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(seen[i].status, expected[i].first) << "step " << i;
        EXPECT_EQ(seen[i].tip, expected[i].second) << "step " << i;
    }

    const std::vector<DesktopNotification>& notified = rig.desktop.desktopNotifier.notified;
    ASSERT_EQ(notified.size(), 2u);
    EXPECT_EQ(notified[0].summary, "Freezer: high");
    EXPECT_EQ(notified[1].summary, "Freezer: back to normal");

    // The broker: OFF at the start, then one ON and one OFF, the attributes
    // of the last saying what ended.
    ASSERT_TRUE(waitUntil([&] { return sub.on(alarmTopic).size() >= 3; }, 5'000))
        << sub.on(alarmTopic).join(' ').toStdString();
    EXPECT_EQ(sub.on(alarmTopic), (QList<QByteArray>{"OFF", "ON", "OFF"}));
    const QJsonObject attributes =
        QJsonDocument::fromJson(sub.on(alarmTopic + "/attributes").constLast()).object();
    EXPECT_EQ(attributes["state"], "ok");
    EXPECT_EQ(attributes["celsius"], -18);

    // The command: run once for each change, with the facts in its variables.
    ASSERT_TRUE(waitUntil([&] { return command.idle(); }, 10'000));
    EXPECT_EQ(readAll(told), "high 2 Freezer -14 -15\nok 2 Freezer -18 -15\n");
}

}  // namespace
}  // namespace tarnwick::test
