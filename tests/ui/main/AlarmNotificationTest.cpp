// What the desktop is told of each alarm's change: who and what in the
// summary, the reading, the limit and the time in the body, critical while
// raised.
#include <gtest/gtest.h>

#include "../../TestPrinters.h"
#include "AlarmNotification.h"
#include "FakeDesktop.h"

namespace tarnwick::test {
namespace {

AlarmEvent sensorEvent(AlarmState from, AlarmState to, QString name, std::optional<double> celsius,
                       std::optional<double> limit, QString word = {}) {
    AlarmEvent e;
    e.from = from;
    e.to = to;
    e.at = QDateTime(QDate(2026, 12, 11), QTime(4, 5, 6));
    e.number = 3;
    e.name = std::move(name);
    e.rom = QStringLiteral("9C000000B4A89828");
    e.word = std::move(word);
    e.celsius = celsius;
    e.limit = limit;
    return e;
}

AlarmEvent adapterEvent(bool raised) {
    AlarmEvent e;
    e.subject = AlarmEvent::Subject::Adapter;
    e.to = raised ? AlarmState::Fault : AlarmState::Ok;
    e.from = raised ? AlarmState::Ok : AlarmState::Fault;
    e.at = QDateTime(QDate(2026, 12, 11), QTime(4, 5, 6));
    e.adapter = QStringLiteral("192.168.1.50");
    e.reason = raised ? QStringLiteral("silent for 60 s, timed out") : QString();
    return e;
}

TEST(AlarmNotification, SummaryBodyAndUrgencyOfEachKindOfChange) {
    using S = AlarmState;
    using U = DesktopNotification::Urgency;
    const QLocale uk(QLocale::English, QLocale::UnitedKingdom);
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QString at = QStringLiteral("Sensor 3 (9C000000B4A89828) at 2026-12-11 04:05:06");
    const struct {
        AlarmEvent event;
        QLocale locale;
        DesktopNotification told;
    } cases[] = {
        {sensorEvent(S::Ok, S::High, "Freezer", -12.5, -15),
         uk,
         {"Freezer: high", "\u221212.50 °C, above \u221215 °C\n" + at, U::Critical}},
        {sensorEvent(S::High, S::Ok, "Freezer", -15.75, -15),
         uk,
         {"Freezer: back to normal", "\u221215.75 °C, back inside \u221215 °C\n" + at, U::Normal}},
        {sensorEvent(S::Ok, S::Low, "", 1.0, 2.5),
         us,
         {"Sensor 3: low", "33.80 °F, below 36.5 °F\n" + at, U::Critical}},
        {sensorEvent(S::Ok, S::Fault, "Cellar", std::nullopt, std::nullopt, "0000"),
         uk,
         {"Cellar: fault", "No valid reading (0000)\n" + at, U::Critical}},
        {sensorEvent(S::Fault, S::Ok, "Cellar", 11.0, std::nullopt, "B000"),
         uk,
         {"Cellar: back to normal", "11.00 °C\n" + at, U::Normal}},
        {adapterEvent(true),
         uk,
         {"Adapter 192.168.1.50: not answering",
          "Silent for 60 s, timed out\nAt 2026-12-11 04:05:06", U::Critical}},
        {adapterEvent(false),
         uk,
         {"Adapter 192.168.1.50: answering again",
          "Readings are taken again\nAt 2026-12-11 04:05:06", U::Normal}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(alarmNotification(c.event, c.locale), c.told) << c.event.describe().toStdString();
    }
}

}  // namespace
}  // namespace tarnwick::test
