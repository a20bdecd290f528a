#include "SensorTip.h"

namespace tarnwick {

QString sensorTip(const RosterSensor* sensor, int number, const QString& word,
                  const QLocale& locale) {
    QString tip = QStringLiteral("Sensor %1").arg(number);
    if (sensor && !sensor->name.isEmpty()) tip += QStringLiteral(", ") + sensor->name;
    if (!sensor) return tip;
    if (RosterSensor::isMissing(word))
        return tip + QStringLiteral(": the reading failed (%1)").arg(word);
    if (sensor->isPowerOn(word))
        return tip + QStringLiteral(": power-on value (%1), no temperature yet").arg(word);
    const std::optional<double> celsius = sensor->celsius(word);
    if (!celsius) return tip + QStringLiteral(": no reading yet");
    const bool fahrenheit = locale.measurementSystem() == QLocale::ImperialUSSystem;
    const double degrees = fahrenheit ? celsiusToFahrenheit(*celsius) : *celsius;
    QString value = locale.toString(degrees, 'f', 2);
    // A true minus sign reads better than a hyphen.
    if (value.startsWith(u'-')) value.replace(0, 1, QChar(0x2212));
    return tip + QStringLiteral(": %1 %2").arg(value, fahrenheit ? u"\u00B0F" : u"\u00B0C");
}

}  // namespace tarnwick
