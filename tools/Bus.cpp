#include "Bus.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "HexDigit.h"

namespace tarnwick::sim {

namespace {

// Registers of a family-28 sensor after power-up: alarm limits TH 75 C and
// TL 70 C, configuration 12 bits, then the fixed bytes FF, 0C, 10.
constexpr std::uint8_t kAlarmHigh = 0x4B;
constexpr std::uint8_t kAlarmLow = 0x46;
constexpr std::uint8_t kConfig12Bit = 0x7F;
constexpr std::uint8_t kReserved5 = 0xFF;
constexpr std::uint8_t kReserved6 = 0x0C;
constexpr std::uint8_t kReserved7 = 0x10;

// A family-10 sensor (DS18S20) after power-up: reserved bytes 4 and 5 all
// ones, and 16 counts per degree for the remainder in byte 6.
constexpr char kHalfDegreeFamily[] = "10";
constexpr std::uint8_t kCountPerDegree = 0x10;

constexpr std::uint8_t kConvertT = 0x44;
constexpr std::uint8_t kReadScratchpad = 0xBE;

constexpr double kMinC = -55.0;
constexpr double kMaxC = 125.0;
constexpr double kDriftSpanC = 2.0;  // how far a sensor wanders from its base

}  // namespace

std::uint8_t crc8(const std::uint8_t* bytes, std::size_t count) {
    std::uint8_t crc = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t byte = bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            const bool mix = ((crc ^ byte) & 0x01) != 0;
            crc = static_cast<std::uint8_t>(crc >> 1);
            if (mix) crc ^= 0x8C;
            byte = static_cast<std::uint8_t>(byte >> 1);
        }
    }
    return crc;
}

std::string toHex(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 0x0F]);
    }
    return text;
}

std::optional<std::vector<std::uint8_t>> fromHex(const std::string& text) {
    if (text.empty() || text.size() % 2 != 0) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = hexDigitValue(static_cast<unsigned char>(text[i]));
        const int lo = hexDigitValue(static_cast<unsigned char>(text[i + 1]));
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return bytes;
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool isSensorId(const std::string& text) {
    return text.size() == 16 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return isHexDigit(c); });
}

std::uint64_t Random::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Random::uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

void Bus::addSensors(const std::vector<std::string>& ids, Random& random) {
    for (const std::string& id : ids) {
        if (sensors_.count(id) != 0) continue;
        Sensor sensor;
        // Rooms and ducts between 16 and 28 C, each sensor its own.
        sensor.baseC = 16.0 + 12.0 * random.uniform();
        sensor.nowC = sensor.baseC;
        sensors_.emplace(id, sensor);
    }
}

void Bus::setPresent(const std::vector<std::string>& ids) {
    for (auto& [id, sensor] : sensors_)
        sensor.present = std::find(ids.begin(), ids.end(), id) != ids.end();
}

void Bus::setDisconnected(const std::vector<std::string>& ids) {
    for (auto& [id, sensor] : sensors_)
        sensor.disconnected = std::find(ids.begin(), ids.end(), id) != ids.end();
}

void Bus::setDisconnected(const std::string& id, bool disconnected) {
    auto it = sensors_.find(id);
    if (it != sensors_.end()) it->second.disconnected = disconnected;
}

const ScheduleStep* Bus::scheduled(const std::string& id, Clock::time_point at) const {
    auto it = settings_.schedules.find(id);
    if (it == settings_.schedules.end()) return nullptr;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(at - settings_.origin).count();
    return stepAt(it->second, elapsed);
}

void Bus::latch(const std::string& id, Sensor& sensor, Clock::time_point at, Random& random) {
    double celsius;
    const ScheduleStep* step = scheduled(id, at);
    auto fixed = settings_.temperatureC.find(id);
    if (step && step->kind == ScheduleStep::Kind::Held) {
        celsius = step->celsius;
    } else if (fixed != settings_.temperatureC.end()) {
        celsius = fixed->second;
    } else {
        // Bounded random walk with a pull back towards the sensor's base.
        sensor.nowC += (random.uniform() - 0.5) * 0.25 + 0.05 * (sensor.baseC - sensor.nowC);
        sensor.nowC =
            std::clamp(sensor.nowC, sensor.baseC - kDriftSpanC, sensor.baseC + kDriftSpanC);
        celsius = sensor.nowC;
    }
    if (!std::isfinite(celsius)) celsius = 0.0;
    celsius = std::clamp(celsius, kMinC, kMaxC);
    sensor.latched = static_cast<std::int16_t>(std::lround(celsius * 16.0));
}

