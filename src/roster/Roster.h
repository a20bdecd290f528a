// The numbers of the sensor roster, defined here and nowhere else: how many
// sensors a roster holds, the slots the cycle keeps per sensor, how many are
// polled unless "Sixteen Sensors" is checked, the sixteen sensors built into
// the program and the adapter address it was built with. A roster file
// (RosterFile.h) replaces the built-in sensors for a run, the command line or
// the environment the address.
#pragma once

#include <QString>
#include <array>
#include <cstdint>

namespace tarnwick {

// A roster holds at most this many sensors, in slots 0-15.
inline constexpr int kMaxSensors = 16;
// The cycle's tables per sensor have one slot more, slot 16, which stays empty.
inline constexpr int kSlotCount = kMaxSensors + 1;
// The active sensor count with "Sixteen Sensors" unchecked, and checked.
inline constexpr std::int16_t kDefaultActiveCount = 12;
inline constexpr std::int16_t kAllActiveCount = kMaxSensors;

using IdentifierTable = std::array<QString, kSlotCount>;
using SlotTexts = std::array<QString, kSlotCount>;

// The sixteen ROM codes built in, MSB first (CRC byte, serial, family "28").
IdentifierTable compiledRoster();

// The adapter's address as built in: dotted-decimal IPv4, maybe with ":port".
QString compiledAdapterAddress();

// The active count for a check box value: 16 when checked (1), otherwise 12
// (unchecked 0 and grayed 2 alike).
std::int16_t sensorCountForCheckValue(int checkValue);

}  // namespace tarnwick
