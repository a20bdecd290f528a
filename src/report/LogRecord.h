// One line of the log, read back: the time it was written and one reading per
// active sensor that the roster has, in slot order.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "Roster.h"
#include "Timestamp.h"

namespace tarnwick {

// A record carries at most kMaxSensors words (Roster.h): roster slots 0-15,
// sensor numbers 1-16.

enum class ReadingKind : std::uint8_t {
    Absent,   // the record does not carry this sensor (12 active sensors)
    Valid,    // a temperature
    Missing,  // "0000": the logger's mark for a reading that failed its check
    PowerOn,  // "5005" ("AA00" for family 10): a sensor's value after a power-on reset (85 C)
};

struct Reading {
    ReadingKind kind = ReadingKind::Absent;
    // The word's value in its sensor's steps (sixteenths of a degree, half
    // degrees for family 10; SensorLabels turns them into degrees); valid
    // for Valid and PowerOn.
    std::int16_t steps = 0;
};

// For each column of a record, the value in steps that its sensor reports
// after a power-on reset (85 C): 1360 sixteenths, or 170 half degrees for a
// family-10 sensor.
using PowerOnSteps = std::array<std::int16_t, kMaxSensors>;
inline constexpr PowerOnSteps kSixteenthsPowerOn = [] {
    PowerOnSteps steps{};
    for (std::int16_t& s : steps) s = 85 * 16;
    return steps;
}();

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
// the timestamp is read by `timestamps`. A record carries 1 to 16 words: one
// per active sensor of the roster it was written with (12 or 16 with the
// compiled-in one). `powerOn` says which value is a power-on reading, column
// by column.
LineError parseRecordLine(std::string_view line, GeneralDateTimeParser& timestamps,
                          LogRecord& record, const PowerOnSteps& powerOn = kSixteenthsPowerOn);

}  // namespace tarnwick
