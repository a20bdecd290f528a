// What the Sensor Number and Temperature boxes say on hover: the name when
// there is one, the reading in degrees by the sensor's family with its offset,
// a failed or power-on reading said as such, °F for US units; an alarm
// said after the reading while the sensor is in one, its limit in the same
// units.
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

TEST(SensorTip, AlarmAfterTheReadingWhileNotOk) {
    RosterSensor cellar;
    cellar.slot = 4;
    cellar.name = QStringLiteral("Cellar");
    cellar.limits.highMilliCelsius = 8000;
    cellar.limits.lowMilliCelsius = 2500;
    cellar.limits.faultPasses = 1;
    RosterSensor freezer;
    freezer.slot = 4;
    freezer.limits.highMilliCelsius = -15000;
    const QLocale europe(QLocale::English, QLocale::UnitedKingdom);
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    const struct {
        const RosterSensor* sensor;
        const char* word;  // read once by the sensor's alarm, then shown
        QLocale locale;
        QString tip;
    } cases[] = {
        {&cellar, "C800", europe,
         QStringLiteral("Sensor 5, Cellar: 12.50 \u00B0C, alarm: high (above 8 \u00B0C)")},
        {&cellar, "C800", us,
         QStringLiteral("Sensor 5, Cellar: 54.50 \u00B0F, alarm: high (above 46.4 \u00B0F)")},
        {&cellar, "1000", german,
         QStringLiteral("Sensor 5, Cellar: 1,00 \u00B0C, alarm: low (below 2,5 \u00B0C)")},
        {&cellar, "0000", europe,
         QStringLiteral("Sensor 5, Cellar: the reading failed (0000), fault: no valid reading")},
        {&cellar, "5000", europe, QStringLiteral("Sensor 5, Cellar: 5.00 \u00B0C")},
        {&freezer, "38FF", europe,
         QStringLiteral("Sensor 5: \u221212.50 \u00B0C, alarm: high (above \u221215 \u00B0C)")},
    };
    for (const auto& c : cases) {
        SensorAlarm alarm(*c.sensor);
        const QString word = QString::fromLatin1(c.word);
        alarm.reading(word, 0, QDateTime());
        EXPECT_EQ(sensorTip(c.sensor, 5, word, c.locale, &alarm), c.tip)
            << c.word << " " << c.locale.name().toStdString();
    }
}

}  // namespace
}  // namespace tarnwick::test
