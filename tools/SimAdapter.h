// A simulated 1-Wire HTTP adapter: a small web server that answers the lock,
// write-block and release pages the way the network adapter does, with a bus of
// 12-bit temperature sensors (family 28) behind it, and a set of knobs that make
// it misbehave on purpose (slow, stalled, dropped, malformed or oversized pages,
// bad CRCs, missing fields). The demo, the end-to-end tests and the benchmarks
// run the logger against it.
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
#include <utility>
#include <vector>

namespace tarnwick::sim {

// The sixteen sensors of the logger's roster (the compiled-in one), in roster order.
const std::vector<std::string>& rosterIds();

// What a page is, for the purpose of matching fault rules.
enum class PageKind {
    Any,         // every request
    Lock,        // /1Wire/GetLock.html
    WriteBlock,  // /1Wire/WriteBlock.html, whatever the data
    Convert,     // write block whose first byte is 44 (start conversion)
    Read,        // write block whose first byte is BE (read scratchpad)
    Release,     // /1Wire/ReleaseLock.html
    Other,       // any other path
};

enum class Fault {
    Delay,         // answer only after delayMs
    MissingField,  // page without its value field (LockID_0 or ResultData_0)
    Stall,         // headers and half the body are sent, the rest only after releaseStalls();
                   // on stop() the connection is closed instead
    Drop,          // the connection is closed half-way through the body
    Oversize,      // body padded to Options::oversizeBytes, the value field at its very end
    AllFF,         // write-block result is all FF, as if nobody answered
    BadCrc,        // the CRC byte of a scratchpad read is wrong
    ShortReply,    // write-block result lacks its last byte
    LongReply,     // write-block result carries an extra byte
    LowerCase,     // write-block result in lower-case hex
};

// A fault that hits the pages matching `kind` (and `address`, for write-block
// pages) from the `first`-th matching page on (counted from 1, per rule, since
// the rule was installed), for `count` pages, or for ever when count < 0.
//   {PageKind::Lock, Fault::MissingField, "", 1, 1}      first lock page has no LockID_0
//   {PageKind::Read, Fault::MissingField, "", 3, 1}      3rd read page lacks ResultData_0
//   {PageKind::Lock, Fault::Delay, "", 1, -1, 300}       every lock page takes 300 ms
//   {PageKind::Read, Fault::AllFF, "9C000000B4A89828"}   that sensor reads all FF for ever
//   {PageKind::Any, Fault::Stall, "", 5, 1}              the 5th request never completes
struct FaultRule {
    FaultRule() = default;
    FaultRule(PageKind kind, Fault fault, std::string address = {}, int first = 1, int count = -1,
              int delayMs = 0)
        : kind(kind),
          fault(fault),
          address(std::move(address)),
          first(first),
          count(count),
          delayMs(delayMs) {}

    PageKind kind = PageKind::Any;
    Fault fault = Fault::Delay;
    std::string address;  // empty: any address (and pages without one)
    int first = 1;
    int count = -1;
    int delayMs = 0;  // Fault::Delay only
};

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

struct RequestRecord {
    std::chrono::steady_clock::time_point steady;
    std::chrono::system_clock::time_point wall;
    std::string target;   // path and query exactly as received
    int remotePort = -1;  // tells keep-alive connections apart
    // The ResultData_0 value the page carried (empty for pages without one),
    // whether or not the page then reached the client whole.
    std::string result;
};

// True for "localhost" and dotted IPv4 addresses in 127.0.0.0/8.
bool isLoopbackHost(const std::string& host);

// The log line for a request: wall-clock time as UTC ISO 8601 with
// milliseconds, a blank, the target. "2024-05-01T12:00:00.123Z /1Wire/GetLock.html"
std::string formatLogLine(const RequestRecord& record);

// Parses "lock", "read", "convert", "writeblock", "release", "other", "any";
// and "delay", "missing-field", "stall", "drop", "oversize", "all-ff",
// "bad-crc", "short", "long", "lower-case".
std::optional<PageKind> parsePageKind(const std::string& text);
std::optional<Fault> parseFault(const std::string& text);
// "KIND:FAULT[:key=value,...]" with keys address, first, count, ms;
// e.g. "read:missing-field:first=3,count=1" or "lock:delay:ms=300".
std::optional<FaultRule> parseFaultRule(const std::string& text);

class Adapter {
  public:
    explicit Adapter(Options options = {});
    ~Adapter();
    Adapter(const Adapter&) = delete;
    Adapter& operator=(const Adapter&) = delete;

    // Binds and listens; port 0 picks a free port. Only loopback hosts
    // (127.0.0.0/8 or "localhost") are accepted. Returns false when the
    // address is refused, the port cannot be bound, the log file cannot be
    // opened or the adapter is already running. Connections are accepted
    // as soon as it returns true.
    bool start(const std::string& host = "127.0.0.1", int port = 0);
    int port() const;  // 0 when not running
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
