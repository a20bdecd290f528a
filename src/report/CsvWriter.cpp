#include "CsvWriter.h"

namespace tarnwick {

namespace {
constexpr std::size_t kFlushBytes = 1 << 20;

void appendTwoDigits(std::string& out, int value) {
    out += static_cast<char>('0' + value / 10);
    out += static_cast<char>('0' + value % 10);
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
    const int inDay = static_cast<int>(record.time - day * kSecondsPerDay);
    buffer_ += dayText_;
    appendTwoDigits(buffer_, inDay / 3600);
    buffer_ += ':';
    appendTwoDigits(buffer_, inDay / 60 % 60);
    buffer_ += ':';
    appendTwoDigits(buffer_, inDay % 60);
    for (const int slot : selection_.sensorSlots) {
        buffer_ += ',';
        const Reading& r = record.readings[slot];
        if (selection_.counts(r)) appendDegrees(buffer_, r.sixteenths, unit_);
    }
    buffer_ += "\r\n";
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
