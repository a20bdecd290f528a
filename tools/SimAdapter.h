// A simulated 1-Wire HTTP adapter: a small web server that answers the lock,
// write-block and release pages the way the network adapter does, with a bus of
// temperature sensors behind it (12-bit ones of families 28 and 22, half-degree
// ones of family 10), and a set of knobs that make it misbehave on purpose (slow, stalled, dropped,
// malformed or oversized pages, bad CRCs, missing fields). The demo, the end-to-end tests and the
// benchmarks run the logger against it.
//
// Lock rule: GetLock hands out a fresh identifier. When a lock is still held,
// GetLock first waits up to Options::lockWaitMs for it to be released, then takes
// the lock over: the previous identifier stops working and the new caller gets a
// new one. A client that died holding the lock therefore never blocks the bus for
// longer than lockWaitMs (0 by default: the new caller takes over at once).
//
// Thread safety: every public member function may be called from any thread
// while the server runs.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FaultRule.h"
#include "ReadingSchedule.h"
#include "RequestLog.h"

namespace tarnwick::sim {

// The sixteen sensors of the logger's roster (the compiled-in one), in roster order.
const std::vector<std::string>& rosterIds();

struct Options {
    // Sensors on the bus (16 hex digits each, compared case-insensitively).
    // Write blocks to any other address read back all FF.
    std::vector<std::string> sensors = rosterIds();
    // Sensors on the list above that have lost contact: they answer all FF.
    std::vector<std::string> disconnected;
    // Time a temperature conversion takes; 0 completes it at once.
    int conversionMs = 750;
    std::map<std::string, int> conversionMsFor;  // per-sensor override
    // Sensors held at a fixed temperature in degrees C (no drift). Values are
    // clamped to the sensor's range, -55 to +125 C.
    std::map<std::string, double> temperatureC;
    // What a sensor reads over time, counted from the adapter's construction
    // (origin()): held temperatures, unplugged (all FF) or its own reading.
    std::map<std::string, ReadingSchedule> readings;
    // When the adapter stops listening for a while, counted the same way.
    // tarnwick-simadapter carries them out; the Adapter itself only keeps them.
    std::vector<Silence> silences;
    // Delay added to every request before it is answered.
    int requestDelayMs = 0;
    // Probabilities (0..1) per page: a read with a wrong CRC byte, a write-block
    // result one byte short, one byte long.
    double crcErrorRate = 0.0;
    double shortReplyRate = 0.0;
    double longReplyRate = 0.0;
    bool lowerCaseHex = false;             // every write-block result in lower case
    std::size_t oversizeBytes = 2u << 20;  // body size of a Fault::Oversize page
    std::vector<FaultRule> faults;
    // Seeds temperatures, drift, lock identifiers and fault rates; read when the adapter is
    // constructed (setOptions does not reseed).
    std::uint64_t seed = 1;
    int lockWaitMs = 0;   // see the lock rule at the top of this file
    std::string logFile;  // request log (appended, one line per request); empty: none
    std::size_t maxTargetLength = 2048;  // longer path+query: 414 error page
    int keepAliveSeconds = 10;           // idle keep-alive connections are closed after this
    std::size_t maxConnections = 256;    // further connections are closed at once
    std::size_t recordLimit = 100000;    // requests() keeps the most recent ones only
};

// True for "localhost" and dotted IPv4 addresses in 127.0.0.0/8.
bool isLoopbackHost(const std::string& host);

class Adapter {
  public:
    explicit Adapter(Options options = {});
    ~Adapter();
    Adapter(const Adapter&) = delete;
    Adapter& operator=(const Adapter&) = delete;

    // Why start() failed, and a message that says so:
    // "cannot listen on 127.0.0.1:8642: Address already in use".
    struct StartFailure {
        enum class Cause {
            Refused,  // not a loopback host, or no port number
            Running,  // already running
            Listen,   // the address and port cannot be bound
            Log,      // the request log cannot be opened
        };
        Cause cause;
        std::string message;
    };

    // Binds and listens; port 0 picks a free port. Only loopback hosts
    // (127.0.0.0/8 or "localhost") are accepted. Connections are accepted
    // as soon as it returns with no failure.
    std::optional<StartFailure> tryStart(const std::string& host = "127.0.0.1", int port = 0);
    // The same, true when listening.
    bool start(const std::string& host = "127.0.0.1", int port = 0) {
        return !tryStart(host, port);
    }
    int port() const;  // 0 when not running
    // The instant the schedules count from: when the adapter was constructed.
    std::chrono::steady_clock::time_point origin() const;
    bool running() const;
    // Stops listening, releases stalled and delayed pages by closing their
    // connections, closes idle keep-alive connections and joins every thread.
    // Returns promptly. Sensor and lock state survive a later start().
    void stop();

    std::vector<RequestRecord> requests() const;
    void clearRequests();

    Options options() const;
    // Replaces every knob; fault rule counters start again from zero. A new log
    // file name takes effect at once (false if it cannot be opened).
    bool setOptions(Options options);
    void addFault(FaultRule rule);
    void clearFaults();
    void setRequestDelayMs(int ms);
    void setConversionMs(int ms);
    void setDisconnected(const std::string& sensorId, bool disconnected);
    void setTemperature(const std::string& sensorId, std::optional<double> celsius);
    void setRates(double crcError, double shortReply, double longReply);
    void setLowerCaseHex(bool on);

    // Lets every page that is stalled right now complete.
    void releaseStalls();
    // Number of pages currently held by Fault::Stall.
    int stalledPages() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace tarnwick::sim
