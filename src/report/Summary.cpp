#include "Summary.h"

#include <algorithm>
#include <cstdio>

namespace tarnwick {

std::string isoText(WallSeconds t) {
    return fromWallSeconds(t).toString(Qt::ISODate).toStdString();
}

Summary::Summary(const Selection& selection, bool listUnseen)
    : selection_(selection), listUnseen_(listUnseen) {}

void Summary::add(const LogRecord& record) {
    if (records_ == 0) first_ = last_ = record.time;
    ++records_;
    first_ = std::min(first_, record.time);
    last_ = std::max(last_, record.time);
    for (const int slot : selection_.sensorSlots) {
        const Reading& r = record.readings[slot];
        if (r.kind == ReadingKind::Absent) continue;
        Sensor& s = sensors_[slot];
        if (s.records == 0) s.first = s.last = record.time;
        ++s.records;
        s.first = std::min(s.first, record.time);
        s.last = std::max(s.last, record.time);
        if (r.kind == ReadingKind::Missing) ++s.missing;
        if (r.kind == ReadingKind::PowerOn) ++s.powerOn;
        if (!selection_.counts(r)) continue;
        if (s.readings == 0) s.min = s.max = r.sixteenths;
        ++s.readings;
        s.min = std::min<int>(s.min, r.sixteenths);
        s.max = std::max<int>(s.max, r.sixteenths);
        s.sum += r.sixteenths;
    }
}

std::string Summary::format(Unit unit, const SensorLabels& labels) const {
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
    const std::string symbol = unitSymbol(unit);
    std::snprintf(line, sizeof line, "%6s  %-16s  %9s  %7s  %8s  %9s  %9s  %9s  %-19s  %s\n",
                  "Sensor", "ROM identifier", "Readings", "Missing", "Power-on",
                  ("Min " + symbol).c_str(), ("Max " + symbol).c_str(), ("Mean " + symbol).c_str(),
                  "First", "Last");
    // The degree sign is two bytes but one column: pad the three headings by one.
    std::string heading = line;
    for (const char* name : {"Min ", "Max ", "Mean "}) {
        const std::size_t at = heading.find(std::string(name) + symbol);
        if (at != std::string::npos) heading.insert(at, " ");
    }
    out += heading;
    for (const int slot : selection_.sensorSlots) {
        const Sensor& s = sensors_[slot];
        if (s.records == 0 && !listUnseen_) continue;
        std::string min = "-", max = "-", mean = "-";
        if (s.readings > 0) {
            min = degreesText(s.min, unit);
            max = degreesText(s.max, unit);
            std::snprintf(line, sizeof line, "%.4f",
                          degrees(static_cast<double>(s.sum) / s.readings, unit));
            mean = line;
        }
        const std::string first = s.records ? isoText(s.first) : "-";
        const std::string last = s.records ? isoText(s.last) : "-";
        std::snprintf(line, sizeof line,
                      "%6d  %-16s  %9lld  %7lld  %8lld  %9s  %9s  %9s  %-19s  %s\n", slot + 1,
                      labels.rom(slot).toStdString().c_str(), static_cast<long long>(s.readings),
                      static_cast<long long>(s.missing), static_cast<long long>(s.powerOn),
                      min.c_str(), max.c_str(), mean.c_str(), first.c_str(), last.c_str());
        out += line;
    }
    return out;
}

}  // namespace tarnwick