void Bus::settle(const std::string& id, Sensor& sensor, Clock::time_point now, Random& random) {
    if (sensor.converting && now >= sensor.doneAt) {
        sensor.converting = false;
        latch(id, sensor, sensor.doneAt, random);
    }
}

std::vector<std::uint8_t> Bus::scratchpad(const std::string& id) const {
    std::int16_t sixteenths = 85 * 16;
    auto it = sensors_.find(id);
    if (it != sensors_.end()) sixteenths = it->second.latched;
    std::vector<std::uint8_t> pad;
    const auto addWord = [&pad](int value) {
        const auto raw = static_cast<std::uint16_t>(static_cast<std::int16_t>(value));
        pad.push_back(static_cast<std::uint8_t>(raw & 0xFF));
        pad.push_back(static_cast<std::uint8_t>(raw >> 8));
    };
    if (id.size() == 16 && id.compare(14, 2, kHalfDegreeFamily) == 0) {
        // Half degrees in bytes 0 and 1; the whole degrees (the half bit
        // dropped) with 0.25 taken off plus (16 - byte 6) / 16 give the
        // finer reading.
        const int halves = static_cast<int>(std::lround(sixteenths / 8.0));
        const int whole = halves >> 1;
        const int remain = std::clamp(16 - (sixteenths - 16 * whole + 4), 0, 16);
        addWord(halves);
        pad.insert(pad.end(), {kAlarmHigh, kAlarmLow, kReserved5, kReserved5,
                               static_cast<std::uint8_t>(remain), kCountPerDegree});
    } else {
        addWord(sixteenths);
        pad.insert(pad.end(),
                   {kAlarmHigh, kAlarmLow, kConfig12Bit, kReserved5, kReserved6, kReserved7});
    }
    pad.push_back(crc8(pad.data(), pad.size()));
    return pad;
}

Bus::Exchange Bus::writeBlock(const std::string& address, const std::vector<std::uint8_t>& data,
                              Clock::time_point now, Random& random) {
    Exchange result;
    auto it = sensors_.find(address);
    const ScheduleStep* step = scheduled(address, now);
    const bool unplugged = step && step->kind == ScheduleStep::Kind::Unplugged;
    if (unplugged && it != sensors_.end()) {
        // Its power goes with it: plugged in again, it holds the power-on
        // reading until it converts anew; a conversion under way is lost.
        it->second.converting = false;
        it->second.latched = 85 * 16;
    }
    if (it == sensors_.end() || !it->second.present || it->second.disconnected || unplugged ||
        data.empty()) {
        // Nobody pulls the bus low: every slot reads back as ones.
        result.readBack.assign(data.size(), 0xFF);
        return result;
    }
    Sensor& sensor = it->second;
    settle(address, sensor, now, random);
    result.readBack = data;  // the command byte and anything the sensor ignores echo back

    if (data[0] == kConvertT) {
        int ms = settings_.conversionMs;
        auto own = settings_.conversionMsFor.find(address);
        if (own != settings_.conversionMsFor.end()) ms = own->second;
        if (ms <= 0) {
            sensor.converting = false;
            latch(address, sensor, now, random);
        } else {
            sensor.converting = true;
            sensor.doneAt = now + std::chrono::milliseconds(ms);
        }
    } else if (data[0] == kReadScratchpad && !sensor.converting) {
        // Read slots: the bus is the AND of what the master sends and what the sensor drives.
        const std::vector<std::uint8_t> pad = scratchpad(address);
        for (std::size_t i = 1; i < data.size(); ++i) {
            const std::uint8_t driven = i - 1 < pad.size() ? pad[i - 1] : 0xFF;
            result.readBack[i] = static_cast<std::uint8_t>(data[i] & driven);
        }
        result.scratchpad = data.size() >= 10;
    }
    // A read during a conversion: the sensor keeps the bus busy and every slot reads as ones,
    // which the echo of the FF bytes already shows.
    return result;
}

}  // namespace tarnwick::sim
