#include "LogRecord.h"

#include <algorithm>
#include <cstring>

#include "TemperatureWord.h"

namespace tarnwick {

namespace {

// Anything longer is not a record: a timestamp and sixteen words fit many
// times over.
constexpr std::size_t kMaxLineBytes = 1024;
constexpr int kWordLength = 4;
// Marks a LogRecord::wordBytes entry as holding the bytes of a word read well.
constexpr std::uint64_t kKnownWord = std::uint64_t{1} << 32;

// The four bytes of a word as one number, for quick comparisons.
std::uint32_t wordBytes(std::string_view word) {
    std::uint32_t bytes;
    std::memcpy(&bytes, word.data(), sizeof bytes);
    return bytes;
}

// The logger's missing-reading mark as the bytes it writes.
std::uint32_t asciiWordBytes(std::u16string_view word) {
    char bytes[kWordLength];
    for (int i = 0; i < kWordLength; ++i) bytes[i] = static_cast<char>(word[i]);
    return wordBytes({bytes, kWordLength});
}

const std::uint32_t kMissingBytes = asciiWordBytes(kMissingWord);

Reading readWord(std::string_view word, std::int16_t powerOn, bool& ok) {
    if (wordBytes(word) == kMissingBytes) return {ReadingKind::Missing, 0};
    const std::optional<int> value = wordToSteps(word);
    if (!value) {
        ok = false;
        return {};
    }
    const auto steps = static_cast<std::int16_t>(*value);
    return {steps == powerOn ? ReadingKind::PowerOn : ReadingKind::Valid, steps};
}

bool isWordSeparator(std::string_view line, std::size_t end) {
    return end >= 3 && line[end - 3] == ' ' && line[end - 2] == ',' && line[end - 1] == ' ';
}

}  // namespace

const char* lineErrorText(LineError error) {
    switch (error) {
        case LineError::None:
            return "";
        case LineError::TooLong:
            return "line too long";
        case LineError::NoTimestamp:
            return "no \"timestamp, word\" start";
        case LineError::BadTimestamp:
            return "timestamp not in the locale's date and time format";
        case LineError::BadWord:
            return "a temperature word is not four hex digits";
        case LineError::WrongWordCount:
            return "more than 16 temperature words";
    }
    return "";
}

LineError splitRecordLine(std::string_view line, RecordWords& words) {
    if (line.size() > kMaxLineBytes) return LineError::TooLong;
    // From the end: "W", then either " , " and another word or ", " and the
    // timestamp. A timestamp never ends in a blank, so " , " is never its end.
    words.count = 0;
    std::size_t end = line.size();
    for (;;) {
        if (end < kWordLength + 2) return LineError::NoTimestamp;
        if (words.count == kMaxSensors) return LineError::WrongWordCount;
        words.words[words.count++] = line.substr(end - kWordLength, kWordLength);
        end -= kWordLength;
        if (isWordSeparator(line, end)) {
            end -= 3;
            continue;
        }
        if (line[end - 2] != ',' || line[end - 1] != ' ') return LineError::NoTimestamp;
        end -= 2;
        break;
    }
    std::reverse(words.words.begin(), words.words.begin() + words.count);
    words.timestamp = line.substr(0, end);
    return LineError::None;
}

LineError parseRecordLine(std::string_view line, GeneralDateTimeParser& timestamps,
                          LogRecord& record, const PowerOnSteps& powerOn) {
    RecordWords words;
    if (const LineError error = splitRecordLine(line, words); error != LineError::None)
        return error;
    // A sensor's word often repeats from one line to the next: the reading
    // of the line before is kept then.
    bool ok = true;
    for (int i = 0; i < words.count; ++i) {
        const std::uint64_t bytes = wordBytes(words.words[i]) | kKnownWord;
        if (bytes == record.wordBytes[i]) continue;
        record.readings[i] = readWord(words.words[i], powerOn[i], ok);
        record.wordBytes[i] = bytes;
    }
    if (!ok) {
        record.wordBytes.fill(0);
        return LineError::BadWord;
    }
    for (int i = words.count; i < kMaxSensors; ++i) {
        record.readings[i] = {};
        record.wordBytes[i] = 0;
    }

    const std::optional<WallSeconds> time = timestamps.parseUtf8(words.timestamp);
    if (!time) return LineError::BadTimestamp;
    record.time = *time;
    record.sensorCount = words.count;
    return LineError::None;
}

}  // namespace tarnwick
