// The sensors the logger polls and the adapter it reaches them through. Both
// are fixed when the program is built; only the active count changes at run
// time, through the "Sixteen Sensors" check box.
#pragma once

#include <QString>
#include <array>
#include <cstdint>

namespace tarnwick {

// Identifier table slots: 0-15 hold the sixteen sensors, slot 16 stays empty.
constexpr int kSlotCount = 17;
using IdentifierTable = std::array<QString, kSlotCount>;
using SlotTexts = std::array<QString, kSlotCount>;

// The sixteen ROM codes, MSB first (CRC byte, serial, family "28").
IdentifierTable compiledRoster();

// The adapter's address as built in: dotted-decimal IPv4, maybe with ":port".
QString compiledAdapterAddress();

// The active count for a check box value: 16 when checked (1), otherwise 12
// (unchecked 0 and grayed 2 alike).
std::int16_t sensorCountForCheckValue(int checkValue);

}  // namespace tarnwick
