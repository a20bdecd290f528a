// A loopback server that takes TCP connections, keeps every byte it is sent
// and never answers: a broker that has stopped answering, or a port that is
// not a broker at all.
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace tarnwick::test {

class SilentServer {
  public:
    SilentServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            ::listen(listener_, 8) == 0 &&
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~SilentServer() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(stop_, &one, sizeof one);
        thread_.join();
        for (const int s : clients_) ::close(s);
        ::close(listener_);
        ::close(stop_);
    }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    // 0 when it could not listen.
    int port() const { return port_; }
    int accepted() const { return accepted_.load(); }
    QByteArray received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }

  private:
    void serve() {
        for (;;) {
            std::vector<pollfd> fds = {{stop_, POLLIN, 0}, {listener_, POLLIN, 0}};
            for (const int s : clients_) fds.push_back({s, POLLIN, 0});
            ::poll(fds.data(), fds.size(), -1);
            if (fds[0].revents) return;
            if (fds[1].revents & POLLIN) {
                const int s = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                if (s >= 0) {
                    clients_.push_back(s);
                    ++accepted_;
                }
            }
            for (std::size_t i = 2; i < fds.size(); ++i) {
                if (!fds[i].revents) continue;
                char buffer[4096];
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n > 0) {
                    std::lock_guard lock(mutex_);
                    received_.append(buffer, n);
                } else {
                    ::close(fds[i].fd);
                    std::erase(clients_, fds[i].fd);
                }
            }
        }
    }

    int listener_ = -1;
    const int stop_ = eventfd(0, EFD_CLOEXEC);
    int port_ = 0;
    std::atomic<int> accepted_{0};
    std::vector<int> clients_;  // the serving thread's
    mutable std::mutex mutex_;
    QByteArray received_;
    std::thread thread_;
};

}  // namespace tarnwick::test
