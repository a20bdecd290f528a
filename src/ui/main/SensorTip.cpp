#include "SensorTip.h"

#include <cmath>

namespace tarnwick {

namespace {

bool usesFahrenheit(const QLocale& locale) {
    return locale.measurementSystem() == QLocale::ImperialUSSystem;
}

QString withUnit(QString value, const QLocale& locale) {
    // A true minus sign reads better than a hyphen.
    if (value.startsWith(u'-')) value.replace(0, 1, QChar(0x2212));
    return value +
           (usesFahrenheit(locale) ? QStringLiteral(" \u00B0F") : QStringLiteral(" \u00B0C"));
}

double inLocaleUnit(double celsius, const QLocale& locale) {
    return usesFahrenheit(locale) ? celsiusToFahrenheit(celsius) : celsius;
}

// ", alarm: high (above 8 °C)", ", fault: no valid reading"; empty while ok.
QString alarmText(const SensorAlarm& alarm, const QLocale& locale) {
    const AlarmState state = alarm.state();
    if (state == AlarmState::Ok) return QString();
    if (state == AlarmState::Fault) return QStringLiteral(", fault: no valid reading");
    QString text = QStringLiteral(", alarm: ") + alarmStateName(state);
    if (const std::optional<double> limit = alarm.limit()) {
        text +=
            (state == AlarmState::Low ? QStringLiteral(" (below ") : QStringLiteral(" (above ")) +
            shownLimit(*limit, locale) + u')';
    }
    return text;
}

}  // namespace

QString shownReading(double celsius, const QLocale& locale) {
    return withUnit(locale.toString(inLocaleUnit(celsius, locale), 'f', 2), locale);
}

QString shownLimit(double celsius, const QLocale& locale) {
    // Limits are given to a thousandth of a degree; Fahrenheit's factor would
    // otherwise show binary fractions ("46.400000000000006").
    const double rounded = std::round(inLocaleUnit(celsius, locale) * 1000.0) / 1000.0;
    QString value = locale.toString(rounded, 'f', 3);
    const QString point = locale.decimalPoint();
    if (value.contains(point)) {
        while (value.endsWith(u'0')) value.chop(1);
        if (value.endsWith(point)) value.chop(point.size());
    }
    if (value == QStringLiteral("-0")) value = QStringLiteral("0");
    return withUnit(value, locale);
}

QString sensorTip(const RosterSensor* sensor, int number, const QString& word,
                  const QLocale& locale, const SensorAlarm* alarm) {
    QString tip = QStringLiteral("Sensor %1").arg(number);
    if (sensor && !sensor->name.isEmpty()) tip += QStringLiteral(", ") + sensor->name;
    if (!sensor) return tip;
    const QString alarmed = alarm ? alarmText(*alarm, locale) : QString();
    if (RosterSensor::isMissing(word))
        return tip + QStringLiteral(": the reading failed (%1)").arg(word) + alarmed;
    if (sensor->isPowerOn(word))
        return tip + QStringLiteral(": power-on value (%1), no temperature yet").arg(word) +
               alarmed;
    const std::optional<double> celsius = sensor->celsius(word);
    if (!celsius) return tip + QStringLiteral(": no reading yet") + alarmed;
    return tip + QStringLiteral(": ") + shownReading(*celsius, locale) + alarmed;
}

}  // namespace tarnwick
