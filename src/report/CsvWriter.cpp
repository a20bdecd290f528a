#include "CsvWriter.h"

#include <algorithm>

#include "TableFormat.h"

namespace tarnwick {

namespace {

char* writeTwoDigits(char* out, int value) {
    *out++ = static_cast<char>('0' + value / 10);
    *out++ = static_cast<char>('0' + value % 10);
    return out;
}

}  // namespace

CsvWriter::CsvWriter(std::FILE* out, const Selection& selection, Unit unit,
                     const SensorLabels& labels)
    : out_(out), selection_(selection), labels_(labels), unit_(unit) {
    std::string heading = "time";
    for (const int slot : selection_.sensorSlots) {
        heading += ',';
        heading += csvField(labels.heading(slot));
    }
    heading += "\r\n";
    out_.append(heading);
}

void CsvWriter::add(const LogRecord& record) {
    const qint64 day = record.time >= 0 ? record.time / kSecondsPerDay
                                        : -((-record.time + kSecondsPerDay - 1) / kSecondsPerDay);
    if (day != day_) {
        day_ = day;
        dayText_ = fromWallSeconds(day * kSecondsPerDay).date().toString(Qt::ISODate).toStdString();
        dayText_ += 'T';
    }
    // One row is at most the time and sixteen cells: built on the stack.
    char row[64 + kMaxSensors * (kMaxDegreesText + 1)];
    char* out = std::copy(dayText_.begin(), dayText_.end(), row);
    const int inDay = static_cast<int>(record.time - day * kSecondsPerDay);
    out = writeTwoDigits(out, inDay / 3600);
    *out++ = ':';
    out = writeTwoDigits(out, inDay / 60 % 60);
    *out++ = ':';
    out = writeTwoDigits(out, inDay % 60);
    for (const int slot : selection_.sensorSlots) {
        *out++ = ',';
        const Reading& r = record.readings[slot];
        if (selection_.counts(r)) out = writeDegrees(out, labels_.celsius(slot, r.steps), unit_);
    }
    *out++ = '\r';
    *out++ = '\n';
    out_.append(row, out);
}

bool CsvWriter::finish() { return out_.finish(); }

}  // namespace tarnwick
