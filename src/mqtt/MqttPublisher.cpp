#include "MqttPublisher.h"

#include <mosquitto.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "PendingMessages.h"
#include "ReadingMessages.h"

namespace tarnwick {

namespace {

constexpr qint64 kStopWaitMs = 2'000;
// How often the network thread looks at the keep-alive while connected.
constexpr int kTickMs = 1'000;

void initialiseLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QString errnoReason(int error) {
    switch (error) {
        case ECONNREFUSED:
            return QStringLiteral("connection refused");
        case ECONNRESET:
        case EPIPE:
            return QStringLiteral("connection closed by the broker");
        case ETIMEDOUT:
            return QStringLiteral("timed out");
        default: {
            QString text = QString::fromLocal8Bit(std::strerror(error));
            if (!text.isEmpty()) text[0] = text[0].toLower();
            return text;
        }
    }
}

// The CONNACK return codes of MQTT 3.1.1.
QString connackReason(int code) {
    switch (code) {
        case 1:
            return QStringLiteral("unacceptable protocol version");
        case 2:
            return QStringLiteral("client identifier rejected");
        case 3:
            return QStringLiteral("broker unavailable");
        case 4:
            return QStringLiteral("bad user name or password");
        case 5:
            return QStringLiteral("not authorised");
        default:
            return QStringLiteral("refused (code %1)").arg(code);
    }
}

}  // namespace

struct MqttPublisher::Network {
    Network(BrokerSettings s, const QString& adapterAddress, const Clock& steady,
            std::function<void(const std::optional<QString>&)> tell);
    ~Network();

    void wake() const;
    void run();

    // Network thread only.
    void connected();
    void flush();
    bool publishNow(const MqttMessage& message);
    void lost(QString reason);
    QString reasonOf(int rc) const;
    void stopConnection();

    const BrokerSettings settings;
    const ReadingTopics topics;
    const Clock& clock;
    const std::function<void(const std::optional<QString>&)> tell;
    const int wakeFd;
    mosquitto* mosq = nullptr;
    std::thread thread;

    mutable std::mutex mutex;
    // Guarded by mutex.
    PendingMessages pending;
    std::vector<MqttMessage> configs;
    bool configsChanged = false;
    bool stopping = false;

    std::atomic<std::uint64_t> sent{0};

    // The cycle's thread only: the sensors the configs were made for.
    QString configKey;

    // The network thread only (libmosquitto's callbacks run in it).
    enum class State { Idle, Connecting, Connected };
    State state = State::Idle;
    int connack = -1;
    int disconnectErrno = 0;
    QString lastLibraryError;
    std::optional<QString> told;
    bool toldOnce = false;
    qint64 retryAtMs = 0;
    qint64 backOffMs = 0;
    qint64 connectingSinceMs = 0;
};

MqttPublisher::Network::Network(BrokerSettings s, const QString& adapterAddress,
                                const Clock& steady,
                                std::function<void(const std::optional<QString>&)> tellIt)
    : settings(std::move(s)),
      topics(settings.prefix, adapterAddress, settings.discoveryPrefix),
      clock(steady),
      tell(std::move(tellIt)),
      wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      backOffMs(settings.firstRetryMs) {
    initialiseLibrary();
    const QByteArray id = QStringLiteral("tarnwick-%1-%2")
                              .arg(adapterTopicName(adapterAddress))
                              .arg(QCoreApplication::applicationPid())
                              .toUtf8();
    mosq = mosquitto_new(id.constData(), true, this);
    mosquitto_connect_callback_set(
        mosq, [](mosquitto*, void* self, int rc) { static_cast<Network*>(self)->connack = rc; });
    mosquitto_disconnect_callback_set(mosq, [](mosquitto*, void* self, int) {
        static_cast<Network*>(self)->disconnectErrno = errno;
    });
    mosquitto_log_callback_set(mosq, [](mosquitto*, void* self, int level, const char* text) {
        if (level == MOSQ_LOG_ERR)
            static_cast<Network*>(self)->lastLibraryError = QString::fromUtf8(text);
    });
    const MqttMessage will = topics.status(kOffline);
    mosquitto_will_set(mosq, will.topic.constData(), static_cast<int>(will.payload.size()),
                       will.payload.constData(), will.qos, will.retain);
    if (!settings.username.isEmpty()) {
        mosquitto_username_pw_set(mosq, settings.username.toUtf8().constData(),
                                  settings.password.toUtf8().constData());
    }
    if (settings.tls) {
        // The broker's certificate is verified, its name included.
        const QByteArray caFile = settings.caFile.toLocal8Bit();
        mosquitto_tls_set(mosq, caFile.isEmpty() ? nullptr : caFile.constData(),
                          caFile.isEmpty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
    }
    thread = std::thread([this] { run(); });
}

MqttPublisher::Network::~Network() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    wake();
    thread.join();
    mosquitto_destroy(mosq);
    ::close(wakeFd);
}

void MqttPublisher::Network::wake() const {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd, &one, sizeof one);
}

