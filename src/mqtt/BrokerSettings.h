// Where the readings are published and how: the broker (mqtt:// or mqtts://),
// the CA that vouches for it, the login, the topic prefix and Home Assistant
// discovery, as the command line and the environment give them, read and
// checked before the logger starts.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace tarnwick {

// The environment variable that names the broker when --mqtt does not.
inline constexpr char kMqttVariable[] = "TARNWICK_MQTT";

inline constexpr int kMqttPort = 1883;
inline constexpr int kMqttsPort = 8883;

struct BrokerSettings {
    bool tls = false;
    QString host;  // a name or an address; an IPv6 address without brackets
    int port = kMqttPort;
    // A private CA's certificate (PEM) for mqtts://; empty: the system's CA
    // store (/etc/ssl/certs).
    QString caFile;
    // Empty: no login.
    QString username;
    QString password;
    QString prefix = QStringLiteral("tarnwick");
    bool discovery = false;
    QString discoveryPrefix = QStringLiteral("homeassistant");
    // Home Assistant shows a temperature as unavailable when no reading has
    // come for this long; 0: never (the status topic alone says when).
    int expireAfterSeconds = 0;
    // At each connect, how long the retained messages an earlier run left
    // are collected before the stale ones are cleared.
    qint64 sweepWindowMs = 2'000;
    // The broker takes the logger for gone 1.5 times this long after it last
    // heard from it (killed, unplugged), and publishes its last will then.
    int keepAliveSeconds = 30;
    // A lost or refused connection is tried again after firstRetryMs, twice
    // as long after each further failure, at most maxRetryMs.
    qint64 firstRetryMs = 1'000;
    qint64 maxRetryMs = 60'000;
    // An attempt to connect to one of the broker's addresses that has no
    // CONNACK this long after it started is given up (the name's look-up
    // has as long).
    qint64 connectTimeoutMs = 10'000;

    // "mqtts://broker.lan:8883", for messages (no login).
    QString describe() const;
};

// What the command line and the environment say about publishing.
struct BrokerOptions {
    QString url = {};              // --mqtt, else TARNWICK_MQTT; empty: no publishing
    QString source = {};           // where url came from, for messages
    QString caFile = {};           // --mqtt-ca
    QString credentialsFile = {};  // --mqtt-credentials
    QString prefix = {};           // --mqtt-prefix; empty: the default
    bool discovery = false;        // --mqtt-discovery
    int expireAfterSeconds = 0;    // --mqtt-expire-after
};

struct BrokerSetup {
    // nullopt with an empty error: no broker named.
    std::optional<BrokerSettings> settings;
    QString error;
};

// Checks the URL, the prefix and the CA file, and reads the credentials
// file: "username=NAME" and "password=SECRET" lines ('#' comments and blank
// lines allowed). A credentials file that every user may read is refused.
BrokerSetup readBrokerSettings(const BrokerOptions& options);

// The broker URL: mqtt://HOST[:PORT] or mqtts://HOST[:PORT], HOST a name, an
// IPv4 address or [an IPv6 address]. Fills tls, host and port; returns the
// reason when the URL is refused.
std::optional<QString> parseBrokerUrl(const QString& url, BrokerSettings& settings);

// True for a prefix that topics can start with: not empty, no '+' or '#', no
// empty level (no leading, trailing or doubled '/').
bool isTopicPrefix(const QString& prefix);

}  // namespace tarnwick
