// ASCII letters, as HTML tag names and Qt's date and time format fields
// know them.
#pragma once

namespace tarnwick {

// True for A-Z and a-z. Takes the character's code: QChar::unicode(), or a
// char as unsigned char.
constexpr bool isAsciiLetter(char32_t c) {
    return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}

}  // namespace tarnwick
