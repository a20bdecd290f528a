#include "Degrees.h"

#include "TemperatureWord.h"

namespace tarnwick {

double degrees(double celsiusTenThousandths, Unit unit) {
    const double celsius = celsiusTenThousandths / 10000.0;
    return unit == Unit::Celsius ? celsius : celsiusToFahrenheit(celsius);
}

char* writeDegrees(char* out, TenThousandthsC celsius, Unit unit) {
    std::int64_t value = tenThousandths(celsius, unit);
    if (value < 0) {
        *out++ = '-';
        value = -value;
    }
    char digits[24];
    int n = 0;
    std::int64_t whole = value / 10000;
    do {
        digits[n++] = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    while (n > 0) *out++ = digits[--n];
    const int fraction = static_cast<int>(value % 10000);
    *out++ = '.';
    *out++ = static_cast<char>('0' + fraction / 1000);
    *out++ = static_cast<char>('0' + fraction / 100 % 10);
    *out++ = static_cast<char>('0' + fraction / 10 % 10);
    *out++ = static_cast<char>('0' + fraction % 10);
    return out;
}

void appendDegrees(std::string& out, TenThousandthsC celsius, Unit unit) {
    char text[kMaxDegreesText];
    out.append(text, writeDegrees(text, celsius, unit));
}

std::string degreesText(TenThousandthsC celsius, Unit unit) {
    std::string text;
    appendDegrees(text, celsius, unit);
    return text;
}

const char* unitSymbol(Unit unit) { return unit == Unit::Celsius ? "\u00B0C" : "\u00B0F"; }

}  // namespace tarnwick
