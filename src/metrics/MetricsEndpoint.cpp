#include "MetricsEndpoint.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <prometheus/collectable.h>
#include <prometheus/exposer.h>
#include <prometheus/metric_family.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "MetricsExposition.h"

namespace tarnwick {

namespace {

// The scrape's view of the figures: a snapshot per scrape.
class SnapshotCollector : public prometheus::Collectable {
  public:
    explicit SnapshotCollector(const RunMetrics& metrics) : metrics_(metrics) {}
    std::vector<prometheus::MetricFamily> Collect() const override {
        return metricFamilies(metrics_.snapshot());
    }

  private:
    const RunMetrics& metrics_;
};

// civetweb says only that it could not start; binding a socket of our own the
// same way tells why (the address in use, not one of this machine's, a port
// that needs privileges).
QString bindFailure(const MetricsAddress& address) {
    const QByteArray host = address.host.toLatin1();
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (address.isIpv6()) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(static_cast<uint16_t>(address.port));
        inet_pton(AF_INET6, host.constData(), &in6->sin6_addr);
        length = sizeof *in6;
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(static_cast<uint16_t>(address.port));
        inet_pton(AF_INET, host.constData(), &in4->sin_addr);
        length = sizeof *in4;
    }
    const int fd = socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return QString::fromLocal8Bit(std::strerror(errno));
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    QString reason;
    if (bind(fd, reinterpret_cast<const sockaddr*>(&storage), length) != 0 || listen(fd, 1) != 0)
        reason = QString::fromLocal8Bit(std::strerror(errno));
    close(fd);
    return reason;
}

}  // namespace

struct MetricsEndpoint::Server {
    // Declared first, so that the server's threads stop before it goes.
    std::shared_ptr<SnapshotCollector> collector;
    std::unique_ptr<prometheus::Exposer> exposer;
};

MetricsEndpointStart MetricsEndpoint::start(const MetricsAddress& address,
                                            const RunMetrics& metrics) {
    auto server = std::make_unique<Server>();
    server->collector = std::make_shared<SnapshotCollector>(metrics);
    try {
        // Two threads: one client that stalls leaves the other to Prometheus;
        // a request that has not arrived whole within 10 s is dropped.
        server->exposer = std::make_unique<prometheus::Exposer>(
            std::vector<std::string>{"listening_ports", address.hostAndPort().toStdString(),
                                     "num_threads", "2", "request_timeout_ms", "10000"});
    } catch (const std::exception& error) {
        QString reason = bindFailure(address);
        if (reason.isEmpty()) reason = QString::fromLocal8Bit(error.what());
        return {
            nullptr,
            QStringLiteral("cannot serve metrics at %1: %2").arg(address.hostAndPort(), reason)};
    }
    server->exposer->RegisterCollectable(server->collector);
    return {std::unique_ptr<MetricsEndpoint>(new MetricsEndpoint(address, std::move(server))), {}};
}

MetricsEndpoint::MetricsEndpoint(MetricsAddress address, std::unique_ptr<Server> server)
    : address_(std::move(address)), server_(std::move(server)) {}

MetricsEndpoint::~MetricsEndpoint() = default;

}  // namespace tarnwick
