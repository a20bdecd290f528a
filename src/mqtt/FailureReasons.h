// The words the publisher tells a failure to connect or a lost connection
// with: short, lower case, the same for the same cause whichever way the
// library reports it ("connection refused", "host not found", "TLS failure:
// certificate verify failed", "no answer from the broker").
#pragma once

#include <QString>

namespace tarnwick {

// How far an attempt to connect got, in order: the name being looked up, the
// TCP connection being made, the TLS handshake, the broker's CONNACK awaited.
enum class ConnectStage { Lookup, Tcp, Tls, Mqtt };

// A socket's error (errno or SO_ERROR).
QString errnoReason(int error);
// The CONNACK return codes of MQTT 3.1.1.
QString connackReason(int code);
// getaddrinfo's error code.
QString lookupReason(int eaiCode);
// A TLS failure, with OpenSSL's own words taken from the library's last
// error line ("OpenSSL Error[0]: error:0A000086:SSL routines::certificate
// verify failed") when there is one.
QString tlsReason(const QString& libraryError);
// An attempt given up at the connect timeout, by the stage it had reached.
QString stalledReason(ConnectStage stage);

}  // namespace tarnwick
