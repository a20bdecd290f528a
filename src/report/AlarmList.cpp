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

AlarmPeriods::AlarmPeriods(const SensorRoster& roster, const std::vector<int>& sensorSlots,
                           const QTimeZone& zone, Handler onPeriod)
    : zone_(zone), onPeriod_(std::move(onPeriod)) {
    // The live fronts watch nothing with the compiled-in roster either.
    if (!roster.file().isEmpty()) {
        for (const int slot : sensorSlots)
            if (const RosterSensor* sensor = roster.atSlot(slot)) sensors_.push_back(*sensor);
    }
    restart();
}

void AlarmPeriods::restart() {
    watched_.clear();
    for (const RosterSensor& sensor : sensors_) watched_.push_back({SensorAlarm(sensor), {}});
}

void AlarmPeriods::add(const LogRecord& record) {
    if (watched_.empty()) return;
    const qint64 utc = zone_.toUtc(record.time);
    if (started_) {
        const qint64 pause = utc - lastUtc_;
        if (cadence_.known() && pause > cadence_.longestJoinedPause()) {
            for (Watched& watched : watched_)
                if (watched.open) end(watched, lastWall_, lastUtc_, false);
            restart();
        }
        if (pause >= 0) cadence_.add(pause);
    }
    started_ = true;
    lastUtc_ = utc;
    lastWall_ = record.time;

    // The delay runs on the clock; the time told is the wall time, laid out
    // like UTC so that it is read back as it stands.
    const qint64 nowMs = utc * 1000;
    const QDateTime at = QDateTime::fromSecsSinceEpoch(record.time, QTimeZone::utc());
    for (Watched& watched : watched_) {
        const Reading& reading = record.readings[watched.alarm.sensor().slot];
        if (reading.kind == ReadingKind::Absent) continue;
        char16_t word[4];
        wordOf(reading, word);
        if (const std::optional<AlarmEvent> event =
                watched.alarm.reading(QStringView(word, 4), nowMs, at)) {
            transition(watched, *event, reading);
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

void AlarmPeriods::transition(Watched& watched, const AlarmEvent& event, const Reading& reading) {
    if (event.from != AlarmState::Ok) end(watched, lastWall_, lastUtc_, false);
    if (event.to == AlarmState::Ok) return;
    Entry entry;
    entry.period.slot = watched.alarm.sensor().slot;
    entry.period.state = event.to;
    entry.period.start = lastWall_;
    entry.startUtc = lastUtc_;
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
    for (Watched& watched : watched_)
        if (watched.open) end(watched, lastWall_, lastUtc_, true);
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
      labels_(options.labels),
      unit_(options.unit),
      format_(format),
      periods_(options.roster, options.selection.sensorSlots, QTimeZone::systemTimeZone(),
               [this](const AlarmPeriod& period) { write(period); }) {
    const std::string symbol = unitSymbol(unit_);
    if (format_ == TableFormat::Csv) {
        out_.append("start,end,seconds,sensor,name,rom,state,extreme " + symbol + "\r\n");
        return;
    }
    // Only sensors of the roster are judged.
    nameWidth_ = 4;
    for (const int slot : options.selection.sensorSlots)
        if (labels_.known(slot)) nameWidth_ = std::max(nameWidth_, labels_.shortLabel(slot).size());
    char line[128];
    std::snprintf(line, sizeof line, "%-19s  %-19s  %11s  %6s  ", "Start", "End", "Duration",
                  "Sensor");
    out_.append(line + QStringLiteral("Name").leftJustified(nameWidth_).toStdString() +
                "  State  Extreme " + symbol + "\n");
}

void AlarmList::write(const AlarmPeriod& period) {
    ++count_;
    if (period.ongoing) ++ongoing_;
    const std::string start = isoText(period.start);
    const std::string end = period.ongoing ? "ongoing" : isoText(period.end);
    const std::string state = alarmStateName(period.state).toStdString();
    const std::string extreme =
        period.extreme ? degreesText(labels_.celsius(period.slot, *period.extreme), unit_) : "";
    std::string row;
    char cells[160];
    if (format_ == TableFormat::Csv) {
        std::snprintf(cells, sizeof cells, "%s,%s,%lld,%d,", start.c_str(), end.c_str(),
                      static_cast<long long>(period.seconds), period.slot + 1);
        row = cells + csvField(labels_.name(period.slot)) + ',' +
              csvField(labels_.rom(period.slot)) + ',' + state + ',' + extreme + "\r\n";
    } else {
        std::snprintf(cells, sizeof cells, "%-19s  %-19s  %11s  %6d  ", start.c_str(), end.c_str(),
                      durationText(period.seconds).c_str(), period.slot + 1);
        row = cells + labels_.shortLabel(period.slot).leftJustified(nameWidth_).toStdString() +
              "  " + QString::fromStdString(state).leftJustified(5).toStdString() + "  " +
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
