#include "RequestLog.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace tarnwick::sim {

std::string formatLogLine(const RequestRecord& record) {
    using namespace std::chrono;
    const auto since = record.wall.time_since_epoch();
    const auto secs = duration_cast<seconds>(since);
    auto millis = duration_cast<milliseconds>(since - secs).count();
    std::time_t t = static_cast<std::time_t>(secs.count());
    if (millis < 0) {
        millis += 1000;
        --t;
    }
    std::tm tm{};
    gmtime_r(&t, &tm);
    char stamp[96];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(millis));
    // Keep one request per line whatever the client sent.
    std::string target = record.target;
    for (char& c : target)
        if (c == '\n' || c == '\r') c = ' ';
    return std::string(stamp) + " " + target;
}

RequestLog::~RequestLog() { closeFile(); }

void RequestLog::closeFile() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    fileName_.clear();
}

std::optional<std::string> RequestLog::open(const std::string& name) {
    std::lock_guard lock(mutex_);
    if (name == fileName_ && (name.empty() || file_)) return std::nullopt;
    closeFile();
    if (name.empty()) return std::nullopt;
    file_ = std::fopen(name.c_str(), "a");
    if (!file_) return std::string(std::strerror(errno));
    fileName_ = name;
    return std::nullopt;
}

void RequestLog::setLimit(std::size_t records) {
    std::lock_guard lock(mutex_);
    limit_ = records;
    while (records_.size() > limit_) records_.pop_front();
}

void RequestLog::add(const std::string& target, int remotePort) {
    RequestRecord record;
    record.steady = std::chrono::steady_clock::now();
    record.wall = std::chrono::system_clock::now();
    record.target = target;
    record.remotePort = remotePort;
    std::lock_guard lock(mutex_);
    if (file_) {
        const std::string line = formatLogLine(record) + '\n';
        std::fwrite(line.data(), 1, line.size(), file_);
        std::fflush(file_);
    }
    records_.push_back(std::move(record));
    while (records_.size() > limit_) records_.pop_front();
}

void RequestLog::noteResult(int remotePort, const std::string& target, const std::string& result) {
    std::lock_guard lock(mutex_);
    for (auto it = records_.rbegin(); it != records_.rend(); ++it) {
        if (it->remotePort == remotePort && it->target == target) {
            it->result = result;
            return;
        }
    }
}

std::vector<RequestRecord> RequestLog::records() const {
    std::lock_guard lock(mutex_);
    return {records_.begin(), records_.end()};
}

void RequestLog::clear() {
    std::lock_guard lock(mutex_);
    records_.clear();
}

}  // namespace tarnwick::sim
