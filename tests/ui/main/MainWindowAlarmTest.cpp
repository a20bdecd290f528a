// The window telling alarms, end to end against the simulated adapter with a
// roster file's limit: the status bar's headline (behind a silent adapter),
// the sensor boxes' tooltip and description, and one desktop notification
// for each change, unless notifications are off.
#include <gtest/gtest.h>

#include <QLineEdit>

#include "../../TestPrinters.h"
#include "MainWindowHelpers.h"
#include "MainWindowRig.h"
#include "RosterFile.h"

namespace tarnwick::test {
namespace {

const std::string kCellar = "06000000A4EC7428";
const std::string kFreezer = "9C000000B4A89828";

SensorRoster freezerRoster() {
    const RosterLoad load = parseRoster(
        "06000000A4EC7428, Cellar\n9C000000B4A89828, Freezer, high=-15\n", "alarms.conf");
    EXPECT_TRUE(load.roster) << load.error.toStdString();
    return load.roster.value_or(SensorRoster());
}

// What the window showed at one moment.
struct Seen {
    QString status, tip, description;
};

TEST(MainWindowAlarm, RaisedAndClearedInStatusBarTooltipAndNotifications) {
    const ScopedLocale uk(QLocale(QLocale::English, QLocale::UnitedKingdom));
    for (const bool notifications : {true, false}) {
        SCOPED_TRACE(notifications ? "notifications on" : "notifications off");
        tarnwick::sim::Options o = MainWindowRig::quickOptions();
        o.temperatureC[kCellar] = 10.0;
        o.temperatureC[kFreezer] = -12.5;  // above -15 from the first pass
        MainWindowRig rig(o, CycleTiming{2'000, 20, 50, 200}, freezerRoster(), {}, notifications);
        frmMain& w = rig.window;
        const int port = rig.sim.port();
        Seen raised, behindAdapter, cleared;
        const auto seen = [&] {
            return Seen{w.sbStatusBar->statusText(), w.txtTemperature->toolTip(),
                        w.txtSensorNum->accessibleDescription()};
        };
        // Sensor 2 (the Freezer, read last) in the boxes after a whole pass.
        const auto freezerShown = [&] { return w.txtSensorNum->text() == "2"; };
        int phase = 0;
        rig.run([&] {
            const QString status = w.sbStatusBar->statusText();
            if (phase == 0 && status.startsWith("Alarm") && freezerShown() &&
                w.txtTemperature->toolTip().contains("alarm")) {
                raised = seen();
                rig.sim.stop();
                phase = 1;
            } else if (phase == 1 && status.startsWith("Adapter")) {
                behindAdapter = seen();
                EXPECT_TRUE(rig.sim.start("127.0.0.1", port));
                phase = 2;
            } else if (phase == 2 && status.startsWith("Alarm")) {
                rig.sim.setTemperature(kFreezer, -16.0);  // back inside by more than 0.5
                phase = 3;
            } else if (phase == 3 && status == "Status" && freezerShown() &&
                       !w.txtTemperature->toolTip().contains("alarm")) {
                cleared = seen();
                return true;
            }
            return false;
        });
        ASSERT_EQ(phase, 3);
        EXPECT_EQ(raised.status,
                  "Alarm: sensor 2 (Freezer, 9C000000B4A89828) high: -12.50 °C, above -15 °C");
        EXPECT_EQ(raised.tip, "Sensor 2, Freezer: \u221212.50 °C, alarm: high (above \u221215 °C)");
        EXPECT_EQ(raised.description, raised.tip);
        // The reason depends on where the stop cut the pass.
        EXPECT_TRUE(behindAdapter.status.startsWith("Adapter not answering: "))
            << "a silent adapter comes before an alarm: " << behindAdapter.status.toStdString();
        EXPECT_EQ(cleared.tip, "Sensor 2, Freezer: \u221216.00 °C");
        EXPECT_EQ(cleared.description, cleared.tip);

        const std::vector<DesktopNotification>& told = rig.desktop.desktopNotifier.notified;
        if (!notifications) {
            EXPECT_TRUE(told.empty());
            continue;
        }
        ASSERT_EQ(told.size(), 2u) << "one for the alarm, one for its end; none for the outage";
        EXPECT_EQ(told[0],
                  (DesktopNotification{"Freezer: high",
                                       "\u221212.50 °C, above \u221215 °C\n"
                                       "Sensor 2 (9C000000B4A89828) at 2026-12-07 07:12:49",
                                       DesktopNotification::Urgency::Critical}));
        EXPECT_EQ(told[1],
                  (DesktopNotification{"Freezer: back to normal",
                                       "\u221216.00 °C, back inside \u221215 °C\n"
                                       "Sensor 2 (9C000000B4A89828) at 2026-12-07 07:12:49",
                                       DesktopNotification::Urgency::Normal}));
    }
}

}  // namespace
}  // namespace tarnwick::test
