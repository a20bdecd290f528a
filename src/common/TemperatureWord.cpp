#include "TemperatureWord.h"

#include <cstdint>

#include "HexDigit.h"

namespace tarnwick {

namespace {
template <typename Text, typename CodeOf>
std::optional<int> stepsOf(const Text& word, CodeOf code) {
    if (word.size() != 4) return std::nullopt;
    int digits[4];
    for (int i = 0; i < 4; ++i) {
        digits[i] = hexDigitValue(code(word[i]));
        if (digits[i] < 0) return std::nullopt;
    }
    const int low = digits[0] * 16 + digits[1];
    const int high = digits[2] * 16 + digits[3];
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(high << 8 | low));
}
}  // namespace

std::optional<int> wordToSteps(QStringView word) {
    return stepsOf(word, [](QChar c) { return char32_t(c.unicode()); });
}

std::optional<int> wordToSteps(std::string_view word) {
    return stepsOf(word, [](char c) { return char32_t(static_cast<unsigned char>(c)); });
}

std::optional<double> wordToCelsius(QStringView word, int family) {
    const std::optional<int> steps = wordToSteps(word);
    if (!steps) return std::nullopt;
    return *steps * stepTenThousandths(family) / 10000.0;
}

}  // namespace tarnwick
