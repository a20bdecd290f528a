#include "AlarmRules.h"

#include <algorithm>
#include <cmath>

namespace tarnwick {

SensorAlarm::SensorAlarm(const RosterSensor& sensor) : sensor_(sensor) {}

std::optional<double> SensorAlarm::limit() const {
    const AlarmLimits& limits = sensor_.limits;
    if (state_ == AlarmState::Low && limits.lowMilliCelsius) return *limits.lowMilliCelsius / 1e3;
    if (state_ == AlarmState::High && limits.highMilliCelsius)
        return *limits.highMilliCelsius / 1e3;
    return std::nullopt;
}

// Which limit a reading (thousandths of a degree) is beyond, given the state
// it is in: a raised alarm holds until the reading is back inside by the
// hysteresis.
AlarmState SensorAlarm::crossed(int milli) const {
    const AlarmLimits& limits = sensor_.limits;
    const int hysteresis = limits.hysteresisMilliCelsius;
    if (limits.highMilliCelsius) {
        const int high = *limits.highMilliCelsius;
        if (milli > high || (state_ == AlarmState::High && milli > high - hysteresis))
            return AlarmState::High;
    }
    if (limits.lowMilliCelsius) {
        const int low = *limits.lowMilliCelsius;
        if (milli < low || (state_ == AlarmState::Low && milli < low + hysteresis))
            return AlarmState::Low;
    }
    return AlarmState::Ok;
}

AlarmEvent SensorAlarm::change(AlarmState to, QStringView word, const QDateTime& at) {
    AlarmEvent event;
    event.from = state_;
    event.to = to;
    event.at = at;
    event.number = sensor_.number();
    event.name = sensor_.name;
    event.rom = sensor_.rom;
    event.word = word.toString();
    event.celsius = celsius_;
    // Raised: the limit crossed; cleared: the limit it came back inside.
    state_ = event.raised() ? to : state_;
    event.limit = limit();
    state_ = to;
    return event;
}

std::optional<AlarmEvent> SensorAlarm::reading(QStringView word, qint64 nowMs,
                                               const QDateTime& at) {
    const std::optional<double> value = sensor_.celsius(word);
    word_ = word.toString();
    if (!value || RosterSensor::isMissing(word) || sensor_.isPowerOn(word)) {
        celsius_.reset();
        pending_ = AlarmState::Ok;
        if (++badPasses_ < sensor_.limits.faultPasses || state_ == AlarmState::Fault)
            return std::nullopt;
        return change(AlarmState::Fault, word, at);
    }
    badPasses_ = 0;
    celsius_ = value;
    // The offset is in thousandths, the step 1/16 or 1/2 degree: rounding
    // only removes the binary fraction's noise.
    const int milli = static_cast<int>(std::lround(*value * 1000.0));
    const AlarmState beyond = crossed(milli);
    if (beyond == state_) {
        pending_ = AlarmState::Ok;
        return std::nullopt;
    }
    if (beyond == AlarmState::Ok) {
        pending_ = AlarmState::Ok;
        return change(AlarmState::Ok, word, at);
    }
    if (pending_ != beyond) {
        pending_ = beyond;
        pendingSinceMs_ = nowMs;
    }
    if (nowMs - pendingSinceMs_ >= sensor_.limits.delayMs) {
        pending_ = AlarmState::Ok;
        return change(beyond, word, at);
    }
    // Crossed, not yet for long enough: a fault, or the other limit's
    // alarm, is over all the same.
    if (state_ != AlarmState::Ok) return change(AlarmState::Ok, word, at);
    return std::nullopt;
}

AlarmRules::AlarmRules(const SensorRoster& roster, QString adapter, qint64 adapterTimeoutMs)
    : adapter_(std::move(adapter)), adapterTimeoutMs_(adapterTimeoutMs) {
    indexOfSlot_.fill(-1);
    if (roster.file().isEmpty()) return;
    for (const RosterSensor& sensor : roster.sensors()) {
        indexOfSlot_[sensor.slot] = static_cast<int>(sensors_.size());
        sensors_.emplace_back(sensor);
    }
}

const SensorAlarm* AlarmRules::atSlot(int slot) const {
    if (slot < 0 || slot >= kSlotCount || indexOfSlot_[slot] < 0) return nullptr;
    return &sensors_[indexOfSlot_[slot]];
}

std::vector<AlarmEvent> AlarmRules::pass(const SensorRoster& polled, const QStringList& words,
                                         bool adapterAnswered, qint64 nowMs,
                                         const QDateTime& at) {
    std::vector<AlarmEvent> events;
    if (!adapterAnswered || !watching()) return events;
    const qsizetype n = std::min<qsizetype>(words.size(), polled.sensors().size());
    for (qsizetype i = 0; i < n; ++i) {
        const int slot = polled.sensors()[i].slot;
        if (slot < 0 || slot >= kSlotCount || indexOfSlot_[slot] < 0) continue;
        SensorAlarm& sensor = sensors_[indexOfSlot_[slot]];
        if (std::optional<AlarmEvent> event = sensor.reading(words[i], nowMs, at)) {
            event->adapter = adapter_;
            events.push_back(std::move(*event));
        }
    }
    return events;
}

std::optional<AlarmEvent> AlarmRules::adapter(const std::optional<QString>& failure,
                                              qint64 nowMs, const QDateTime& at) {
    if (!watching() || adapterTimeoutMs_ <= 0) return std::nullopt;
    AlarmEvent event;
    event.subject = AlarmEvent::Subject::Adapter;
    event.at = at;
    event.adapter = adapter_;
    if (!failure) {
        silentSinceMs_.reset();
        if (!adapterRaised_) return std::nullopt;
        adapterRaised_ = false;
        event.from = AlarmState::Fault;
        return event;
    }
    if (!silentSinceMs_) silentSinceMs_ = nowMs;
    silentReason_ = *failure;
    if (adapterRaised_ || nowMs - *silentSinceMs_ < adapterTimeoutMs_) return std::nullopt;
    adapterRaised_ = true;
    event.to = AlarmState::Fault;
    event.reason = QStringLiteral("silent for %1 s, %2")
                       .arg((nowMs - *silentSinceMs_) / 1000)
                       .arg(*failure);
    return event;
}

std::optional<QString> AlarmRules::headline() const {
    const SensorAlarm* worst = nullptr;
    double worstExcess = -1;
    int raised = adapterRaised_ ? 1 : 0;
    for (const SensorAlarm& sensor : sensors_) {
        if (sensor.state() == AlarmState::Ok) continue;
        ++raised;
        // A fault (no limit) ranks after every limit's alarm.
        const double excess = sensor.limit() && sensor.celsius()
                                  ? std::abs(*sensor.celsius() - *sensor.limit())
                                  : -1;
        if (!worst || excess > worstExcess) {
            worst = &sensor;
            worstExcess = excess;
        }
    }
    if (raised == 0) return std::nullopt;
    QString line;
    if (adapterRaised_) {
        line = QStringLiteral("adapter %1 not answering").arg(adapter_);
    } else {
        AlarmEvent event;
        event.to = worst->state();
        event.number = worst->sensor().number();
        event.name = worst->sensor().name;
        event.rom = worst->sensor().rom;
        event.celsius = worst->celsius();
        event.word = worst->word();
        event.limit = worst->limit();
        line = event.summary();
    }
    if (raised == 2) line += QStringLiteral(" (1 more alarm)");
    if (raised > 2) line += QStringLiteral(" (%1 more alarms)").arg(raised - 1);
    return line;
}

}  // namespace tarnwick
