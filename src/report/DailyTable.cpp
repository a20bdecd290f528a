#include "DailyTable.h"

#include "Summary.h"

namespace tarnwick {

namespace {

qint64 dayOf(WallSeconds t) {
    return t >= 0 ? t / kSecondsPerDay : -((-t + kSecondsPerDay - 1) / kSecondsPerDay);
}

// "Min °C" right-aligned in `width` characters (the degree sign is one).
std::string rightAligned(const std::string& text, int width) {
    return QString::fromStdString(text).rightJustified(width).toStdString();
}

}  // namespace

DailyTable::DailyTable(std::FILE* out, const ReportOptions& options, TableFormat format)
    : out_(out), instances_(options.instances), unit_(options.unit), format_(format) {}

void DailyTable::add(int instance, const LogRecord& record) {
    const qint64 day = dayOf(record.time);
    if (!last_ || day != lastDay_) {
        last_ = &days_[day];
        if (last_->empty()) last_->resize(instances_.size());
        lastDay_ = day;
    }
    const Selection& selection = instances_[static_cast<std::size_t>(instance)].selection;
    for (const int slot : selection.sensorSlots) {
        const Reading& r = record.readings[slot];
        if (r.kind == ReadingKind::Absent) continue;
        (*last_)[static_cast<std::size_t>(instance)][static_cast<std::size_t>(slot)].add(
            r, record.time, selection.counts(r));
    }
}

void DailyTable::writeRow(qint64 day, const SensorLabels& labels, int slot, const Figures& f) {
    const bool csv = format_ == TableFormat::Csv;
    std::string min, max, mean, minAt, maxAt;
    if (f.readings > 0) {
        min = degreesText(labels.celsius(slot, f.min), unit_);
        max = degreesText(labels.celsius(slot, f.max), unit_);
        char text[48];
        std::snprintf(
            text, sizeof text, "%.4f",
            degrees(labels.meanCelsius(slot, static_cast<double>(f.sum) / f.readings), unit_));
        mean = text;
        minAt = csv ? isoText(f.minTime) : timeOfDayText(f.minTime);
        maxAt = csv ? isoText(f.maxTime) : timeOfDayText(f.maxTime);
    } else if (!csv) {
        min = max = mean = minAt = maxAt = "-";
    }
    const std::string date = dateText(day * kSecondsPerDay);
    char cells[256];
    if (csv) {
        std::string row = date + ',' + csvField(labels.number(slot)) + ',' +
                          csvField(labels.name(slot)) + ',' + csvField(labels.rom(slot));
        std::snprintf(cells, sizeof cells, ",%lld,%lld,%lld,%s,%s,%s,%s,%s\r\n",
                      static_cast<long long>(f.readings), static_cast<long long>(f.missing),
                      static_cast<long long>(f.powerOn), min.c_str(), minAt.c_str(), mean.c_str(),
                      max.c_str(), maxAt.c_str());
        out_.append(row + cells);
        return;
    }
    std::snprintf(cells, sizeof cells, "%-10s  ", date.c_str());
    std::string row = cells + labels.number(slot).rightJustified(numberWidth_).toStdString() +
                      "  " + labels.shortLabel(slot).leftJustified(nameWidth_).toStdString();
    std::snprintf(cells, sizeof cells, "  %8lld  %7lld  %8lld  %9s  %-8s  %9s  %9s  %s\n",
                  static_cast<long long>(f.readings), static_cast<long long>(f.missing),
                  static_cast<long long>(f.powerOn), min.c_str(), minAt.c_str(), mean.c_str(),
                  max.c_str(), maxAt.c_str());
    out_.append(row + cells);
}

bool DailyTable::finish() {
    // The names and numbers as wide as the longest of a row.
    for (const auto& [day, figures] : days_) {
        for (std::size_t i = 0; i < instances_.size(); ++i) {
            const SensorLabels& labels = instances_[i].labels;
            for (const int slot : instances_[i].selection.sensorSlots) {
                if (figures[i][static_cast<std::size_t>(slot)].records == 0) continue;
                nameWidth_ = std::max(nameWidth_, labels.shortLabel(slot).size());
                numberWidth_ = std::max(numberWidth_, labels.number(slot).size());
            }
        }
    }
    const std::string symbol = unitSymbol(unit_);
    if (format_ == TableFormat::Csv) {
        out_.append("date,sensor,name,rom,readings,missing,power-on,min " + symbol +
                    ",min time,mean " + symbol + ",max " + symbol + ",max time\r\n");
    } else {
        out_.append(
            "Date        " + QStringLiteral("Sensor").rightJustified(numberWidth_).toStdString() +
            "  " + QStringLiteral("Name").leftJustified(nameWidth_).toStdString() +
            "  Readings  Missing  Power-on  " + rightAligned("Min " + symbol, 9) + "  at        " +
            rightAligned("Mean " + symbol, 9) + "  " + rightAligned("Max " + symbol, 9) + "  at\n");
    }
    for (const auto& [day, figures] : days_) {
        for (std::size_t i = 0; i < instances_.size(); ++i) {
            for (const int slot : instances_[i].selection.sensorSlots) {
                const Figures& f = figures[i][static_cast<std::size_t>(slot)];
                if (f.records > 0) writeRow(day, instances_[i].labels, slot, f);
            }
        }
    }
    return out_.finish();
}

}  // namespace tarnwick
