// The requests the adapter has seen: the most recent ones kept in memory, and
// every one appended to a log file while one is open, one line each.
// Thread-safe.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick::sim {

struct RequestRecord {
    std::chrono::steady_clock::time_point steady;
    std::chrono::system_clock::time_point wall;
    std::string target;   // path and query exactly as received
    int remotePort = -1;  // tells keep-alive connections apart
    // The ResultData_0 value the page carried (empty for pages without one),
    // whether or not the page then reached the client whole.
    std::string result;
};

// The log line for a request: wall-clock time as UTC ISO 8601 with
// milliseconds, a blank, the target. "2024-05-01T12:00:00.123Z /1Wire/GetLock.html"
std::string formatLogLine(const RequestRecord& record);

class RequestLog {
  public:
    RequestLog() = default;
    ~RequestLog();
    RequestLog(const RequestLog&) = delete;
    RequestLog& operator=(const RequestLog&) = delete;

    // Appends to the file `name` from now on (an empty name: no file). The
    // file already open under that name stays open. Returns the system's
    // reason when the file cannot be opened; then no file is written.
    std::optional<std::string> open(const std::string& name);
    void setLimit(std::size_t records);  // how many records are kept

    // A request as it arrives: recorded, and its line written and flushed.
    void add(const std::string& target, int remotePort);
    // The ResultData_0 value of the latest request with that port and target.
    void noteResult(int remotePort, const std::string& target, const std::string& result);

    std::vector<RequestRecord> records() const;
    void clear();

  private:
    void closeFile();

    mutable std::mutex mutex_;
    std::FILE* file_ = nullptr;
    std::string fileName_;
    std::deque<RequestRecord> records_;
    std::size_t limit_ = 100000;
};

}  // namespace tarnwick::sim
