#include "AlarmList.h"

#include <QDateTime>
#include <cstdio>

#include "Summary.h"

namespace tarnwick {

namespace {

// The word a reading was read from, as the logger writes it: the two bytes
// of its steps as hex pairs, the low byte first; "0000" for a failed reading.
void wordOf(const Reading& reading, char16_t (&word)[4]) {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    const auto bits =
        reading.kind == ReadingKind::Missing ? 0u : static_cast<std::uint16_t>(reading.steps);
    word[0] = kHex[(bits >> 4) & 0xF];
    word[1] = kHex[bits & 0xF];
    word[2] = kHex[(bits >> 12) & 0xF];
    word[3] = kHex[(bits >> 8) & 0xF];
}

}  // namespace

AlarmPeriods::AlarmPeriods(const std::vector<ReportInstance>& instances, const QTimeZone& zone,
                           Handler onPeriod)
    : sources_(instances.size()), zone_(zone), onPeriod_(std::move(onPeriod)) {
    for (std::size_t i = 0; i < instances.size(); ++i) {
        const SensorRoster& roster = instances[i].roster;
        // The live fronts watch nothing with the compiled-in roster either.
        if (!roster.file().isEmpty()) {
            for (const int slot : instances[i].selection.sensorSlots)
                if (const RosterSensor* sensor = roster.atSlot(slot))
                    sources_[i].sensors.push_back(*sensor);
        }
        restart(sources_[i]);
    }
}

void AlarmPeriods::restart(Source& source) {
    source.watched.clear();
    for (const RosterSensor& sensor : source.sensors)
        source.watched.push_back({SensorAlarm(sensor), {}});
}

void AlarmPeriods::add(int instance, const LogRecord& record) {
    Source& source = sources_[static_cast<std::size_t>(instance)];
    if (source.watched.empty()) return;
    const qint64 utc = zone_.toUtc(record.time);
    if (source.started) {
        const qint64 pause = utc - source.lastUtc;
        if (source.cadence.known() && pause > source.cadence.longestJoinedPause()) {
            for (Watched& watched : source.watched)
                if (watched.open) end(watched, source.lastWall, source.lastUtc, false);
            restart(source);
        }
        if (pause >= 0) source.cadence.add(pause);
    }
    source.started = true;
    source.lastUtc = utc;
    source.lastWall = record.time;

    // The delay runs on the clock; the time told is the wall time, laid out
    // like UTC so that it is read back as it stands.
    const qint64 nowMs = utc * 1000;
    const QDateTime at = QDateTime::fromSecsSinceEpoch(record.time, QTimeZone::utc());
    for (Watched& watched : source.watched) {
        const Reading& reading = record.readings[watched.alarm.sensor().slot];
        if (reading.kind == ReadingKind::Absent) continue;
        char16_t word[4];
        wordOf(reading, word);
        if (const std::optional<AlarmEvent> event =
                watched.alarm.reading(QStringView(word, 4), nowMs, at)) {
            transition(instance, watched, *event, reading);
        } else if (watched.open && reading.kind == ReadingKind::Valid) {
            AlarmPeriod& period = entries_[*watched.open - firstEntry_].period;
            const int steps = reading.steps;
            if (period.state == AlarmState::Low)
                period.extreme = period.extreme ? std::min(*period.extreme, steps) : steps;
            else if (period.state == AlarmState::High)
                period.extreme = period.extreme ? std::max(*period.extreme, steps) : steps;
        }
    }
    flush();
}

void AlarmPeriods::transition(int instance, Watched& watched, const AlarmEvent& event,
                              const Reading& reading) {
    const Source& source = sources_[static_cast<std::size_t>(instance)];
    if (event.from != AlarmState::Ok) end(watched, source.lastWall, source.lastUtc, false);
    if (event.to == AlarmState::Ok) return;
    Entry entry;
    entry.period.instance = instance;
    entry.period.slot = watched.alarm.sensor().slot;
    entry.period.state = event.to;
    entry.period.start = source.lastWall;
    entry.startUtc = source.lastUtc;
    if (event.to != AlarmState::Fault && reading.kind == ReadingKind::Valid)
        entry.period.extreme = reading.steps;
    watched.open = firstEntry_ + static_cast<qint64>(entries_.size());
    entries_.push_back(entry);
}

void AlarmPeriods::end(Watched& watched, WallSeconds wall, qint64 utc, bool ongoing) {
    Entry& entry = entries_[*watched.open - firstEntry_];
    entry.period.end = wall;
    entry.period.ongoing = ongoing;
    entry.period.seconds = utc - entry.startUtc;
    entry.ended = true;
    watched.open.reset();
}

void AlarmPeriods::flush() {
    while (!entries_.empty() && entries_.front().ended) {
        onPeriod_(entries_.front().period);
        entries_.pop_front();
        ++firstEntry_;
    }
}

void AlarmPeriods::finish() {
    for (Source& source : sources_) {
        for (Watched& watched : source.watched)
            if (watched.open) end(watched, source.lastWall, source.lastUtc, true);
    }
    flush();
}

std::string durationText(qint64 seconds) {
    char text[48];
    const qint64 days = seconds / kSecondsPerDay;
    const int inDay = static_cast<int>(seconds % kSecondsPerDay);
    if (days > 0) {
        std::snprintf(text, sizeof text, "%lldd %02d:%02d:%02d", static_cast<long long>(days),
                      inDay / 3600, inDay / 60 % 60, inDay % 60);
    } else {
        std::snprintf(text, sizeof text, "%d:%02d:%02d", inDay / 3600, inDay / 60 % 60, inDay % 60);
    }
    return text;
}

AlarmList::AlarmList(std::FILE* out, const ReportOptions& options, TableFormat format)
    : out_(out),
      unit_(options.unit),
      format_(format),
      periods_(options.instances, QTimeZone::systemTimeZone(),
               [this](const AlarmPeriod& period) { write(period); }) {
    for (const ReportInstance& instance : options.instances) labels_.push_back(instance.labels);
    const std::string symbol = unitSymbol(unit_);
    if (format_ == TableFormat::Csv) {
        out_.append("start,end,seconds,sensor,name,rom,state,extreme " + symbol + "\r\n");
        return;
    }
    // Only sensors of the roster are judged.
    nameWidth_ = 4;
    for (const ReportInstance& instance : options.instances) {
        for (const int slot : instance.selection.sensorSlots) {
            if (!instance.labels.known(slot)) continue;
            nameWidth_ = std::max(nameWidth_, instance.labels.shortLabel(slot).size());
            numberWidth_ = std::max(numberWidth_, instance.labels.number(slot).size());
        }
    }
    char line[128];
    std::snprintf(line, sizeof line, "%-19s  %-19s  %11s  ", "Start", "End", "Duration");
    out_.append(line + QStringLiteral("Sensor").rightJustified(numberWidth_).toStdString() + "  " +
                QStringLiteral("Name").leftJustified(nameWidth_).toStdString() +
                "  State  Extreme " + symbol + "\n");
}

void AlarmList::write(const AlarmPeriod& period) {
    const SensorLabels& labels = labels_[static_cast<std::size_t>(period.instance)];
    ++count_;
    if (period.ongoing) ++ongoing_;
    const std::string start = isoText(period.start);
    const std::string end = period.ongoing ? "ongoing" : isoText(period.end);
    const std::string state = alarmStateName(period.state).toStdString();
    const std::string extreme =
        period.extreme ? degreesText(labels.celsius(period.slot, *period.extreme), unit_) : "";
    std::string row;
    char cells[160];
    if (format_ == TableFormat::Csv) {
        std::snprintf(cells, sizeof cells, "%s,%s,%lld,", start.c_str(), end.c_str(),
                      static_cast<long long>(period.seconds));
        row = cells + csvField(labels.number(period.slot)) + ',' +
              csvField(labels.name(period.slot)) + ',' + csvField(labels.rom(period.slot)) + ',' +
              state + ',' + extreme + "\r\n";
    } else {
        std::snprintf(cells, sizeof cells, "%-19s  %-19s  %11s  ", start.c_str(), end.c_str(),
                      durationText(period.seconds).c_str());
        row = cells + labels.number(period.slot).rightJustified(numberWidth_).toStdString() + "  " +
              labels.shortLabel(period.slot).leftJustified(nameWidth_).toStdString() + "  " +
              QString::fromStdString(state).leftJustified(5).toStdString() + "  " +
              (extreme.empty() ? "-" : extreme) + "\n";
    }
    out_.append(row);
}

bool AlarmList::finish() {
    periods_.finish();
    if (format_ == TableFormat::Text) {
        char line[96];
        std::snprintf(line, sizeof line, "Alarm periods: %lld (%lld ongoing)\n",
                      static_cast<long long>(count_), static_cast<long long>(ongoing_));
        out_.append(line);
    }
    return out_.finish();
}

}  // namespace tarnwick
