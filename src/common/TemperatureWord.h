// A temperature word as the logger shows and writes it: the scratchpad's
// temperature bytes as two hex pairs, least significant byte first ("4B01" is
// 0x014B). The value is a signed count of steps: sixteenths of a degree
// Celsius for the DS18B20 (family 28) and the DS1822 (family 22), half
// degrees for the older DS18S20 (family 10).
#pragma once

#include <QStringView>
#include <optional>
#include <string_view>

namespace tarnwick {

// The 1-Wire family codes of the temperature sensors the logger reads (the
// last byte of a ROM code as written, its first on the wire).
inline constexpr int kFamilyDS18S20 = 0x10;
inline constexpr int kFamilyDS1822 = 0x22;
inline constexpr int kFamilyDS18B20 = 0x28;
constexpr bool isTemperatureFamily(int family) {
    return family == kFamilyDS18S20 || family == kFamilyDS1822 || family == kFamilyDS18B20;
}

// The logger's mark for "no valid reading" (a reply that failed the check),
// whatever the family.
inline constexpr char16_t kMissingWord[] = u"0000";
// What a sensor reports after a power-on reset, before any conversion (85 C):
// "5005" for families 28 and 22, "AA00" for family 10.
inline constexpr char16_t kPowerOnWord[] = u"5005";
inline constexpr char16_t kHalfDegreePowerOnWord[] = u"AA00";
constexpr std::u16string_view powerOnWord(int family) {
    return family == kFamilyDS18S20 ? kHalfDegreePowerOnWord : kPowerOnWord;
}

// The word's value in steps (two's complement, the 16 bits as they stand);
// nullopt unless the word is exactly four hex digits.
std::optional<int> wordToSteps(QStringView word);
// The same for the word's bytes as they stand in the log file.
std::optional<int> wordToSteps(std::string_view word);

// One step of a family's word in ten-thousandths of a degree Celsius: exact
// for both families (1/16 = 0.0625, 1/2 = 0.5).
constexpr int stepTenThousandths(int family) { return family == kFamilyDS18S20 ? 5000 : 625; }

// The word in degrees Celsius for a sensor of `family`, or nullopt unless it
// is four hex digits. "0000" and the power-on word are read as the numbers
// they spell: callers that must tell them apart ask first.
std::optional<double> wordToCelsius(QStringView word, int family);

inline double celsiusToFahrenheit(double celsius) { return celsius * 9.0 / 5.0 + 32.0; }

}  // namespace tarnwick
