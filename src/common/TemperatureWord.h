// A temperature word as the logger shows and writes it: the scratchpad's
// temperature bytes as two hex pairs, least significant byte first ("4B01" is
// 0x014B). The value is a signed count of sixteenths of a degree Celsius.
#pragma once

#include <QStringView>
#include <optional>
#include <string_view>

namespace tarnwick {

// The logger's mark for "no valid reading" (a reply that failed the check).
inline constexpr char16_t kMissingWord[] = u"0000";
// What a sensor reports after a power-on reset, before any conversion (85 C).
inline constexpr char16_t kPowerOnWord[] = u"5005";

// The word's value in sixteenths of a degree Celsius (two's complement, the
// 16 bits as they stand); nullopt unless the word is exactly four hex digits.
std::optional<int> wordToSixteenths(QStringView word);
// The same for the word's bytes as they stand in the log file.
std::optional<int> wordToSixteenths(std::string_view word);

inline double sixteenthsToCelsius(int sixteenths) { return sixteenths / 16.0; }
inline double celsiusToFahrenheit(double celsius) { return celsius * 9.0 / 5.0 + 32.0; }

}  // namespace tarnwick
