#include "Summary.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace tarnwick {

std::string isoText(WallSeconds t) {
    return fromWallSeconds(t).toString(Qt::ISODate).toStdString();
}

Summary::Summary(const std::vector<ReportInstance>& instances, bool listUnseen)
    : instances_(instances), listUnseen_(listUnseen), sensors_(instances.size()) {}

void Summary::add(int instance, const LogRecord& record) {
    const Selection& selection = instances_[static_cast<std::size_t>(instance)].selection;
    std::array<Sensor, kMaxSensors>& sensors = sensors_[static_cast<std::size_t>(instance)];
    if (records_ == 0) first_ = last_ = record.time;
    ++records_;
    first_ = std::min(first_, record.time);
    last_ = std::max(last_, record.time);
    for (const int slot : selection.sensorSlots) {
        const Reading& r = record.readings[slot];
        if (r.kind == ReadingKind::Absent) continue;
        sensors[static_cast<std::size_t>(slot)].add(r, record.time, selection.counts(r));
    }
}

std::string Summary::format(Unit unit) const {
    std::string out;
    char line[256];
    if (records_ == 0) {
        out += "Records: 0\n";
    } else {
        std::snprintf(line, sizeof line, "Records: %lld, %s to %s\n",
                      static_cast<long long>(records_), isoText(first_).c_str(),
                      isoText(last_).c_str());
        out += line;
    }
    // Each instance's sensors shown, as (instance, slot).
    std::vector<std::pair<std::size_t, int>> shown;
    for (std::size_t i = 0; i < instances_.size(); ++i) {
        for (const int slot : instances_[i].selection.sensorSlots)
            if (sensors_[i][static_cast<std::size_t>(slot)].records > 0 || listUnseen_)
                shown.emplace_back(i, slot);
    }
    // A column of names when the roster gives any, as wide as the longest
    // (counted in characters, not bytes); numbers as wide as the widest.
    qsizetype nameWidth = 0;
    qsizetype numberWidth = 6;
    for (const auto& [i, slot] : shown) {
        nameWidth = std::max(nameWidth, instances_[i].labels.name(slot).size());
        numberWidth = std::max(numberWidth, instances_[i].labels.number(slot).size());
    }
    const auto nameCell = [nameWidth](const QString& name) {
        if (nameWidth == 0) return std::string();
        return (name.leftJustified(std::max<qsizetype>(nameWidth, 4)) + QStringLiteral("  "))
            .toStdString();
    };

    const std::string symbol = unitSymbol(unit);
    std::snprintf(line, sizeof line, "%9s  %7s  %8s  %9s  %9s  %9s  %-19s  %s\n", "Readings",
                  "Missing", "Power-on", ("Min " + symbol).c_str(), ("Max " + symbol).c_str(),
                  ("Mean " + symbol).c_str(), "First", "Last");
    // The degree sign is two bytes but one column: pad the three headings by one.
    std::string heading = QStringLiteral("Sensor").rightJustified(numberWidth).toStdString() +
                          "  ROM identifier    " + nameCell(QStringLiteral("Name")) + line;
    for (const char* name : {"Min ", "Max ", "Mean "}) {
        const std::size_t at = heading.find(std::string(name) + symbol);
        if (at != std::string::npos) heading.insert(at, " ");
    }
    out += heading;
    for (const auto& [i, slot] : shown) {
        const SensorLabels& labels = instances_[i].labels;
        const Sensor& s = sensors_[i][static_cast<std::size_t>(slot)];
        std::string min = "-", max = "-", mean = "-";
        if (s.readings > 0) {
            min = degreesText(labels.celsius(slot, s.min), unit);
            max = degreesText(labels.celsius(slot, s.max), unit);
            std::snprintf(
                line, sizeof line, "%.4f",
                degrees(labels.meanCelsius(slot, static_cast<double>(s.sum) / s.readings), unit));
            mean = line;
        }
        const std::string first = s.records ? isoText(s.first) : "-";
        const std::string last = s.records ? isoText(s.last) : "-";
        const std::string rom =
            labels.known(slot) ? labels.rom(slot).toStdString() : "not in roster";
        std::snprintf(line, sizeof line, "  %-16s  ", rom.c_str());
        out += labels.number(slot).rightJustified(numberWidth).toStdString() + line;
        out += nameCell(labels.name(slot));
        std::snprintf(line, sizeof line, "%9lld  %7lld  %8lld  %9s  %9s  %9s  %-19s  %s\n",
                      static_cast<long long>(s.readings), static_cast<long long>(s.missing),
                      static_cast<long long>(s.powerOn), min.c_str(), max.c_str(), mean.c_str(),
                      first.c_str(), last.c_str());
        out += line;
    }
    return out;
}

}  // namespace tarnwick
