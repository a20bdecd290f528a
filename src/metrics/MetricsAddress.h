// Where the metrics endpoint listens: [ADDRESS:]PORT, an IPv4 address or an
// IPv6 one in brackets ([::1]:9101), 127.0.0.1 when none is given. Only
// numeric addresses: nothing is looked up.
#pragma once

#include <QString>
#include <optional>

namespace tarnwick {

struct MetricsAddress {
    QString host = QStringLiteral("127.0.0.1");  // IPv6 without its brackets
    int port = 0;

    bool isIpv6() const { return host.contains(QLatin1Char(':')); }
    // "127.0.0.1:9101" or "[::1]:9101".
    QString hostAndPort() const;
    // "http://127.0.0.1:9101/metrics".
    QString url() const;
    bool operator==(const MetricsAddress&) const = default;
};

// nullopt unless `text` is PORT (1-65535), IPV4:PORT or [IPV6]:PORT.
std::optional<MetricsAddress> parseMetricsAddress(const QString& text);

}  // namespace tarnwick
