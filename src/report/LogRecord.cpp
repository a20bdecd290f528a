#include "LogRecord.h"

#include <algorithm>

#include "Roster.h"
#include "TemperatureWord.h"

namespace tarnwick {

namespace {

// Anything longer is not a record: a timestamp and sixteen words fit many
// times over.
constexpr std::size_t kMaxLineBytes = 1024;
constexpr int kWordLength = 4;

Reading readWord(std::string_view word, bool& ok) {
    if (word == "0000") return {ReadingKind::Missing, 0};
    char16_t wide[kWordLength];
    for (int i = 0; i < kWordLength; ++i) wide[i] = static_cast<unsigned char>(word[i]);
    const std::optional<int> value = wordToSixteenths(QStringView(wide, kWordLength));
    if (!value) {
        ok = false;
        return {};
    }
    const auto kind = word == "5005" ? ReadingKind::PowerOn : ReadingKind::Valid;
    return {kind, static_cast<std::int16_t>(*value)};
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
            return "not 12 or 16 temperature words";
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
        if (end >= 3 && line.compare(end - 3, 3, " , ") == 0) {
            end -= 3;
            continue;
        }
        if (line.compare(end - 2, 2, ", ") != 0) return LineError::NoTimestamp;
        end -= 2;
        break;
    }
    std::reverse(words.words.begin(), words.words.begin() + words.count);
    words.timestamp = line.substr(0, end);
    if (words.count != sensorCountForCheckValue(0) && words.count != sensorCountForCheckValue(1))
        return LineError::WrongWordCount;
    return LineError::None;
}

LineError parseRecordLine(std::string_view line, GeneralDateTimeParser& timestamps,
                          LogRecord& record) {
    RecordWords words;
    if (const LineError error = splitRecordLine(line, words); error != LineError::None)
        return error;
    bool ok = true;
    for (int i = 0; i < words.count; ++i) record.readings[i] = readWord(words.words[i], ok);
    if (!ok) return LineError::BadWord;
    for (int i = words.count; i < kMaxSensors; ++i) record.readings[i] = {};

    const std::optional<WallSeconds> time = timestamps.parseUtf8(words.timestamp);
    if (!time) return LineError::BadTimestamp;
    record.time = *time;
    record.sensorCount = words.count;
    return LineError::None;
}

}  // namespace tarnwick
