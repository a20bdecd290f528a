// The HTTP endpoint that serves the run's figures at /metrics in Prometheus'
// text exposition format (prometheus-cpp's Exposer: civetweb's own threads,
// which read a snapshot of RunMetrics; the cycle's thread never waits for a
// scrape).
#pragma once

#include <QString>
#include <memory>

#include "MetricsAddress.h"
#include "RunMetrics.h"

namespace tarnwick {

class MetricsEndpoint;

struct MetricsEndpointStart {
    std::unique_ptr<MetricsEndpoint> endpoint;  // null when it could not listen
    QString error;                              // why not, naming the address
};

class MetricsEndpoint {
  public:
    // Listens at `address` and serves `metrics`, which must outlive the
    // endpoint; or says why it cannot listen there.
    static MetricsEndpointStart start(const MetricsAddress& address, const RunMetrics& metrics);
    ~MetricsEndpoint();
    MetricsEndpoint(const MetricsEndpoint&) = delete;
    MetricsEndpoint& operator=(const MetricsEndpoint&) = delete;

    const MetricsAddress& address() const { return address_; }

  private:
    struct Server;
    MetricsEndpoint(MetricsAddress address, std::unique_ptr<Server> server);

    MetricsAddress address_;
    std::unique_ptr<Server> server_;
};

}  // namespace tarnwick
