// The TLS context the publisher hands libmosquitto, configured here whole. The
// publisher connects to one numeric address at a time, so libmosquitto would
// check the broker's certificate against that address and send it as the
// server name; this context makes OpenSSL check the certificate against the
// broker's own name (or address, when the broker was given by address) and
// send that name in the ClientHello (SNI; none for an address).
//
// libmosquitto's own defaults are not applied to it: its certificate check
// looks its connection up through an ex-data index that 2.0.11 creates only
// when it builds a context of its own, so on a context of ours it would refuse
// every certificate until some other connection in the process had made one.
#pragma once

#include <openssl/ssl.h>

#include <QString>
#include <memory>

namespace tarnwick {

// The system's CA store: the brokers it vouches for need no CA file.
inline constexpr char kSystemCaFolder[] = "/etc/ssl/certs";

struct SslContextFree {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
using SslContext = std::unique_ptr<SSL_CTX, SslContextFree>;

// A client context (TLS 1.2 at least) that verifies the peer's certificate
// against `caFile` (PEM), or the system's CA store when empty, and for `host`;
// null when the CAs cannot be loaded or OpenSSL would not take the name.
SslContext makeBrokerTlsContext(const QString& host, const QString& caFile);

}  // namespace tarnwick
