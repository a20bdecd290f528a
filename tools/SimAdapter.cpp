#include "SimAdapter.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

#include "Bus.h"
#include "ConnectionRegistry.h"
#include "Pages.h"
#include "Roster.h"

namespace tarnwick::sim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kReadTimeoutMs = 5000;
constexpr int kWriteTimeoutMs = 5000;
constexpr std::size_t kMaxDataBytes = 256;

std::string normalisedId(const std::string& id) { return upper(id); }

std::vector<std::string> normalisedIds(const std::vector<std::string>& ids) {
    std::vector<std::string> out;
    out.reserve(ids.size());
    for (const auto& id : ids) out.push_back(normalisedId(id));
    return out;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string statusText(int status) {
    switch (status) {
        case 400:
            return "Bad request";
        case 404:
            return "No such page";
        case 405:
            return "Method not allowed";
        case 413:
            return "Request too large";
        case 414:
            return "Request too long";
        case 431:
            return "Request header too large";
        default:
            return status >= 500 ? "Internal error" : "Request refused";
    }
}

bool kindMatches(PageKind ruleKind, PageKind pageKind) {
    if (ruleKind == PageKind::Any || ruleKind == pageKind) return true;
    return ruleKind == PageKind::WriteBlock &&
           (pageKind == PageKind::Convert || pageKind == PageKind::Read);
}

}  // namespace

// ---------------------------------------------------------------------------

struct Adapter::Impl {
    // Everything below is guarded by `mutex` unless noted.
    mutable std::mutex mutex;
    std::condition_variable wake;  // stalls, delays and lock waits
    Options options;
    std::vector<long long> ruleSeen;
    Random random{1};
    Bus bus;
    bool lockHeld = false;
    std::string lockId;
    std::uint64_t nextLock = 0;
    std::uint64_t releaseGeneration = 0;
    int stalled = 0;
    bool stopping = false;
    std::deque<RequestRecord> records;

    std::mutex logMutex;
    std::ofstream log;
    std::string logName;

    ConnectionRegistry connections;

    // Owned by the thread calling start()/stop().
    std::unique_ptr<httplib::Server> server;
    std::thread listener;
    std::atomic<int> boundPort{0};

    explicit Impl(Options opts);
    void applyOptions(Options opts);  // mutex held
    bool openLog(const std::string& name);

    bool isStopping() const {
        std::lock_guard lock(mutex);
        return stopping;
    }

    void record(const httplib::Request& req);
    httplib::Server::HandlerResponse preRoute(const httplib::Request& req, httplib::Response& res);
    void serve(const httplib::Request& req, httplib::Response& res, PageKind route);
    bool sleepUnlessStopping(int ms);
};

Adapter::Impl::Impl(Options opts) {
    random = Random(opts.seed);
    nextLock = 100000 + random.next() % 800000;
    applyOptions(std::move(opts));
}

void Adapter::Impl::applyOptions(Options opts) {
    opts.sensors = normalisedIds(opts.sensors);
    opts.disconnected = normalisedIds(opts.disconnected);
    for (auto& rule : opts.faults) rule.address = normalisedId(rule.address);
    Bus::Settings settings;
    settings.conversionMs = opts.conversionMs;
    for (const auto& [id, ms] : opts.conversionMsFor) settings.conversionMsFor[upper(id)] = ms;
    for (const auto& [id, c] : opts.temperatureC) settings.temperatureC[upper(id)] = c;
    bus.addSensors(opts.sensors, random);
    bus.setPresent(opts.sensors);
    bus.setDisconnected(opts.disconnected);
    bus.setSettings(std::move(settings));
    ruleSeen.assign(opts.faults.size(), 0);
    options = std::move(opts);
}

bool Adapter::Impl::openLog(const std::string& name) {
    std::lock_guard lock(logMutex);
    if (name == logName && (name.empty() || log.is_open())) return true;
    if (log.is_open()) log.close();
    logName.clear();
    if (name.empty()) return true;
    log.open(name, std::ios::out | std::ios::app);
    if (!log.is_open()) return false;
    logName = name;
    return true;
}

bool Adapter::Impl::sleepUnlessStopping(int ms) {
    if (ms <= 0) return !isStopping();
    std::unique_lock lock(mutex);
    return !wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping; });
}

