#include "MqttPublisher.h"

#include <mosquitto.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>
#include <vector>

#include "BrokerTlsContext.h"
#include "ConnectionState.h"
#include "FailureReasons.h"
#include "GetaddrinfoResolver.h"
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

// The network thread's wake-up: an eventfd that a look-up finishing after the
// publisher has gone may still write to, so shared with the look-up.
struct WakeUp {
    WakeUp() : fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~WakeUp() { ::close(fd); }
    WakeUp(const WakeUp&) = delete;
    WakeUp& operator=(const WakeUp&) = delete;
    void wake() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
    }
    void drain() const {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(fd, &count, sizeof count);
    }
    const int fd;
};

// Where a look-up leaves its answer.
struct LookupBox {
    std::mutex mutex;
    std::optional<HostResolver::Answer> answer;
};

// The socket's pending error (SO_ERROR); 0 when none.
int socketError(int sock) {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
    return error;
}

}  // namespace

struct MqttPublisher::Network {
    Network(BrokerSettings s, const QString& adapterAddress, const Clock& steady,
            std::unique_ptr<HostResolver> resolver,
            std::function<void(const std::optional<QString>&)> tell);
    ~Network();

    void wake() const { wakeUp->wake(); }
    void run();

    // Network thread only.
    void advance();
    void startLookup();
    std::optional<HostResolver::Answer> takeAnswer();
    void startAttempt(const QByteArray& address);
    void abandonAttempt();
    bool serviceConnecting(short revents, bool wantedWrite);
    int serviceSocket(short revents, bool wantedWrite);
    void connected();
    void flush();
    bool publishNow(const MqttMessage& message);
    QString reasonOf(int rc) const;
    void stopConnection();

    const BrokerSettings settings;
    const ReadingTopics topics;
    const Clock& clock;
    const std::unique_ptr<HostResolver> resolver;
    const std::shared_ptr<WakeUp> wakeUp = std::make_shared<WakeUp>();
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
    ConnectionState state;
    std::shared_ptr<LookupBox> lookup;
    int connack = -1;
    int disconnectErrno = 0;
    QString lastLibraryError;
};

