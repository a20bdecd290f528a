// What hovering over the Sensor Number and Temperature boxes says (and what a
// screen reader reads for them): the sensor's number, its name when the
// roster gives one, and its reading in degrees with its offset added, as in
// "Sensor 3, Freezer: −18.31 °C"; then the sensor's alarm while it is in
// one: "Sensor 5, Cellar: 12.50 °C, alarm: high (above 8 °C)". Degrees
// Fahrenheit where the locale measures in US units.
#pragma once

#include <QLocale>
#include <QString>

#include "AlarmRules.h"
#include "SensorRoster.h"

namespace tarnwick {

// `sensor` is the roster's entry for the sensor numbered `number` (nullptr
// if the roster has none); `word` its temperature word as shown; `alarm` its
// alarm rules (nullptr when it is not watched): said only when not ok.
QString sensorTip(const RosterSensor* sensor, int number, const QString& word,
                  const QLocale& locale, const SensorAlarm* alarm = nullptr);

// Degrees Celsius as the window shows them in `locale`: a reading with two
// decimals ("−18.31 °C", "21,50 °C", "70.70 °F"), a limit as short as it
// goes ("−15 °C", "46.4 °F").
QString shownReading(double celsius, const QLocale& locale);
QString shownLimit(double celsius, const QLocale& locale);

}  // namespace tarnwick
