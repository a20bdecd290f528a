#include "CsvWriter.h"

#include <algorithm>

namespace tarnwick {

namespace {
constexpr std::size_t kFlushBytes = 1 << 20;

char* writeTwoDigits(char* out, int value) {
    *out++ = static_cast<char>('0' + value / 10);
    *out++ = static_cast<char>('0' + value % 10);
    return out;
}
}  // namespace

CsvWriter::CsvWriter(std::FILE* out, const Selection& selection, Unit unit,
                     const IdentifierTable& roster)
    : out_(out), selection_(selection), unit_(unit) {
    buffer_.reserve(kFlushBytes + 4096);
    buffer_ += "time";
    for (const int slot : selection_.sensorSlots) {
        buffer_ += ',';
        buffer_ += roster[slot].toStdString();
    }
    buffer_ += "\r\n";
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
        if (selection_.counts(r)) out = writeDegrees(out, r.sixteenths, unit_);
    }
    *out++ = '\r';
    *out++ = '\n';
    buffer_.append(row, out);
    flushIfFull();
}

void CsvWriter::flushIfFull() {
    if (buffer_.size() < kFlushBytes) return;
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size()) failed_ = true;
    buffer_.clear();
}

bool CsvWriter::finish() {
    if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size())
        failed_ = true;
    buffer_.clear();
    if (std::fflush(out_) != 0) failed_ = true;
    return !failed_;
}

}  // namespace tarnwick
