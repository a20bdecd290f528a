#include "SimAdapter.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include "AdapterState.h"
#include "ConnectionRegistry.h"
#include "PageServer.h"
#include "Roster.h"

namespace tarnwick::sim {

namespace {

constexpr int kReadTimeoutSeconds = 5;
constexpr int kWriteTimeoutSeconds = 5;
constexpr std::size_t kMaxRequestBodyBytes = 64 * 1024;

}  // namespace

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

struct Adapter::Impl {
    explicit Impl(Options options) : state(std::move(options)) {}

    AdapterState state;
    PageServer pages{state};
    ConnectionRegistry connections;

    // Owned by the thread calling start()/stop().
    std::unique_ptr<httplib::Server> server;
    std::thread listener;
    std::atomic<int> boundPort{0};
};

Adapter::Adapter(Options options) : d(std::make_unique<Impl>(std::move(options))) {}

Adapter::~Adapter() { stop(); }

std::optional<Adapter::StartFailure> Adapter::tryStart(const std::string& host, int port) {
    using Cause = StartFailure::Cause;
    if (d->server) return StartFailure{Cause::Running, "already running"};
    if (!isLoopbackHost(host))
        return StartFailure{Cause::Refused,
                            "refusing to listen on " + host + ": not a loopback address"};
    if (port < 0 || port > 65535)
        return StartFailure{Cause::Refused, "no such port: " + std::to_string(port)};
    AdapterState& state = d->state;
    int keepAliveSeconds;
    {
        std::lock_guard lock(state.mutex);
        state.stopping = false;
        keepAliveSeconds = std::max(1, state.options.keepAliveSeconds);
        if (const auto reason = state.requests.open(state.options.logFile))
            return StartFailure{Cause::Log, "cannot open the request log " + state.options.logFile +
                                                ": " + *reason};
    }

    auto server = std::make_unique<httplib::Server>();
    server->new_task_queue = d->connections.taskQueueFactory();
    server->set_tcp_nodelay(true);
    // httplib's default is SO_REUSEPORT, which lets a second adapter bind the same port and
    // silently take half the connections. Plain SO_REUSEADDR: a busy port fails start().
    auto listeningSocket = std::make_shared<int>(-1);
    server->set_socket_options([listeningSocket](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        *listeningSocket = sock;
    });
    server->set_read_timeout(kReadTimeoutSeconds, 0);
    server->set_write_timeout(kWriteTimeoutSeconds, 0);
    server->set_payload_max_length(kMaxRequestBodyBytes);
    server->set_keep_alive_timeout(keepAliveSeconds);
    server->set_keep_alive_max_count(1000000);
    d->pages.install(*server);

    errno = 0;
    const int bound =
        port == 0 ? server->bind_to_any_port(host) : (server->bind_to_port(host, port) ? port : -1);
    if (bound <= 0) {
        // The library leaves the system's reason from bind() or listen() in errno.
        const std::string reason = errno != 0 ? std::strerror(errno) : "cannot bind";
        return StartFailure{
            Cause::Listen, "cannot listen on " + host + ":" + std::to_string(port) + ": " + reason};
    }
    // The library listens with a backlog of 5: clients connecting in a burst would have their
    // connections dropped and tried again a second later. The same socket, a longer queue.
    ::listen(*listeningSocket, SOMAXCONN);
    d->connections.open(bound, [&state] {
        std::lock_guard lock(state.mutex);
        return state.options.maxConnections;
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
        return StartFailure{Cause::Listen, "cannot listen on " + host + ":" +
                                               std::to_string(bound) + ": the server stopped"};
    }
    d->boundPort = bound;
    return std::nullopt;
}

int Adapter::port() const { return d->boundPort.load(); }

std::chrono::steady_clock::time_point Adapter::origin() const { return d->state.origin; }

bool Adapter::running() const { return d->boundPort.load() != 0; }

void Adapter::stop() {
    if (!d->server) return;
    {
        std::lock_guard lock(d->state.mutex);
        d->state.stopping = true;
    }
    d->state.wake.notify_all();
    d->connections.closeAll();
    d->server->stop();
    if (d->listener.joinable()) d->listener.join();
    d->server.reset();
    d->boundPort = 0;
}

std::vector<RequestRecord> Adapter::requests() const { return d->state.requests.records(); }

void Adapter::clearRequests() { d->state.requests.clear(); }

Options Adapter::options() const {
    std::lock_guard lock(d->state.mutex);
    return d->state.options;
}

bool Adapter::setOptions(Options options) {
    const std::string logFile = options.logFile;
    {
        std::lock_guard lock(d->state.mutex);
        d->state.apply(std::move(options));
    }
    return !d->state.requests.open(logFile);
}

void Adapter::addFault(FaultRule rule) {
    rule.address = upper(rule.address);
    std::lock_guard lock(d->state.mutex);
    d->state.options.faults.push_back(std::move(rule));
}

void Adapter::clearFaults() {
    std::lock_guard lock(d->state.mutex);
    d->state.options.faults.clear();
    d->state.faults.restart();
}

void Adapter::setRequestDelayMs(int ms) {
    std::lock_guard lock(d->state.mutex);
    d->state.options.requestDelayMs = ms;
}

void Adapter::setConversionMs(int ms) {
    std::lock_guard lock(d->state.mutex);
    d->state.options.conversionMs = ms;
    d->state.bus.settings().conversionMs = ms;
}

void Adapter::setDisconnected(const std::string& sensorId, bool disconnected) {
    const std::string id = upper(sensorId);
    std::lock_guard lock(d->state.mutex);
    auto& list = d->state.options.disconnected;
    list.erase(std::remove(list.begin(), list.end(), id), list.end());
    if (disconnected) list.push_back(id);
    d->state.bus.setDisconnected(id, disconnected);
}

void Adapter::setTemperature(const std::string& sensorId, std::optional<double> celsius) {
    const std::string id = upper(sensorId);
    std::lock_guard lock(d->state.mutex);
    if (celsius) {
        d->state.options.temperatureC[id] = *celsius;
        d->state.bus.settings().temperatureC[id] = *celsius;
    } else {
        d->state.options.temperatureC.erase(id);
        d->state.bus.settings().temperatureC.erase(id);
    }
}

void Adapter::setRates(double crcError, double shortReply, double longReply) {
    std::lock_guard lock(d->state.mutex);
    d->state.options.crcErrorRate = crcError;
    d->state.options.shortReplyRate = shortReply;
    d->state.options.longReplyRate = longReply;
}

void Adapter::setLowerCaseHex(bool on) {
    std::lock_guard lock(d->state.mutex);
    d->state.options.lowerCaseHex = on;
}

void Adapter::releaseStalls() { d->state.releaseStalls(); }

int Adapter::stalledPages() const {
    std::lock_guard lock(d->state.mutex);
    return d->state.stalled;
}

}  // namespace tarnwick::sim