void Adapter::Impl::record(const httplib::Request& req) {
    RequestRecord rec;
    rec.steady = Clock::now();
    rec.wall = std::chrono::system_clock::now();
    rec.target = req.target;
    rec.remotePort = req.remote_port;
    {
        std::lock_guard lock(logMutex);
        if (log.is_open()) {
            log << formatLogLine(rec) << '\n';
            log.flush();
        }
    }
    std::lock_guard lock(mutex);
    records.push_back(std::move(rec));
    while (records.size() > options.recordLimit) records.pop_front();
}

httplib::Server::HandlerResponse Adapter::Impl::preRoute(const httplib::Request& req,
                                                         httplib::Response& res) {
    record(req);
    // An embedded adapter sends its pages as they are: never compressed,
    // whatever the client would accept. (The request is the server's own
    // object; the handler interface merely hands it over as const.)
    const_cast<httplib::Request&>(req).headers.erase("Accept-Encoding");
    std::size_t limit;
    {
        std::lock_guard lock(mutex);
        limit = options.maxTargetLength;
    }
    if (req.target.size() > limit) {
        res.status = 414;
        res.set_content(pages::errorPage(414, "Request too long"), "text/html");
        return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
}

void Adapter::Impl::serve(const httplib::Request& req, httplib::Response& res, PageKind route) {
    // What kind of page this is, for the fault rules.
    const std::string address = upper(req.get_param_value("Address"));
    const std::string dataText = req.get_param_value("Data");
    const auto data = fromHex(dataText);
    PageKind kind = route;
    if (route == PageKind::WriteBlock && data && data->size() <= kMaxDataBytes) {
        if ((*data)[0] == 0x44) kind = PageKind::Convert;
        if ((*data)[0] == 0xBE) kind = PageKind::Read;
    }

    std::set<Fault> faults;
    int delayMs = 0;
    {
        std::lock_guard lock(mutex);
        delayMs = std::max(0, options.requestDelayMs);
        for (std::size_t i = 0; i < options.faults.size(); ++i) {
            const FaultRule& rule = options.faults[i];
            if (!kindMatches(rule.kind, kind)) continue;
            if (!rule.address.empty() && rule.address != address) continue;
            const long long seen = ++ruleSeen[i];
            if (seen < rule.first) continue;
            if (rule.count >= 0 && seen >= static_cast<long long>(rule.first) + rule.count)
                continue;
            faults.insert(rule.fault);
            if (rule.fault == Fault::Delay) delayMs += std::max(0, rule.delayMs);
        }
    }
    if (!sleepUnlessStopping(delayMs)) {
        res.status = 503;
        res.set_content(pages::errorPage(503, "Adapter shutting down"), "text/html");
        return;
    }
    const bool dropField = faults.count(Fault::MissingField) != 0;

    int status = 200;
    std::string body;
    auto fail = [&](int code, const std::string& message) {
        status = code;
        body = pages::errorPage(code, message);
    };

    if (route == PageKind::Lock) {
        std::unique_lock lock(mutex);
        if (lockHeld && options.lockWaitMs > 0) {
            wake.wait_for(lock, std::chrono::milliseconds(options.lockWaitMs),
                          [this] { return !lockHeld || stopping; });
        }
        if (stopping) {
            fail(503, "Adapter shutting down");
        } else {
            // Free, or held past the wait: the caller gets the bus and any previous
            // holder's identifier stops working.
            nextLock += 1 + random.next() % 997;
            lockId = std::to_string(nextLock);
            lockHeld = true;
            body = pages::lockPage(dropField ? std::nullopt : std::optional(lockId));
        }
    } else if (route == PageKind::WriteBlock) {
        const std::string lockParam = req.get_param_value("LockID");
        if (!req.has_param("Data") || !req.has_param("Address") || !req.has_param("LockID")) {
            fail(400, "Missing parameter: Data, Address and LockID are required");
        } else if (!data) {
            fail(400, "Data must be an even number of hexadecimal digits");
        } else if (data->size() > kMaxDataBytes) {
            fail(400, "Data block too long");
        } else if (address.size() != 16 || !fromHex(address)) {
            fail(400, "Address must be 16 hexadecimal digits");
        } else {
            std::unique_lock lock(mutex);
            if (!lockHeld || lockParam != lockId) {
                lock.unlock();
                fail(403, "Invalid or expired lock ID");
            } else {
                const Bus::Exchange exchange = bus.writeBlock(address, *data, Clock::now(), random);
                std::string result = toHex(exchange.readBack);
                if (faults.count(Fault::AllFF)) result.assign(result.size(), 'F');
                const bool realRead = exchange.scratchpad && !faults.count(Fault::AllFF);
                if (realRead && result.size() >= 20 &&
                    (faults.count(Fault::BadCrc) || random.chance(options.crcErrorRate))) {
                    auto bytes = *fromHex(result.substr(18, 2));
                    result.replace(18, 2, toHex({static_cast<std::uint8_t>(bytes[0] ^ 0x5A)}));
                }
                if (faults.count(Fault::ShortReply) || random.chance(options.shortReplyRate)) {
                    result.resize(result.size() >= 2 ? result.size() - 2 : 0);
                } else if (faults.count(Fault::LongReply) || random.chance(options.longReplyRate)) {
                    result += "FF";
                }
                if (faults.count(Fault::LowerCase) || options.lowerCaseHex) result = lower(result);
                if (!dropField) {
                    for (auto it = records.rbegin(); it != records.rend(); ++it) {
                        if (it->remotePort == req.remote_port && it->target == req.target) {
                            it->result = result;
                            break;
                        }
                    }
                }
                lock.unlock();
                body = pages::writeBlockPage(address, dataText, lockParam,
                                             dropField ? std::nullopt : std::optional(result));
            }
        }
    } else if (route == PageKind::Release) {
        const std::string lockParam = req.get_param_value("LockID");
        if (!req.has_param("LockID")) {
            fail(400, "Missing parameter: LockID");
        } else {
            std::unique_lock lock(mutex);
            if (!lockHeld || lockParam != lockId) {
                lock.unlock();
                fail(403, "Invalid or expired lock ID");
            } else {
                lockHeld = false;
                lock.unlock();
                wake.notify_all();
                body = pages::releasePage(lockParam);
            }
        }
    } else {
        fail(404, "No such page");
    }

    if (faults.count(Fault::Oversize)) {
        std::lock_guard lock(mutex);
        body = pages::padded(body, options.oversizeBytes);
    }
    res.status = status;

    const bool stall = faults.count(Fault::Stall) != 0;
    const bool drop = faults.count(Fault::Drop) != 0;
    if (!stall && !drop) {
        res.set_content(std::move(body), "text/html");
        return;
    }
    // Send the headers and the first half of the body, then hold on (stall) or hang up (drop).
    auto page = std::make_shared<std::string>(std::move(body));
    const std::size_t half = page->size() / 2;
    res.set_content_provider(
        page->size(), "text/html",
        [this, page, half, stall](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            if (offset < half) return sink.write(page->data() + offset, half - offset);
            if (!stall) return false;
            {
                std::unique_lock lock(mutex);
                const std::uint64_t generation = releaseGeneration;
                ++stalled;
                wake.notify_all();
                wake.wait(lock, [&] { return stopping || releaseGeneration != generation; });
                --stalled;
                if (stopping) return false;
            }
            return sink.write(page->data() + offset, page->size() - offset);
        });
}

// ---------------------------------------------------------------------------

const std::vector<std::string>& rosterIds() {
    static const std::vector<std::string> ids = [] {
        std::vector<std::string> out;
        for (const QString& id : compiledRoster())
            if (!id.isEmpty()) out.push_back(id.toStdString());
        return out;
    }();
    return ids;
}

bool isLoopbackHost(const std::string& host) {
    if (host == "localhost") return true;
    in_addr addr{};
    if (inet_pton(AF_INET, host.c_str(), &addr) != 1) return false;
    return (ntohl(addr.s_addr) >> 24) == 127;
}

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

std::optional<PageKind> parsePageKind(const std::string& text) {
    static const std::map<std::string, PageKind> names = {
        {"any", PageKind::Any},
        {"lock", PageKind::Lock},
        {"writeblock", PageKind::WriteBlock},
        {"convert", PageKind::Convert},
        {"read", PageKind::Read},
        {"release", PageKind::Release},
        {"other", PageKind::Other},
    };
    auto it = names.find(lower(text));
    if (it == names.end()) return std::nullopt;
    return it->second;
}

std::optional<Fault> parseFault(const std::string& text) {
    static const std::map<std::string, Fault> names = {
        {"delay", Fault::Delay},       {"missing-field", Fault::MissingField},
        {"stall", Fault::Stall},       {"drop", Fault::Drop},
        {"oversize", Fault::Oversize}, {"all-ff", Fault::AllFF},
        {"bad-crc", Fault::BadCrc},    {"short", Fault::ShortReply},
        {"long", Fault::LongReply},    {"lower-case", Fault::LowerCase},
    };
    auto it = names.find(lower(text));
    if (it == names.end()) return std::nullopt;
    return it->second;
}

std::optional<FaultRule> parseFaultRule(const std::string& text) {
    const auto firstColon = text.find(':');
    if (firstColon == std::string::npos) return std::nullopt;
    const auto secondColon = text.find(':', firstColon + 1);
    const auto kind = parsePageKind(text.substr(0, firstColon));
    const auto fault = parseFault(text.substr(firstColon + 1, secondColon == std::string::npos
                                                                  ? std::string::npos
                                                                  : secondColon - firstColon - 1));
    if (!kind || !fault) return std::nullopt;
    FaultRule rule;
    rule.kind = *kind;
    rule.fault = *fault;
    if (secondColon == std::string::npos) return rule;

    auto number = [](const std::string& value) -> std::optional<int> {
        if (value.empty() || value.size() > 9) return std::nullopt;
        std::size_t i = value[0] == '-' ? 1 : 0;
        if (i == value.size()) return std::nullopt;
        for (std::size_t j = i; j < value.size(); ++j)
            if (!std::isdigit(static_cast<unsigned char>(value[j]))) return std::nullopt;
        return std::stoi(value);
    };
    std::string rest = text.substr(secondColon + 1);
    std::size_t pos = 0;
    while (pos <= rest.size()) {
        std::size_t comma = rest.find(',', pos);
        if (comma == std::string::npos) comma = rest.size();
        const std::string item = rest.substr(pos, comma - pos);
        const auto eq = item.find('=');
        if (eq == std::string::npos) return std::nullopt;
        const std::string key = item.substr(0, eq);
        const std::string value = item.substr(eq + 1);
        if (key == "address") {
            if (value.size() != 16 || !fromHex(value)) return std::nullopt;
            rule.address = upper(value);
        } else {
            const auto n = number(value);
            if (!n) return std::nullopt;
            if (key == "first" && *n >= 1) {
                rule.first = *n;
            } else if (key == "count") {
                rule.count = *n;
            } else if (key == "ms" && *n >= 0) {
                rule.delayMs = *n;
            } else {
                return std::nullopt;
            }
        }
        pos = comma + 1;
    }
    return rule;
}

// ---------------------------------------------------------------------------

Adapter::Adapter(Options options) : d(std::make_unique<Impl>(std::move(options))) {}

Adapter::~Adapter() { stop(); }

bool Adapter::start(const std::string& host, int port) {
    if (d->server || !isLoopbackHost(host) || port < 0 || port > 65535) return false;
    {
        std::string logFile;
        {
            std::lock_guard lock(d->mutex);
            logFile = d->options.logFile;
        }
        if (!d->openLog(logFile)) return false;
    }
    {
        std::lock_guard lock(d->mutex);
        d->stopping = false;
    }

    auto server = std::make_unique<httplib::Server>();
    server->new_task_queue = d->connections.taskQueueFactory();
    server->set_tcp_nodelay(true);
    // httplib's default is SO_REUSEPORT, which lets a second adapter bind the same port and
    // silently take half the connections. Plain SO_REUSEADDR: a busy port fails start().
    server->set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    server->set_read_timeout(kReadTimeoutMs / 1000, 0);
    server->set_write_timeout(kWriteTimeoutMs / 1000, 0);
    server->set_payload_max_length(64 * 1024);
    {
        std::lock_guard lock(d->mutex);
        server->set_keep_alive_timeout(std::max(1, d->options.keepAliveSeconds));
        server->set_keep_alive_max_count(1000000);
    }
    server->set_default_headers(
        {{"Server", "1-Wire HTTP Adapter (simulated)"}, {"Cache-Control", "no-cache"}});
    Impl* impl = d.get();
    server->set_pre_routing_handler([impl](const httplib::Request& req, httplib::Response& res) {
        return impl->preRoute(req, res);
    });
    auto route = [impl](PageKind kind) {
        return [impl, kind](const httplib::Request& req, httplib::Response& res) {
            impl->serve(req, res, kind);
        };
    };
    server->Get(R"(/1Wire/GetLock\.html)", route(PageKind::Lock));
    server->Get(R"(/1Wire/WriteBlock\.html)", route(PageKind::WriteBlock));
    server->Get(R"(/1Wire/ReleaseLock\.html)", route(PageKind::Release));
    server->Get(R"(.*)", route(PageKind::Other));
    server->set_error_handler([](const httplib::Request&, httplib::Response& res) {
        // Our own pages always carry a Content-Type (set_content and
        // set_content_provider both set it); the library's bare error
        // responses (404, 414, 400...) have none and get the device's style.
        if (res.body.empty() && !res.has_header("Content-Type")) {
            const int status = res.status > 0 ? res.status : 500;
            res.set_content(pages::errorPage(status, statusText(status)), "text/html");
        }
    });
    server->set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            res.status = 500;
            res.set_content(pages::errorPage(500, "Internal error"), "text/html");
        });

    int bound = port;
    if (port == 0) {
        bound = server->bind_to_any_port(host);
        if (bound <= 0) return false;
    } else if (!server->bind_to_port(host, port)) {
        return false;
    }
    d->connections.open(bound, [impl] {
        std::lock_guard lock(impl->mutex);
        return impl->options.maxConnections;
    });
    httplib::Server* raw = server.get();
    d->server = std::move(server);
    auto listening = std::make_shared<std::atomic<bool>>(true);
    d->listener = std::thread([raw, listening] {
        raw->listen_after_bind();
        listening->store(false);
    });
    // stop() relies on the server having entered its accept loop.
    while (!raw->is_running() && listening->load())
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    if (!listening->load()) {
        d->listener.join();
        d->server.reset();
        return false;
    }
    d->boundPort = bound;
    return true;
}

