// The alarm rules, by scenario: a roster line, readings at given times, and
// the transitions they must make (and no other).
#include <gtest/gtest.h>

#include <cmath>
#include <variant>

#include "../TestPrinters.h"
#include "AlarmRules.h"
#include "RosterFile.h"

namespace tarnwick::test {
namespace {

const QDateTime kStart(QDate(2026, 12, 7), QTime(7, 0));

SensorRoster rosterOf(const char* lines) {
    RosterLoad load = parseRoster(QByteArray(lines), QStringLiteral("alarms.conf"));
    EXPECT_TRUE(load.roster) << load.error.toStdString();
    return load.roster.value_or(SensorRoster());
}

// A DS18B20's word for a temperature: sixteenths, low byte first.
QString word(double celsius) {
    const auto steps = static_cast<quint16>(static_cast<qint16>(std::lround(celsius * 16)));
    return QStringLiteral("%1%2")
        .arg(steps & 0xFF, 2, 16, QLatin1Char('0'))
        .arg(steps >> 8, 2, 16, QLatin1Char('0'))
        .toUpper();
}

// "S:from>to@limit" for each transition of the readings, S the seconds.
// A reading is degrees, or a word as written ("0000", "5005").
struct Reading {
    double seconds;
    std::variant<double, const char*> value;
};

QString run(AlarmRules& rules, const SensorRoster& roster, const std::vector<Reading>& readings) {
    QStringList told;
    for (const Reading& r : readings) {
        const QString w = std::holds_alternative<double>(r.value)
                              ? word(std::get<double>(r.value))
                              : QString::fromLatin1(std::get<const char*>(r.value));
        const auto ms = static_cast<qint64>(r.seconds * 1000);
        for (const AlarmEvent& e : rules.pass(roster, {w}, true, ms, kStart.addMSecs(ms))) {
            EXPECT_EQ(e.at, kStart.addMSecs(ms));
            QString t = QStringLiteral("%1:%2>%3").arg(r.seconds).arg(alarmStateName(e.from),
                                                                         alarmStateName(e.to));
            if (e.limit) t += QStringLiteral("@%1").arg(*e.limit);
            told << t;
        }
    }
    return told.join(u' ');
}

TEST(AlarmRulesTest, TransitionsOfOneSensor) {
    const struct {
        const char* what;
        const char* line;
        std::vector<Reading> readings;
        const char* told;
    } cases[] = {
        {"high clears only back inside by the hysteresis, at its very edge",
         "9C000000B4A89828, F, high=5",
         {{0, 4.0}, {1, 5.0}, {2, 5.0625}, {3, 4.5625}, {4, 4.5}, {5, 4.9375}, {6, 5.125}},
         "2:ok>high@5 4:high>ok@5 6:ok>high@5"},
        {"low, with a hysteresis of its own",
         "9C000000B4A89828, P, low=3, hysteresis=1",
         {{0, 3.0}, {1, 2.9375}, {2, 3.9375}, {3, 4.0}},
         "1:ok>low@3 3:low>ok@3"},
        {"the offset counts before the limit",
         "9C000000B4A89828, F, -0.25, high=5",
         {{0, 5.25}, {1, 5.3125}},
         "1:ok>high@5"},
        {"a delay: crossed for that long; a dip back starts it again",
         "9C000000B4A89828, F, high=5, delay=60",
         {{0, 6.0}, {30, 4.0}, {40, 6.0}, {99, 6.0}, {100, 6.0}, {101, 6.0}, {102, 4.5}},
         "100:ok>high@5 102:high>ok@5"},
        {"fault after three failed or power-on readings in a row, cleared by a good one",
         "9C000000B4A89828, F",
         {{0, "0000"}, {1, "5005"}, {2, 20.0}, {3, "0000"}, {4, "5005"}, {5, "0000"},
          {6, "0000"}, {7, 20.0}},
         "5:ok>fault 7:fault>ok"},
        {"fault=1, and a good reading beyond a limit goes from fault to high",
         "9C000000B4A89828, F, high=5, fault=1",
         {{0, 6.0}, {1, "0000"}, {2, 6.0}},
         "0:ok>high@5 1:high>fault 2:fault>high@5"},
        {"a fault ends at once, the delayed limit only later",
         "9C000000B4A89828, F, high=5, delay=10, fault=1",
         {{0, "0000"}, {1, 6.0}, {11, 6.0}},
         "0:ok>fault 1:fault>ok 11:ok>high@5"},
        {"from one limit straight past the other",
         "9C000000B4A89828, F, low=0, high=5",
         {{0, 6.0}, {1, -1.0}, {2, 0.25}, {3, 0.5}},
         "0:ok>high@5 1:high>low@0 3:low>ok@0"},
        {"a delayed limit's alarm ends when the other limit is crossed",
         "9C000000B4A89828, F, low=0, high=5, delay=5",
         {{0, 6.0}, {5, 6.0}, {6, -1.0}, {11, -1.0}},
         "5:ok>high@5 6:high>ok@5 11:ok>low@0"},
        {"a half-degree sensor's power-on word",
         "56000802B1C4A510, S, fault=2",
         {{0, "AA00"}, {1, "AA00"}, {2, "2800"}},
         "1:ok>fault 2:fault>ok"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const SensorRoster roster = rosterOf(c.line);
        AlarmRules rules(roster, QStringLiteral("10.0.0.5"), 60'000);
        EXPECT_EQ(run(rules, roster, c.readings), QString::fromLatin1(c.told));
    }
}

TEST(AlarmRulesTest, EachRunJudgesByItsOwnRosterAndOnlyARosterFileIsWatched) {
    const std::vector<Reading> warm = {{0, 6.0}, {1, 6.0}};
    const SensorRoster before = rosterOf("9C000000B4A89828, F, high=5");
    const SensorRoster after = rosterOf("9C000000B4A89828, F, high=7");
    AlarmRules first(before, {}, 0), second(after, {}, 0);
    EXPECT_EQ(run(first, before, warm), "0:ok>high@5");
    EXPECT_EQ(run(second, after, warm), "");

    const SensorRoster compiled;
    AlarmRules none(compiled, {}, 60'000);
    EXPECT_FALSE(none.watching());
    EXPECT_EQ(run(none, compiled, {{0, "0000"}, {1, "0000"}, {2, "0000"}}), "");
    EXPECT_FALSE(none.adapter(QStringLiteral("timed out"), 100'000, kStart));
}

TEST(AlarmRulesTest, ASilentAdapterIsOneAlarmAndNoSensorFaults) {
    const SensorRoster roster = rosterOf("9C000000B4A89828, A\n06000000A4EC7428, B, fault=1\n");
    AlarmRules rules(roster, QStringLiteral("10.0.0.5"), 60'000);
    const QStringList failed = {QStringLiteral("0000"), QStringLiteral("0000")};
    std::vector<AlarmEvent> told;
    for (qint64 s : {0, 10, 30, 59, 61, 71, 90}) {
        const qint64 ms = s * 1000;
        if (auto e = rules.adapter(QStringLiteral("timed out"), ms, kStart.addMSecs(ms)))
            told.push_back(*e);
        EXPECT_TRUE(rules.pass(roster, failed, false, ms, kStart).empty());
    }
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].at, kStart.addSecs(61));
    EXPECT_EQ(told[0].describe(),
              "Alarm: adapter 10.0.0.5 not answering: silent for 61 s, timed out");
    EXPECT_EQ(rules.headline(), "adapter 10.0.0.5 not answering");
    const auto back = rules.adapter(std::nullopt, 95'000, kStart);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->describe(), "Alarm cleared: adapter 10.0.0.5 answering again");
    EXPECT_FALSE(rules.adapter(std::nullopt, 96'000, kStart));
    EXPECT_FALSE(rules.headline());
    // Silent again, briefly: the time counts from the new silence.
    EXPECT_FALSE(rules.adapter(QStringLiteral("refused"), 100'000, kStart));
    EXPECT_FALSE(rules.adapter(QStringLiteral("refused"), 159'000, kStart));
}

TEST(AlarmRulesTest, TheWorstAlarmHeadsTheStatusAndEveryChangeReadsAsALine) {
    const SensorRoster roster = rosterOf(
        "9C000000B4A89828, Freezer, high=-15\n"
        "06000000A4EC7428, , low=3\n"
        "B900000027CA8F28, Loft, fault=1\n");
    AlarmRules rules(roster, QStringLiteral("10.0.0.5"), 60'000);
    std::vector<AlarmEvent> told =
        rules.pass(roster, {word(-14.5), word(1.0), QStringLiteral("0000")}, true, 0, kStart);
    ASSERT_EQ(told.size(), 3u);
    EXPECT_EQ(told[0].describe(),
              "Alarm: sensor 1 (Freezer, 9C000000B4A89828) high: -14.50 °C, above -15 °C");
    EXPECT_EQ(told[1].describe(), "Alarm: sensor 2 (06000000A4EC7428) low: 1.00 °C, below 3 °C");
    EXPECT_EQ(told[2].describe(),
              "Alarm: sensor 3 (Loft, B900000027CA8F28) fault: no valid reading (0000)");
    // Two degrees below beats half a degree above; a fault comes last.
    EXPECT_EQ(rules.headline(),
              "sensor 2 (06000000A4EC7428) low: 1.00 °C, below 3 °C (2 more alarms)");
    told = rules.pass(roster, {word(-16.0), word(2.0), word(20.0)}, true, 1000, kStart);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0].describe(),
              "Alarm cleared: sensor 1 (Freezer, 9C000000B4A89828) high: -16.00 °C");
    EXPECT_EQ(told[0].limit, -15.0);
    EXPECT_EQ(rules.atSlot(1)->state(), AlarmState::Low);
    EXPECT_EQ(rules.headline(), "sensor 2 (06000000A4EC7428) low: 2.00 °C, below 3 °C");
}

}  // namespace
}  // namespace tarnwick::test