MqttPublisher::Network::Network(BrokerSettings s, const QString& adapterAddress,
                                const Clock& steady, std::unique_ptr<HostResolver> hostResolver,
                                std::function<void(const std::optional<QString>&)> tell)
    : settings(std::move(s)),
      topics(settings.prefix, adapterAddress, settings.discoveryPrefix),
      clock(steady),
      resolver(std::move(hostResolver)),
      state(steady,
            {.firstRetryMs = settings.firstRetryMs,
             .maxRetryMs = settings.maxRetryMs,
             .connectTimeoutMs = settings.connectTimeoutMs},
            std::move(tell)) {
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
        // The broker's certificate is verified, its name included: against
        // the name it was given by, though the library is handed addresses.
        if (const SslContext context = makeBrokerTlsContext(settings.host, settings.caFile);
            !context ||
            mosquitto_void_option(mosq, MOSQ_OPT_SSL_CTX, context.get()) != MOSQ_ERR_SUCCESS ||
            mosquitto_int_option(mosq, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0) != MOSQ_ERR_SUCCESS) {
            // The library's own context then, which tells why the CAs did not
            // load; its own check of the name is against the address and
            // refuses a broker given by name.
            const QByteArray caFile = settings.caFile.toLocal8Bit();
            mosquitto_tls_set(mosq, caFile.isEmpty() ? nullptr : caFile.constData(),
                              caFile.isEmpty() ? kSystemCaFolder : nullptr, nullptr, nullptr,
                              nullptr);
        }
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
        case MOSQ_ERR_TLS_HANDSHAKE:
            return tlsReason(lastLibraryError);
        default:
            return QString::fromUtf8(mosquitto_strerror(rc));
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
    state.connected();
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

void MqttPublisher::Network::startLookup() {
    state.lookupStarted();
    auto box = std::make_shared<LookupBox>();
    lookup = box;
    resolver->lookUp(settings.host, [box, waker = wakeUp](HostResolver::Answer answer) {
        {
            std::lock_guard lock(box->mutex);
            box->answer = std::move(answer);
        }
        waker->wake();
    });
}

std::optional<HostResolver::Answer> MqttPublisher::Network::takeAnswer() {
    std::lock_guard lock(lookup->mutex);
    return std::exchange(lookup->answer, std::nullopt);
}

void MqttPublisher::Network::startAttempt(const QByteArray& address) {
    connack = -1;
    disconnectErrno = 0;
    lastLibraryError.clear();
    errno = 0;
    // Closes the socket of the attempt before, if any.
    const int rc = mosquitto_connect_async(mosq, address.constData(), settings.port,
                                           settings.keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) state.attemptFailed(reasonOf(rc));
}

// The library has no call that closes a socket that never got its CONNACK;
// shut down, it is closed by the next attempt or at the end.
void MqttPublisher::Network::abandonAttempt() {
    if (const int sock = mosquitto_socket(mosq); sock >= 0) ::shutdown(sock, SHUT_RDWR);
}

// Moves the connection on as far as it goes without waiting: a due round
// looks the name up, an answer starts the first address, a failed address
// the next, a deadline passed gives the attempt up.
void MqttPublisher::Network::advance() {
    for (;;) {
        switch (state.phase()) {
            case ConnectionState::Phase::Waiting:
                if (!state.roundDue()) return;
                startLookup();
                continue;
            case ConnectionState::Phase::LookingUp:
                if (std::optional<HostResolver::Answer> answer = takeAnswer()) {
                    lookup.reset();
                    if (answer->failure)
                        state.lookupFailed(*answer->failure);
                    else
                        state.lookedUp(std::move(answer->addresses));
                    continue;
                }
                if (!state.pastDeadline()) return;
                lookup.reset();
                state.giveUp();
                continue;
            case ConnectionState::Phase::Trying:
                startAttempt(state.startAttempt());
                continue;
            case ConnectionState::Phase::Connecting:
                if (!state.pastDeadline()) return;
                abandonAttempt();
                state.giveUp();
                continue;
            case ConnectionState::Phase::Connected:
                return;
        }
    }
}

// An attempt under way: a socket error is that address's failure at once
// (libmosquitto itself sees a refused connection late or, during the TLS
// handshake, never); the TCP connection, the handshake and the CONNACK move
// the attempt's stage on. Returns false when the attempt has failed.
bool MqttPublisher::Network::serviceConnecting(short revents, bool wantedWrite) {
    const int sock = mosquitto_socket(mosq);
    if (revents & (POLLOUT | POLLERR | POLLHUP)) {
        if (const int error = socketError(sock)) {
            abandonAttempt();
            state.attemptFailed(errnoReason(error));
            return false;
        }
        if (state.stage() == ConnectStage::Tcp && (revents & POLLOUT))
            state.reached(settings.tls ? ConnectStage::Tls : ConnectStage::Mqtt);
    }
    if (state.stage() == ConnectStage::Tls) {
        // The library goes on with the handshake when asked to read.
        auto* ssl = static_cast<SSL*>(mosquitto_ssl_get(mosq));
        if (ssl && !SSL_is_init_finished(ssl) && revents) {
            if (const int rc = mosquitto_loop_read(mosq, 1); rc != MOSQ_ERR_SUCCESS) {
                state.attemptFailed(reasonOf(rc));
                return false;
            }
            // The library takes the end of the stream in the handshake for
            // "try again"; it is the broker closing the connection.
            char byte = 0;
            if (!SSL_is_init_finished(ssl) && (revents & (POLLIN | POLLHUP)) &&
                ::recv(sock, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0) {
                abandonAttempt();
                state.attemptFailed(errnoReason(ECONNRESET));
                return false;
            }
        }
        if (ssl && !SSL_is_init_finished(ssl)) return true;
        state.reached(ConnectStage::Mqtt);
    }
    if (state.stage() != ConnectStage::Mqtt) return true;
    if (const int rc = serviceSocket(revents, wantedWrite); rc != MOSQ_ERR_SUCCESS) {
        state.attemptFailed(reasonOf(rc));
        return false;
    }
    if (connack == 0) connected();
    return true;
}

// What the socket is ready for, handed to the library; returns its result.
int MqttPublisher::Network::serviceSocket(short revents, bool wantedWrite) {
    int rc = MOSQ_ERR_SUCCESS;
    if (revents & (POLLIN | POLLERR | POLLHUP)) rc = mosquitto_loop_read(mosq, 1);
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(mosq) >= 0 && wantedWrite && (revents & POLLOUT))
        rc = mosquitto_loop_write(mosq, 1);
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(mosq) >= 0) rc = mosquitto_loop_misc(mosq);
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(mosq) < 0) rc = MOSQ_ERR_CONN_LOST;
    return rc;
}