int Adapter::port() const { return d->boundPort.load(); }

bool Adapter::running() const { return d->boundPort.load() != 0; }

void Adapter::stop() {
    if (!d->server) return;
    {
        std::lock_guard lock(d->mutex);
        d->stopping = true;
    }
    d->wake.notify_all();
    d->connections.closeAll();
    d->server->stop();
    if (d->listener.joinable()) d->listener.join();
    d->server.reset();
    d->boundPort = 0;
}

std::vector<RequestRecord> Adapter::requests() const {
    std::lock_guard lock(d->mutex);
    return {d->records.begin(), d->records.end()};
}

void Adapter::clearRequests() {
    std::lock_guard lock(d->mutex);
    d->records.clear();
}

Options Adapter::options() const {
    std::lock_guard lock(d->mutex);
    return d->options;
}

bool Adapter::setOptions(Options options) {
    const std::string logFile = options.logFile;
    {
        std::lock_guard lock(d->mutex);
        d->applyOptions(std::move(options));
    }
    return d->openLog(logFile);
}

void Adapter::addFault(FaultRule rule) {
    rule.address = upper(rule.address);
    std::lock_guard lock(d->mutex);
    d->options.faults.push_back(std::move(rule));
    d->ruleSeen.push_back(0);
}

void Adapter::clearFaults() {
    std::lock_guard lock(d->mutex);
    d->options.faults.clear();
    d->ruleSeen.clear();
}

