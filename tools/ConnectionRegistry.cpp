#include "ConnectionRegistry.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <list>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace tarnwick::sim {

namespace {

using Peer = std::pair<std::string, int>;
using AddressOf = int (*)(int, sockaddr*, socklen_t*);

// Address and port at one end of a socket; nullopt unless it is IPv4 or IPv6.
std::optional<Peer> endpoint(int fd, AddressOf addressOf) {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (addressOf(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) return std::nullopt;
    char text[INET6_ADDRSTRLEN] = {};
    if (storage.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&storage);
        ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        return Peer{text, ntohs(in->sin_port)};
    }
    if (storage.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&storage);
        ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
        return Peer{text, ntohs(in6->sin6_port)};
    }
    return std::nullopt;
}

// This process's sockets whose local end is `port` and that have a peer (the
// listening socket has none), with their peers, leaving out the descriptors
// in `skip`.
std::vector<std::pair<int, Peer>> connectedTo(int port, const std::map<int, Peer>& skip) {
    std::vector<std::pair<int, Peer>> found;
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) return found;
    const int own = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        char* end = nullptr;
        const long number = std::strtol(entry->d_name, &end, 10);
        const int fd = static_cast<int>(number);
        if (end == entry->d_name || *end != '\0' || fd == own || skip.count(fd)) continue;
        // Anything but a socket fails here at once.
        const auto local = endpoint(fd, ::getsockname);
        if (!local || local->second != port) continue;
        if (const auto peer = endpoint(fd, ::getpeername)) found.emplace_back(fd, *peer);
    }
    ::closedir(dir);
    return found;
}

// One thread per admitted connection. Made by the server on its accepting
// thread, where it blocks SIGPIPE: the connection threads inherit the mask, so
// that writing to a client that has gone fails with EPIPE (the library sends
// without MSG_NOSIGNAL) instead of ending the process.
class ConnectionThreads : public httplib::TaskQueue {
  public:
    explicit ConnectionThreads(ConnectionRegistry& registry) : registry_(registry) {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    }

    void enqueue(std::function<void()> fn) override {
        reap();
        const ConnectionRegistry::Admission admission = registry_.admit();
        if (!admission.serve) return;
        auto done = std::make_shared<std::atomic<bool>>(false);
        auto run = [fn = std::move(fn), done, handle = admission.handle, &registry = registry_] {
            fn();
            registry.release(handle);
            done->store(true);
        };
        try {
            threads_.push_back({std::thread(run), done});
        } catch (const std::system_error&) {
            run();  // no thread to spare: serve it on the accepting thread
        }
    }

    void shutdown() override {
        for (auto& entry : threads_) entry.thread.join();
        threads_.clear();
    }

  private:
    struct Entry {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void reap() {
        for (auto it = threads_.begin(); it != threads_.end();) {
            if (it->done->load()) {
                it->thread.join();
                it = threads_.erase(it);
            } else {
                ++it;
            }
        }
    }

    ConnectionRegistry& registry_;
    std::list<Entry> threads_;
};

}  // namespace

void ConnectionRegistry::open(int port, std::function<std::size_t()> limit) {
    std::lock_guard lock(mutex_);
    port_ = port;
    limit_ = std::move(limit);
    refusing_ = false;
}

void ConnectionRegistry::closeAll() {
    std::lock_guard lock(mutex_);
    refusing_ = true;
    for (const auto& entry : handles_) ::shutdown(entry.first, SHUT_RDWR);
}

ConnectionRegistry::Admission ConnectionRegistry::admit() {
    std::lock_guard lock(mutex_);
    // The socket just accepted: connected to the adapter's port, and not one
    // already registered (whose duplicates share its peer).
    int fd = -1;
    Peer peer;
    int candidates = 0;
    for (auto& [candidate, candidatePeer] : connectedTo(port_, handles_)) {
        const bool known = std::any_of(handles_.begin(), handles_.end(), [&](const auto& entry) {
            return entry.second == candidatePeer;
        });
        if (known) continue;
        ++candidates;
        fd = candidate;
        peer = candidatePeer;
    }
    // Not found for certain (or no descriptor left to duplicate it): served,
    // but stop() can only wait for it to end by itself.
    if (candidates != 1) return {};
    if (refusing_ || (limit_ && handles_.size() >= limit_())) {
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
        return {false, -1};
    }
    const int handle = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (handle < 0) return {};
    handles_.emplace(handle, peer);
    return {true, handle};
}

void ConnectionRegistry::release(int handle) {
    if (handle < 0) return;
    std::lock_guard lock(mutex_);
    handles_.erase(handle);
    ::close(handle);
}

std::function<httplib::TaskQueue*()> ConnectionRegistry::taskQueueFactory() {
    return [this] { return new ConnectionThreads(*this); };
}

}  // namespace tarnwick::sim