QString MqttPublisher::Network::reasonOf(int rc) const {
    switch (rc) {
        case MOSQ_ERR_ERRNO:
            return errnoReason(disconnectErrno ? disconnectErrno : errno);
        case MOSQ_ERR_CONN_LOST:
            return QStringLiteral("connection closed by the broker");
        case MOSQ_ERR_EAI:
            return QStringLiteral("host not found");
        case MOSQ_ERR_KEEPALIVE:
            return QStringLiteral("no answer within the keep-alive");
        case MOSQ_ERR_CONN_REFUSED:
            return connackReason(connack);
        case MOSQ_ERR_TLS:
        case MOSQ_ERR_TLS_HANDSHAKE: {
            // OpenSSL's words come through the library's log: "OpenSSL
            // Error[0]: error:0A000086:SSL routines::certificate verify failed".
            const QString detail = lastLibraryError.section(QLatin1Char(':'), -1).trimmed();
            return detail.isEmpty() ? QStringLiteral("TLS failure")
                                    : QStringLiteral("TLS failure: ") + detail;
        }
        default:
            return QString::fromUtf8(mosquitto_strerror(rc));
    }
}

void MqttPublisher::Network::lost(QString reason) {
    state = State::Idle;
    retryAtMs = clock.monotonicMs() + backOffMs;
    backOffMs = std::min(backOffMs * 2, settings.maxRetryMs);
    if (!toldOnce || told != reason) {
        toldOnce = true;
        told = reason;
        tell(reason);
    }
}

bool MqttPublisher::Network::publishNow(const MqttMessage& m) {
    const int rc =
        mosquitto_publish(mosq, nullptr, m.topic.constData(), static_cast<int>(m.payload.size()),
                          m.payload.constData(), m.qos, m.retain);
    if (rc != MOSQ_ERR_SUCCESS) return false;
    sent.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void MqttPublisher::Network::connected() {
    state = State::Connected;
    backOffMs = settings.firstRetryMs;
    if (!toldOnce || told) {
        toldOnce = true;
        told.reset();
        tell(std::nullopt);
    }
    publishNow(topics.status(kOnline));
    std::vector<MqttMessage> current;
    {
        std::lock_guard lock(mutex);
        current = configs;
        configsChanged = false;
    }
    // A broker that has lost its retained messages gets them again.
    for (const MqttMessage& config : current) publishNow(config);
}

// Hands the broker what waits, one message at a time while the connection
// takes them without waiting: whatever the socket does not take stays in
// PendingMessages, where a newer reading replaces it.
void MqttPublisher::Network::flush() {
    std::vector<MqttMessage> changedConfigs;
    {
        std::lock_guard lock(mutex);
        if (configsChanged) changedConfigs = configs;
        configsChanged = false;
    }
    for (const MqttMessage& config : changedConfigs) publishNow(config);
    while (!mosquitto_want_write(mosq)) {
        std::optional<MqttMessage> next;
        {
            std::lock_guard lock(mutex);
            next = pending.take();
        }
        if (!next) return;
        if (!publishNow(*next)) {
            std::lock_guard lock(mutex);
            pending.put(std::move(*next));
            return;
        }
    }
}

void MqttPublisher::Network::run() {
    bool started = false;
    for (;;) {
        {
            std::lock_guard lock(mutex);
            if (stopping) break;
        }
        qint64 now = clock.monotonicMs();
        if (state == State::Idle && now >= retryAtMs) {
            connack = -1;
            disconnectErrno = 0;
            lastLibraryError.clear();
            errno = 0;
            const int rc = started
                               ? mosquitto_reconnect_async(mosq)
                               : mosquitto_connect_async(mosq, settings.host.toUtf8().constData(),
                                                         settings.port, settings.keepAliveSeconds);
            started = true;
            if (rc == MOSQ_ERR_SUCCESS) {
                state = State::Connecting;
                connectingSinceMs = now;
            } else {
                lost(reasonOf(rc));
            }
        }
        const int sock = state == State::Idle ? -1 : mosquitto_socket(mosq);
        pollfd fds[2] = {
            {wakeFd, POLLIN, 0},
            {sock, static_cast<short>(POLLIN | (mosquitto_want_write(mosq) ? POLLOUT : 0)), 0}};
        const int timeout =
            sock >= 0 ? kTickMs : static_cast<int>(std::clamp<qint64>(retryAtMs - now, 0, kTickMs));
        ::poll(fds, sock >= 0 ? 2 : 1, timeout);
        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(wakeFd, &count, sizeof count);
        }
        if (sock < 0) continue;
        int rc = MOSQ_ERR_SUCCESS;
        if (fds[1].revents & (POLLIN | POLLERR | POLLHUP)) rc = mosquitto_loop_read(mosq, 1);
        if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(mosq) >= 0 && (fds[1].revents & POLLOUT))
            rc = mosquitto_loop_write(mosq, 1);
        if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(mosq) >= 0) rc = mosquitto_loop_misc(mosq);
        now = clock.monotonicMs();
        if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(mosq) < 0) {
            lost(reasonOf(rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_CONN_LOST : rc));
            continue;
        }
        if (state == State::Connecting) {
            if (connack == 0) {
                connected();
            } else if (now - connectingSinceMs > settings.keepAliveSeconds * 1000LL) {
                lost(QStringLiteral("no answer from the broker"));
                continue;
            }
        }
        if (state == State::Connected) flush();
    }
    stopConnection();
}