void Adapter::setRequestDelayMs(int ms) {
    std::lock_guard lock(d->mutex);
    d->options.requestDelayMs = ms;
}

void Adapter::setConversionMs(int ms) {
    std::lock_guard lock(d->mutex);
    d->options.conversionMs = ms;
    d->bus.settings().conversionMs = ms;
}

void Adapter::setDisconnected(const std::string& sensorId, bool disconnected) {
    const std::string id = upper(sensorId);
    std::lock_guard lock(d->mutex);
    auto& list = d->options.disconnected;
    list.erase(std::remove(list.begin(), list.end(), id), list.end());
    if (disconnected) list.push_back(id);
    d->bus.setDisconnected(id, disconnected);
}

void Adapter::setTemperature(const std::string& sensorId, std::optional<double> celsius) {
    const std::string id = upper(sensorId);
    std::lock_guard lock(d->mutex);
    if (celsius) {
        d->options.temperatureC[id] = *celsius;
        d->bus.settings().temperatureC[id] = *celsius;
    } else {
        d->options.temperatureC.erase(id);
        d->bus.settings().temperatureC.erase(id);
    }
}

void Adapter::setRates(double crcError, double shortReply, double longReply) {
    std::lock_guard lock(d->mutex);
    d->options.crcErrorRate = crcError;
    d->options.shortReplyRate = shortReply;
    d->options.longReplyRate = longReply;
}

void Adapter::setLowerCaseHex(bool on) {
    std::lock_guard lock(d->mutex);
    d->options.lowerCaseHex = on;
}

void Adapter::releaseStalls() {
    {
        std::lock_guard lock(d->mutex);
        ++d->releaseGeneration;
    }
    d->wake.notify_all();
}

int Adapter::stalledPages() const {
    std::lock_guard lock(d->mutex);
    return d->stalled;
}

}  // namespace tarnwick::sim
