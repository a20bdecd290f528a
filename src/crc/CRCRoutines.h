// 1-Wire CRC-8 (Dallas/Maxim, x^8 + x^5 + x^4 + 1, LSB first) over hex text,
// and the check that a scratchpad reply from the adapter has to pass.
#pragma once

#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <stdexcept>

namespace tarnwick::CRCRoutines {

// Raised when a character pair handed to the CRC is not hexadecimal.
class ConversionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Entry i is the CRC-8 of the single byte i. Filled by FillCRCTable.
extern std::array<std::int16_t, 256> CRCTable;

// Copies the four literal 64-entry lists into CRCTable.
void FillCRCTable();

// CRC over the bytes spelt by `hex` as pairs of hex digits (a trailing odd
// character is read on its own). CRCTable must be filled. Throws
// ConversionError for a pair that is not hexadecimal.
std::int16_t HexStringCRC8(QStringView hex);

// Fills the table, then gives the CRC of scratchpad bytes 0-7 of a reply
// (characters 3-18) as two upper-case hex digits, or "Too short" when the
// reply is not exactly 20 characters long. Throws ConversionError like
// HexStringCRC8.
QString ReplyCRC(QString reply);

// The acceptance rule: true when the reply's CRC field (characters 19-20)
// equals ReplyCRC(reply) exactly. A reply whose CRC cannot be computed is
// rejected. Never throws.
bool AcceptReply(const QString& reply) noexcept;

}  // namespace tarnwick::CRCRoutines
