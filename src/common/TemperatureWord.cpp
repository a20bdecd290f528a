#include "TemperatureWord.h"

#include <cstdint>

namespace tarnwick {

namespace {
int hexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') return u - u'0';
    if (u >= u'A' && u <= u'F') return u - u'A' + 10;
    if (u >= u'a' && u <= u'f') return u - u'a' + 10;
    return -1;
}
}  // namespace

std::optional<int> wordToSixteenths(QStringView word) {
    if (word.size() != 4) return std::nullopt;
    int digits[4];
    for (int i = 0; i < 4; ++i) {
        digits[i] = hexDigit(word[i]);
        if (digits[i] < 0) return std::nullopt;
    }
    const int low = digits[0] * 16 + digits[1];
    const int high = digits[2] * 16 + digits[3];
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(high << 8 | low));
}

}  // namespace tarnwick
