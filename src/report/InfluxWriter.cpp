#include "InfluxWriter.h"

#include <algorithm>
#include <charconv>

#include "Degrees.h"

namespace tarnwick {

namespace {

constexpr int kNanosecondsPerSecond = 1000000000;

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

// Seconds and nanoseconds past them as nanoseconds, without the
// multiplication (a year past 2262 would overflow it).
char* writeNanoseconds(char* out, qint64 seconds, int nanoseconds) {
    if (nanoseconds == 0) {
        out = std::to_chars(out, out + 24, seconds).ptr;
        if (seconds != 0) out = std::fill_n(out, 9, '0');
        return out;
    }
    if (seconds < 0) {
        // -5 s + 0.25 s is -4.75 s: "-4" and then 750000000.
        *out++ = '-';
        seconds = -(seconds + 1);
        nanoseconds = kNanosecondsPerSecond - nanoseconds;
    }
    char digits[10];
    const char* end = std::to_chars(digits, digits + sizeof digits, nanoseconds).ptr;
    const auto length = static_cast<int>(end - digits);
    if (seconds != 0) {
        out = std::to_chars(out, out + 24, seconds).ptr;
        out = std::fill_n(out, 9 - length, '0');
    }
    return std::copy(static_cast<const char*>(digits), end, out);
}

}  // namespace

std::string lineProtocolKey(std::string_view text) { return escape(text, ",= "); }

std::string lineProtocolMeasurement(std::string_view text) { return escape(text, ", "); }

InfluxWriter::InfluxWriter(std::FILE* out, const Selection& selection, const SensorLabels& labels,
                           const QTimeZone& zone)
    : InfluxWriter(out, {ReportInstance{QString(), {}, SensorRoster(), labels, selection}}, zone) {}

InfluxWriter::InfluxWriter(std::FILE* out, const std::vector<ReportInstance>& instances,
                           const QTimeZone& zone)
    : out_(out), instances_(instances), zone_(zone), prefixes_(instances.size()) {
    for (std::size_t i = 0; i < instances_.size(); ++i) {
        const ReportInstance& instance = instances_[i];
        const SensorLabels& labels = instance.labels;
        for (const int slot : instance.selection.sensorSlots) {
            std::string& prefix = prefixes_[i][static_cast<std::size_t>(slot)];
            prefix = lineProtocolMeasurement("temperature");
            if (!instance.name.isEmpty())
                prefix += ",adapter=" + lineProtocolKey(instance.name.toStdString());
            // A sensor the roster does not know is tagged by its number.
            const QString sensor =
                labels.known(slot) ? labels.rom(slot) : QString::number(slot + 1);
            prefix += ",sensor=" + lineProtocolKey(sensor.toStdString());
            const std::string name = labels.name(slot).toStdString();
            if (!name.empty()) prefix += ",name=" + lineProtocolKey(name);
            prefix += " celsius=";
        }
    }
}

void InfluxWriter::add(int instance, const LogRecord& record) {
    if (!run_.empty() && record.time != run_.front().time) writeRun();
    run_.push_back(record);
    runInstances_.push_back(instance);
}

void InfluxWriter::writeRun() {
    if (run_.empty()) return;
    const qint64 utc = zone_.toUtc(run_.front().time);
    // Each instance's records of the second: how many, and how many written.
    std::vector<qint64> count(instances_.size()), written(instances_.size());
    for (const int instance : runInstances_) ++count[static_cast<std::size_t>(instance)];
    for (std::size_t r = 0; r < run_.size(); ++r) {
        // The k-th of n records in one second at k/n of it: a series keeps
        // each of them rather than the last.
        const auto i = static_cast<std::size_t>(runInstances_[r]);
        write(runInstances_[r], run_[r], utc,
              static_cast<int>(written[i]++ * kNanosecondsPerSecond / count[i]));
    }
    run_.clear();
    runInstances_.clear();
}

void InfluxWriter::write(int instance, const LogRecord& record, qint64 utc, int nanoseconds) {
    const ReportInstance& sensors = instances_[static_cast<std::size_t>(instance)];
    char time[40];
    time[0] = ' ';
    char* timeEnd = writeNanoseconds(time + 1, utc, nanoseconds);
    *timeEnd++ = '\n';
    for (const int slot : sensors.selection.sensorSlots) {
        const Reading& r = record.readings[slot];
        if (!sensors.selection.counts(r)) continue;
        const std::string& prefix =
            prefixes_[static_cast<std::size_t>(instance)][static_cast<std::size_t>(slot)];
        char degrees[kMaxDegreesText];
        const char* degreesEnd =
            writeDegrees(degrees, sensors.labels.celsius(slot, r.steps), Unit::Celsius);
        out_.append(prefix.data(), prefix.data() + prefix.size());
        out_.append(degrees, degreesEnd);
        out_.append(time, timeEnd);
    }
}

bool InfluxWriter::finish() {
    writeRun();
    return out_.finish();
}

}  // namespace tarnwick
