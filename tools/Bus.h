// The simulated 1-Wire bus behind the adapter: temperature sensors with a
// 12-bit reading (families 28 and 22) or a half-degree one (family 10, the
// DS18S20), their scratchpads and conversions, and the write-block exchange.
// Not thread-safe; the adapter serialises access.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ReadingSchedule.h"

namespace tarnwick::sim {

// Dallas/Maxim CRC-8 (x^8 + x^5 + x^4 + 1, least significant bit first, initial 0).
std::uint8_t crc8(const std::uint8_t* bytes, std::size_t count);

// Upper-case hex, two digits a byte.
std::string toHex(const std::vector<std::uint8_t>& bytes);
// Hex text of even length (either case) to bytes; nullopt when malformed or empty.
std::optional<std::vector<std::uint8_t>> fromHex(const std::string& text);
std::string upper(std::string text);
std::string lower(std::string text);
// Sixteen hex digits in either case: a sensor's ROM identifier.
bool isSensorId(const std::string& text);

// Small deterministic generator (splitmix64), the same sequence on every platform.
class Random {
  public:
    explicit Random(std::uint64_t seed = 1) : state_(seed) {}
    std::uint64_t next();
    double uniform();  // [0, 1)
    bool chance(double probability) { return probability > 0.0 && uniform() < probability; }

  private:
    std::uint64_t state_;
};

class Bus {
  public:
    using Clock = std::chrono::steady_clock;

    struct Settings {
        int conversionMs = 750;
        std::map<std::string, int> conversionMsFor;  // upper-case id -> ms
        std::map<std::string, double> temperatureC;  // upper-case id -> fixed degrees C
        // upper-case id -> what it reads over time, counted from `origin`;
        // a step in force overrides temperatureC and the drift.
        std::map<std::string, ReadingSchedule> schedules;
        Clock::time_point origin;
    };

    // Result of one write block.
    struct Exchange {
        std::vector<std::uint8_t> readBack;
        bool scratchpad = false;  // a read that returned real scratchpad bytes
    };

    // Adds sensors not yet known (ids upper case); known ones keep their state.
    void addSensors(const std::vector<std::string>& ids, Random& random);
    void setPresent(const std::vector<std::string>& ids);
    void setDisconnected(const std::vector<std::string>& ids);
    void setDisconnected(const std::string& id, bool disconnected);
    void setSettings(Settings settings) { settings_ = std::move(settings); }
    Settings& settings() { return settings_; }

    Exchange writeBlock(const std::string& address, const std::vector<std::uint8_t>& data,
                        Clock::time_point now, Random& random);

    // The nine scratchpad bytes a sensor holds now (conversion state aside).
    std::vector<std::uint8_t> scratchpad(const std::string& id) const;

  private:
    struct Sensor {
        double baseC = 20.0;
        double nowC = 20.0;
        std::int16_t latched = 85 * 16;  // power-on value
        bool converting = false;
        Clock::time_point doneAt;
        bool present = true;
        bool disconnected = false;
    };

    // The schedule's step for `id` in force at `at`; nullptr when none is.
    const ScheduleStep* scheduled(const std::string& id, Clock::time_point at) const;
    void settle(const std::string& id, Sensor& sensor, Clock::time_point now, Random& random);
    // Takes the reading of a conversion that ended at `at`.
    void latch(const std::string& id, Sensor& sensor, Clock::time_point at, Random& random);

    std::map<std::string, Sensor> sensors_;
    Settings settings_;
};

}  // namespace tarnwick::sim
