// Temperatures in the unit the user asked for. A reading is a whole number of
// its sensor's steps (sixteenths of a degree Celsius, or half degrees) plus
// the roster's offset in thousandths of a degree, which is exactly four
// decimals in Celsius (1/16 = 0.0625) and in Fahrenheit (9/80 = 0.1125, and
// 0.001 C = 0.0018 F), so text is made from integers and never rounded.
#pragma once

#include <cstdint>
#include <string>

namespace tarnwick {

enum class Unit { Celsius, Fahrenheit };

// A temperature held as ten-thousandths of a degree Celsius; always a
// multiple of 5 (a sixteenth is 625, a thousandth 10).
using TenThousandthsC = std::int64_t;

// The temperature in ten-thousandths of a degree of `unit`.
constexpr std::int64_t tenThousandths(TenThousandthsC celsius, Unit unit) {
    return unit == Unit::Celsius ? celsius : celsius * 9 / 5 + 320000;
}

// The same as a number of degrees, for a value that need not be whole (a mean).
double degrees(double celsiusTenThousandths, Unit unit);

// Writes the temperature with four decimals ("20.6875", "-0.0625") at `out`
// and returns the end; at most kMaxDegreesText characters.
inline constexpr int kMaxDegreesText = 24;
char* writeDegrees(char* out, TenThousandthsC celsius, Unit unit);
void appendDegrees(std::string& out, TenThousandthsC celsius, Unit unit);
std::string degreesText(TenThousandthsC celsius, Unit unit);

const char* unitSymbol(Unit unit);  // "°C" or "°F"

}  // namespace tarnwick