// The clean end: what waits, then "offline", then the disconnect, within
// kStopWaitMs; the broker publishes the will itself when that fails.
void MqttPublisher::Network::stopConnection() {
    if (state != State::Connected) return;
    const qint64 deadline = clock.monotonicMs() + kStopWaitMs;
    flush();
    publishNow(topics.status(kOffline));
    mosquitto_disconnect(mosq);
    while (mosquitto_socket(mosq) >= 0 && clock.monotonicMs() < deadline) {
        pollfd fd{mosquitto_socket(mosq),
                  static_cast<short>(POLLIN | (mosquitto_want_write(mosq) ? POLLOUT : 0)), 0};
        ::poll(&fd, 1, 100);
        int rc = MOSQ_ERR_SUCCESS;
        if (fd.revents & (POLLIN | POLLERR | POLLHUP)) rc = mosquitto_loop_read(mosq, 1);
        if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(mosq) >= 0 && (fd.revents & POLLOUT))
            rc = mosquitto_loop_write(mosq, 1);
        // Once the disconnect is written, the library closes the socket.
        if (rc != MOSQ_ERR_SUCCESS) break;
    }
}

MqttPublisher::MqttPublisher(BrokerSettings settings, const QString& adapterAddress,
                             const Clock& steady, const WallClock& wall)
    : wall_(wall) {
    network_ = std::make_unique<Network>(
        std::move(settings), adapterAddress, steady, [this](const std::optional<QString>& reason) {
            QMetaObject::invokeMethod(
                this, [this, reason] { tell(reason); }, Qt::QueuedConnection);
        });
}

MqttPublisher::~MqttPublisher() = default;

void MqttPublisher::publish(const SensorRoster& roster, const QStringList& words) {
    const QString time = isoTime(wall_.localNow());
    const std::vector<RosterSensor>& sensors = roster.sensors();
    const std::size_t count = std::min(sensors.size(), static_cast<std::size_t>(words.size()));
    std::vector<MqttMessage> states;
    states.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        states.push_back(
            network_->topics.state(sensors[i], words[static_cast<qsizetype>(i)], time));
    std::vector<MqttMessage> configs;
    if (network_->settings.discovery) {
        QString key;
        for (std::size_t i = 0; i < count; ++i)
            key += sensors[i].rom + QLatin1Char('\t') + sensors[i].name + QLatin1Char('\n');
        if (key != network_->configKey) {
            network_->configKey = key;
            for (std::size_t i = 0; i < count; ++i)
                configs.push_back(network_->topics.discovery(sensors[i]));
        }
    }
    {
        std::lock_guard lock(network_->mutex);
        for (MqttMessage& state : states) network_->pending.put(std::move(state));
        if (!configs.empty()) {
            network_->configs = std::move(configs);
            network_->configsChanged = true;
        }
    }
    network_->wake();
}

void MqttPublisher::setFailureListener(FailureListener listener) {
    listener_ = std::move(listener);
}

void MqttPublisher::tell(const std::optional<QString>& reason) {
    failure_ = reason;
    if (listener_) listener_(reason);
}

MqttPublisher::Counts MqttPublisher::counts() const {
    std::lock_guard lock(network_->mutex);
    return {.sent = network_->sent.load(std::memory_order_relaxed),
            .dropped = network_->pending.dropped(),
            .waiting = network_->pending.size()};
}

QString MqttPublisher::describe() const {
    return QStringLiteral("broker %1, topics %2/ROM/state")
        .arg(network_->settings.describe(), QString::fromUtf8(network_->topics.base()));
}

}  // namespace tarnwick
