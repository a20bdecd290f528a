// What hovering over the Sensor Number and Temperature boxes says (and what a
// screen reader reads for them): the sensor's number, its name when the
// roster gives one, and its reading in degrees with its offset added, as in
// "Sensor 3, Freezer: −18.31 °C". Degrees Fahrenheit where the locale
// measures in US units.
#pragma once

#include <QLocale>
#include <QString>

#include "SensorRoster.h"

namespace tarnwick {

// `sensor` is the roster's entry for the sensor numbered `number` (nullptr
// if the roster has none); `word` its temperature word as shown.
QString sensorTip(const RosterSensor* sensor, int number, const QString& word,
                  const QLocale& locale);

}  // namespace tarnwick
