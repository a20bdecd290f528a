// What the Sensor Number and Temperature boxes say on hover: the name when
// there is one, the reading in degrees by the sensor's family with its offset,
// a failed or power-on reading said as such, °F for US units.
#include <gtest/gtest.h>

#include "../../TestPrinters.h"
#include "SensorTip.h"

namespace tarnwick::test {
namespace {

TEST(SensorTip, NameAndDegreesByFamilyOffsetAndLocale) {
    RosterSensor freezer;
    freezer.slot = 2;
    freezer.name = QStringLiteral("Freezer");
    freezer.offsetMilliCelsius = -250;
    RosterSensor plain;
    plain.slot = 2;
    RosterSensor old;  // a DS18S20: half degrees
    old.slot = 2;
    old.family = kFamilyDS18S20;
    old.name = QStringLiteral("K\u00FChlraum");
    old.offsetMilliCelsius = 300;
    const QLocale europe(QLocale::English, QLocale::UnitedKingdom);
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    const struct {
        const RosterSensor* sensor;
        const char* word;
        QLocale locale;
        QString tip;
    } cases[] = {
        {&freezer, "DCFE", europe, QStringLiteral("Sensor 3, Freezer: \u221218.50 \u00B0C")},
        {&plain, "5801", europe, QStringLiteral("Sensor 3: 21.50 \u00B0C")},
        {&plain, "5801", us, QStringLiteral("Sensor 3: 70.70 \u00B0F")},
        {&plain, "5801", german, QStringLiteral("Sensor 3: 21,50 \u00B0C")},
        {&old, "2B00", europe, QStringLiteral("Sensor 3, K\u00FChlraum: 21.80 \u00B0C")},
        {&old, "CEFF", europe, QStringLiteral("Sensor 3, K\u00FChlraum: \u221224.70 \u00B0C")},
        {&freezer, "0000", europe, QStringLiteral("Sensor 3, Freezer: the reading failed (0000)")},
        {&old, "0000", us, QStringLiteral("Sensor 3, K\u00FChlraum: the reading failed (0000)")},
        {&plain, "5005", europe,
         QStringLiteral("Sensor 3: power-on value (5005), no temperature yet")},
        {&old, "AA00", europe,
         QStringLiteral("Sensor 3, K\u00FChlraum: power-on value (AA00), no temperature yet")},
        {&plain, "", europe, QStringLiteral("Sensor 3: no reading yet")},
        {nullptr, "5801", europe, QStringLiteral("Sensor 3")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sensorTip(c.sensor, 3, QString::fromLatin1(c.word), c.locale), c.tip)
            << c.word << " " << c.locale.name().toStdString();
    }
}

}  // namespace
}  // namespace tarnwick::test
