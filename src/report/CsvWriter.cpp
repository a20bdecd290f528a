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
    : CsvWriter(out, {ReportInstance{QString(), {}, SensorRoster(), labels, selection}}, unit) {}

CsvWriter::CsvWriter(std::FILE* out, const std::vector<ReportInstance>& instances, Unit unit)
    : out_(out), instances_(instances), unit_(unit) {
    std::string heading = "time";
    std::size_t columns = 0;
    for (const ReportInstance& instance : instances_) {
        for (const int slot : instance.selection.sensorSlots) {
            heading += ',';
            heading += csvField(instance.labels.heading(slot));
            ++columns;
        }
    }
    heading += "\r\n";
    out_.append(heading);
    row_.resize(64 + columns * (kMaxDegreesText + 1));
}

void CsvWriter::add(int instance, const LogRecord& record) {
    const qint64 day = record.time >= 0 ? record.time / kSecondsPerDay
                                        : -((-record.time + kSecondsPerDay - 1) / kSecondsPerDay);
    if (day != day_) {
        day_ = day;
        dayText_ = fromWallSeconds(day * kSecondsPerDay).date().toString(Qt::ISODate).toStdString();
        dayText_ += 'T';
    }
    char* const row = row_.data();
    char* out = std::copy(dayText_.begin(), dayText_.end(), row);
    const int inDay = static_cast<int>(record.time - day * kSecondsPerDay);
    out = writeTwoDigits(out, inDay / 3600);
    *out++ = ':';
    out = writeTwoDigits(out, inDay / 60 % 60);
    *out++ = ':';
    out = writeTwoDigits(out, inDay % 60);
    for (int i = 0; i < static_cast<int>(instances_.size()); ++i) {
        const ReportInstance& columns = instances_[static_cast<std::size_t>(i)];
        if (i != instance) {
            out = std::fill_n(out, columns.selection.sensorSlots.size(), ',');
            continue;
        }
        for (const int slot : columns.selection.sensorSlots) {
            *out++ = ',';
            const Reading& r = record.readings[slot];
            if (columns.selection.counts(r))
                out = writeDegrees(out, columns.labels.celsius(slot, r.steps), unit_);
        }
    }
    *out++ = '\r';
    *out++ = '\n';
    out_.append(row, out);
}

bool CsvWriter::finish() { return out_.finish(); }

}  // namespace tarnwick
