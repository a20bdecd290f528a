// Hexadecimal digits, in either case.
#pragma once

namespace tarnwick {

// 0-15 for 0-9, A-F and a-f; -1 for any other character. Takes the
// character's code: QChar::unicode(), or a char as unsigned char.
constexpr int hexDigitValue(char32_t c) {
    if (c >= U'0' && c <= U'9') return static_cast<int>(c - U'0');
    if (c >= U'A' && c <= U'F') return static_cast<int>(c - U'A') + 10;
    if (c >= U'a' && c <= U'f') return static_cast<int>(c - U'a') + 10;
    return -1;
}

constexpr bool isHexDigit(char32_t c) { return hexDigitValue(c) >= 0; }

}  // namespace tarnwick
