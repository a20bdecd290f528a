// One line of the log, read back: the time it was written and one reading per
// active sensor, in roster order.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "Timestamp.h"

namespace tarnwick {

// The sensors a record can carry: roster sensorSlots 0-15 (sensor numbers 1-16).
inline constexpr int kMaxSensors = 16;

enum class ReadingKind : std::uint8_t {
    Absent,   // the record does not carry this sensor (12 active sensors)
    Valid,    // a temperature
    Missing,  // "0000": the logger's mark for a reading that failed its check
    PowerOn,  // "5005": a sensor's value after a power-on reset (85 C)
};

struct Reading {
    ReadingKind kind = ReadingKind::Absent;
    std::int16_t sixteenths = 0;  // valid for Valid and PowerOn
};

struct LogRecord {
    WallSeconds time = 0;
    int sensorCount = 0;
    std::array<Reading, kMaxSensors> readings{};
    // The words the readings were made from, kept by parseRecordLine to skip
    // reading a word that is the same as in the line before (0: none).
    std::array<std::uint64_t, kMaxSensors> wordBytes{};
};

// Why a line is not a record, for the message that reports it.
enum class LineError {
    None,
    TooLong,
    NoTimestamp,
    BadTimestamp,
    BadWord,
    WrongWordCount,
};
const char* lineErrorText(LineError error);

// A line cut into its timestamp and words, not yet read.
struct RecordWords {
    std::string_view timestamp;
    std::array<std::string_view, kMaxSensors> words;
    int count = 0;
};
LineError splitRecordLine(std::string_view line, RecordWords& words);

// Reads one line without its line end. The words are split off from the end
// ("W , W , ... , W"), so a timestamp may contain commas and blanks of its own;
// the timestamp is read by `timestamps`. A record carries 12 or 16 words.
LineError parseRecordLine(std::string_view line, GeneralDateTimeParser& timestamps,
                          LogRecord& record);

}  // namespace tarnwick