void MqttPublisher::Network::run() {
    for (;;) {
        {
            std::lock_guard lock(mutex);
            if (stopping) break;
        }
        advance();
        const ConnectionState::Phase phase = state.phase();
        const bool onSocket = phase == ConnectionState::Phase::Connecting ||
                              phase == ConnectionState::Phase::Connected;
        const int sock = onSocket ? mosquitto_socket(mosq) : -1;
        // While TCP connects, writable means connected (or failed); during
        // the handshake, only what OpenSSL waits for counts.
        bool wantedWrite = mosquitto_want_write(mosq);
        if (phase == ConnectionState::Phase::Connecting) {
            if (state.stage() == ConnectStage::Tcp) {
                wantedWrite = true;
            } else if (state.stage() == ConnectStage::Tls) {
                const auto* ssl = static_cast<SSL*>(mosquitto_ssl_get(mosq));
                wantedWrite = ssl && SSL_want_write(ssl);
            }
        }
        pollfd fds[2] = {{wakeUp->fd, POLLIN, 0},
                         {sock, static_cast<short>(POLLIN | (wantedWrite ? POLLOUT : 0)), 0}};
        const qint64 due = state.msUntilDue();
        const int timeout = static_cast<int>(due < 0 ? kTickMs : std::min<qint64>(due, kTickMs));
        ::poll(fds, sock >= 0 ? 2 : 1, timeout);
        if (fds[0].revents & POLLIN) wakeUp->drain();
        if (sock < 0) continue;
        const short revents = fds[1].revents;
        if (phase == ConnectionState::Phase::Connecting) {
            serviceConnecting(revents, wantedWrite);
        } else if (const int rc = serviceSocket(revents, wantedWrite); rc != MOSQ_ERR_SUCCESS) {
            state.lost(reasonOf(rc));
            continue;
        }
        if (state.phase() == ConnectionState::Phase::Connected) flush();
    }
    stopConnection();
}

// The clean end: what waits, then "offline", then the disconnect, within
// kStopWaitMs; the broker publishes the will itself when that fails.
void MqttPublisher::Network::stopConnection() {
    if (state.phase() != ConnectionState::Phase::Connected) return;
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
    : MqttPublisher(std::move(settings), adapterAddress, steady, wall,
                    std::make_unique<GetaddrinfoResolver>()) {}

MqttPublisher::MqttPublisher(BrokerSettings settings, const QString& adapterAddress,
                             const Clock& steady, const WallClock& wall,
                             std::unique_ptr<HostResolver> resolver)
    : wall_(wall) {
    network_ = std::make_unique<Network>(
        std::move(settings), adapterAddress, steady, std::move(resolver),
        [this](const std::optional<QString>& reason) {
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
