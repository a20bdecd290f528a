#include "InfluxWriter.h"

#include <algorithm>
#include <charconv>

#include "Degrees.h"

namespace tarnwick {

namespace {

std::string escape(std::string_view text, std::string_view special) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\n' || c == '\r') c = ' ';
        if (c == '\\' || special.find(c) != std::string_view::npos) out += '\\';
        out += c;
    }
    return out;
}

// Seconds as nanoseconds, without the multiplication (a year past 2262
// would overflow it).
char* writeNanoseconds(char* out, qint64 seconds) {
    out = std::to_chars(out, out + 24, seconds).ptr;
    if (seconds != 0) out = std::fill_n(out, 9, '0');
    return out;
}

}  // namespace

std::string lineProtocolKey(std::string_view text) { return escape(text, ",= "); }

std::string lineProtocolMeasurement(std::string_view text) { return escape(text, ", "); }

InfluxWriter::InfluxWriter(std::FILE* out, const Selection& selection, const SensorLabels& labels,
                           const QTimeZone& zone)
    : out_(out), selection_(selection), labels_(labels), zone_(zone) {
    for (const int slot : selection_.sensorSlots) {
        std::string& prefix = prefixes_[static_cast<std::size_t>(slot)];
        // A sensor the roster does not know is tagged by its number.
        const QString sensor = labels.known(slot) ? labels.rom(slot) : QString::number(slot + 1);
        prefix = lineProtocolMeasurement("temperature") +
                 ",sensor=" + lineProtocolKey(sensor.toStdString());
        const std::string name = labels.name(slot).toStdString();
        if (!name.empty()) prefix += ",name=" + lineProtocolKey(name);
        prefix += " celsius=";
    }
}

void InfluxWriter::add(const LogRecord& record) {
    char time[32];
    time[0] = ' ';
    char* timeEnd = writeNanoseconds(time + 1, zone_.toUtc(record.time));
    *timeEnd++ = '\n';
    for (const int slot : selection_.sensorSlots) {
        const Reading& r = record.readings[slot];
        if (!selection_.counts(r)) continue;
        const std::string& prefix = prefixes_[static_cast<std::size_t>(slot)];
        char degrees[kMaxDegreesText];
        const char* degreesEnd =
            writeDegrees(degrees, labels_.celsius(slot, r.steps), Unit::Celsius);
        out_.append(prefix.data(), prefix.data() + prefix.size());
        out_.append(degrees, degreesEnd);
        out_.append(time, timeEnd);
    }
}

bool InfluxWriter::finish() { return out_.finish(); }

}  // namespace tarnwick
