// Temperatures in the unit the user asked for. A 12-bit reading is a whole
// number of sixteenths of a degree Celsius, which is exactly four decimals
// in Celsius (1/16 = 0.0625) and in Fahrenheit (9/80 = 0.1125), so text is
// made from integers and never rounded.
#pragma once

#include <cstdint>
#include <string>

namespace tarnwick {

enum class Unit { Celsius, Fahrenheit };

// The temperature in ten-thousandths of a degree.
constexpr std::int64_t tenThousandths(std::int64_t sixteenths, Unit unit) {
    return unit == Unit::Celsius ? sixteenths * 625 : sixteenths * 1125 + 320000;
}

double degrees(double sixteenths, Unit unit);

// Writes the temperature with four decimals ("20.6875", "-0.0625") at `out`
// and returns the end; at most kMaxDegreesText characters.
inline constexpr int kMaxDegreesText = 24;
char* writeDegrees(char* out, int sixteenths, Unit unit);
void appendDegrees(std::string& out, int sixteenths, Unit unit);
std::string degreesText(int sixteenths, Unit unit);

const char* unitSymbol(Unit unit);  // "°C" or "°F"

}  // namespace tarnwick
