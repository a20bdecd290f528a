#include "MetricsAddress.h"

#include <arpa/inet.h>

#include <QRegularExpression>

namespace tarnwick {

namespace {

bool isNumericAddress(const QString& host, bool ipv6) {
    const QByteArray bytes = host.toLatin1();
    unsigned char address[16];
    return inet_pton(ipv6 ? AF_INET6 : AF_INET, bytes.constData(), address) == 1;
}

}  // namespace

QString MetricsAddress::hostAndPort() const {
    return (isIpv6() ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2")).arg(host).arg(port);
}

QString MetricsAddress::url() const {
    return QStringLiteral("http://%1/metrics").arg(hostAndPort());
}

std::optional<MetricsAddress> parseMetricsAddress(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral("^(?:(?:\\[([0-9A-Fa-f:.]+)\\]|([0-9.]+)):)?([0-9]{1,5})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) return std::nullopt;
    MetricsAddress address;
    address.port = match.captured(3).toInt();
    if (address.port < 1 || address.port > 65535) return std::nullopt;
    const QString ipv6 = match.captured(1);
    const QString ipv4 = match.captured(2);
    if (!ipv6.isEmpty()) {
        if (!isNumericAddress(ipv6, true)) return std::nullopt;
        address.host = ipv6;
    } else if (!ipv4.isEmpty()) {
        if (!isNumericAddress(ipv4, false)) return std::nullopt;
        address.host = ipv4;
    }
    return address;
}

}  // namespace tarnwick
