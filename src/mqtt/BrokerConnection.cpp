#include "BrokerConnection.h"

#include <mosquitto.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "BrokerTlsContext.h"
#include "FailureReasons.h"

namespace tarnwick {

namespace {

constexpr qint64 kStopWaitMs = 2'000;
// How often the network thread looks at the keep-alive while connected.
constexpr int kTickMs = 1'000;

void initialiseLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

// The socket's pending error (SO_ERROR); 0 when none.
int socketError(int sock) {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
    return error;
}

}  // namespace

// The network thread's wake-up: an eventfd that a look-up finishing after the
// publisher has gone may still write to, so shared with the look-up.
struct BrokerConnection::WakeUp {
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
struct BrokerConnection::LookupBox {
    std::mutex mutex;
    std::optional<HostResolver::Answer> answer;
};

BrokerConnection::BrokerConnection(BrokerSettings settings, ReadingTopics topics,
                                   const QByteArray& clientId, const Clock& clock,
                                   std::unique_ptr<HostResolver> resolver, Tell tell)
    : settings_(std::move(settings)),
      topics_(std::move(topics)),
      clock_(clock),
      resolver_(std::move(resolver)),
      wakeUp_(std::make_shared<WakeUp>()),
      state_(clock,
             {.firstRetryMs = settings_.firstRetryMs,
              .maxRetryMs = settings_.maxRetryMs,
              .connectTimeoutMs = settings_.connectTimeoutMs},
             std::move(tell)) {
    initialiseLibrary();
    mosq_ = mosquitto_new(clientId.constData(), true, this);
    mosquitto_connect_callback_set(mosq_, [](mosquitto*, void* self, int rc) {
        static_cast<BrokerConnection*>(self)->connack_ = rc;
    });
    mosquitto_disconnect_callback_set(mosq_, [](mosquitto*, void* self, int) {
        static_cast<BrokerConnection*>(self)->disconnectErrno_ = errno;
    });
    mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
        // Only what the broker kept; a live message says nothing about
        // an earlier run.
        if (!m->retain || m->payloadlen <= 0) return;
        static_cast<BrokerConnection*>(self)->collect(
            {.topic = QByteArray(m->topic),
             .payload = QByteArray(static_cast<const char*>(m->payload), m->payloadlen)});
    });
    mosquitto_log_callback_set(mosq_, [](mosquitto*, void* self, int level, const char* text) {
        if (level == MOSQ_LOG_ERR)
            static_cast<BrokerConnection*>(self)->lastLibraryError_ = QString::fromUtf8(text);
    });
    const MqttMessage will = topics_.status(kOffline);
    mosquitto_will_set(mosq_, will.topic.constData(), static_cast<int>(will.payload.size()),
                       will.payload.constData(), will.qos, will.retain);
    if (!settings_.username.isEmpty()) {
        mosquitto_username_pw_set(mosq_, settings_.username.toUtf8().constData(),
                                  settings_.password.toUtf8().constData());
    }
    if (settings_.tls) {
        // The broker's certificate is verified, its name included: against
        // the name it was given by, though the library is handed addresses.
        if (const SslContext context = makeBrokerTlsContext(settings_.host, settings_.caFile);
            !context ||
            mosquitto_void_option(mosq_, MOSQ_OPT_SSL_CTX, context.get()) != MOSQ_ERR_SUCCESS ||
            mosquitto_int_option(mosq_, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0) != MOSQ_ERR_SUCCESS) {
            // The library's own context then, which tells why the CAs did not
            // load; its own check of the name is against the address and
            // refuses a broker given by name.
            const QByteArray caFile = settings_.caFile.toLocal8Bit();
            mosquitto_tls_set(mosq_, caFile.isEmpty() ? nullptr : caFile.constData(),
                              caFile.isEmpty() ? kSystemCaFolder : nullptr, nullptr, nullptr,
                              nullptr);
        }
    }
    thread_ = std::thread([this] { run(); });
}

BrokerConnection::~BrokerConnection() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wakeUp_->wake();
    thread_.join();
    mosquitto_destroy(mosq_);
}

QString BrokerConnection::reasonOf(int rc) const {
    switch (rc) {
        case MOSQ_ERR_ERRNO:
            return errnoReason(disconnectErrno_ ? disconnectErrno_ : errno);
        case MOSQ_ERR_CONN_LOST:
            return QStringLiteral("connection closed by the broker");
        case MOSQ_ERR_EAI:
            return QStringLiteral("host not found");
        case MOSQ_ERR_KEEPALIVE:
            return QStringLiteral("no answer within the keep-alive");
        case MOSQ_ERR_CONN_REFUSED:
            return connackReason(connack_);
        case MOSQ_ERR_TLS:
        case MOSQ_ERR_TLS_HANDSHAKE:
            return tlsReason(lastLibraryError_);
        default:
            return QString::fromUtf8(mosquitto_strerror(rc));
    }
}

bool BrokerConnection::publishNow(const MqttMessage& m) {
    const int rc =
        mosquitto_publish(mosq_, nullptr, m.topic.constData(), static_cast<int>(m.payload.size()),
                          m.payload.constData(), m.qos, m.retain);
    if (rc != MOSQ_ERR_SUCCESS) return false;
    sent_.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void BrokerConnection::connected() {
    state_.connected();
    sweepUntilMs_.reset();
    swept_.clear();
    publishNow(topics_.status(kOnline));
    std::vector<MqttMessage> current;
    {
        std::lock_guard lock(mutex_);
        current = configs_;
        current.insert(current.end(), kept_.begin(), kept_.end());
        configsChanged_ = false;
        keptChanged_.clear();
        sweepDue_ = true;
    }
    // A broker that has lost its retained messages gets them again, and one
    // that holds an earlier run's alarm learns where it stands now.
    for (const MqttMessage& message : current) publishNow(message);
}

void BrokerConnection::startSweep() {
    QByteArrayList topics;
    qint64 windowMs = 0;
    {
        std::lock_guard lock(mutex_);
        sweepDue_ = false;
        if (!sweep_) return;
        topics = sweep_->topics;
        windowMs = sweep_->windowMs;
    }
    swept_.clear();
    for (const QByteArray& topic : topics)
        mosquitto_subscribe(mosq_, nullptr, topic.constData(), 0);
    sweepUntilMs_ = clock_.monotonicMs() + windowMs;
}

void BrokerConnection::collect(const MqttMessage& retained) {
    if (!sweepUntilMs_) return;
    const auto same = std::find_if(swept_.begin(), swept_.end(),
                                   [&](const MqttMessage& m) { return m.topic == retained.topic; });
    if (same != swept_.end())
        *same = retained;
    else
        swept_.push_back(retained);
}

// The sweep's time is up: what it found stale is cleared. A config moved to
// another topic is sent again after the old one is gone, since Home Assistant
// ignores a second config of the same entity while the first stands.
void BrokerConnection::endSweep() {
    sweepUntilMs_.reset();
    std::optional<Sweep> sweep;
    {
        std::lock_guard lock(mutex_);
        sweep = sweep_;
    }
    if (!sweep) return;
    for (const QByteArray& topic : sweep->topics)
        mosquitto_unsubscribe(mosq_, nullptr, topic.constData());
    bool cleared = false;
    for (const MqttMessage& retained : std::exchange(swept_, {})) {
        if (!sweep->stale(retained)) continue;
        if (publishNow({.topic = retained.topic, .payload = {}, .retain = true, .qos = 1})) {
            cleared_.fetch_add(1, std::memory_order_relaxed);
            cleared = true;
        }
    }
    if (cleared) {
        std::lock_guard lock(mutex_);
        configsChanged_ = !configs_.empty();
    }
}

// Hands the broker what waits, one message at a time while the connection
// takes them without waiting: whatever the socket does not take stays in
// PendingMessages, where a newer reading replaces it.
void BrokerConnection::flush() {
    if (sweepUntilMs_ && clock_.monotonicMs() >= *sweepUntilMs_) endSweep();
    std::vector<MqttMessage> changed;
    bool sweepDue = false;
    {
        std::lock_guard lock(mutex_);
        if (configsChanged_) changed = configs_;
        configsChanged_ = false;
        changed.insert(changed.end(), std::make_move_iterator(keptChanged_.begin()),
                       std::make_move_iterator(keptChanged_.end()));
        keptChanged_.clear();
        sweepDue = sweepDue_;
    }
    for (const MqttMessage& message : changed) publishNow(message);
    if (sweepDue) startSweep();
    while (!mosquitto_want_write(mosq_)) {
        std::optional<MqttMessage> next;
        {
            std::lock_guard lock(mutex_);
            next = pending_.take();
        }
        if (!next) return;
        if (!publishNow(*next)) {
            std::lock_guard lock(mutex_);
            pending_.put(std::move(*next));
            return;
        }
    }
}

void BrokerConnection::startLookup() {
    state_.lookupStarted();
    auto box = std::make_shared<LookupBox>();
    lookup_ = box;
    resolver_->lookUp(settings_.host, [box, waker = wakeUp_](HostResolver::Answer answer) {
        {
            std::lock_guard lock(box->mutex);
            box->answer = std::move(answer);
        }
        waker->wake();
    });
}

std::optional<HostResolver::Answer> BrokerConnection::takeAnswer() {
    std::lock_guard lock(lookup_->mutex);
    return std::exchange(lookup_->answer, std::nullopt);
}

void BrokerConnection::startAttempt(const QByteArray& address) {
    connack_ = -1;
    disconnectErrno_ = 0;
    lastLibraryError_.clear();
    errno = 0;
    // Closes the socket of the attempt before, if any.
    const int rc = mosquitto_connect_async(mosq_, address.constData(), settings_.port,
                                           settings_.keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) state_.attemptFailed(reasonOf(rc));
}

// The library has no call that closes a socket that never got its CONNACK;
// shut down, it is closed by the next attempt or at the end.
void BrokerConnection::abandonAttempt() {
    if (const int sock = mosquitto_socket(mosq_); sock >= 0) ::shutdown(sock, SHUT_RDWR);
}

// Moves the connection on as far as it goes without waiting: a due round
// looks the name up, an answer starts the first address, a failed address
// the next, a deadline passed gives the attempt up.
void BrokerConnection::advance() {
    for (;;) {
        switch (state_.phase()) {
            case ConnectionState::Phase::Waiting:
                if (!state_.roundDue()) return;
                startLookup();
                continue;
            case ConnectionState::Phase::LookingUp:
                if (std::optional<HostResolver::Answer> answer = takeAnswer()) {
                    lookup_.reset();
                    if (answer->failure)
                        state_.lookupFailed(*answer->failure);
                    else
                        state_.lookedUp(std::move(answer->addresses));
                    continue;
                }
                if (!state_.pastDeadline()) return;
                lookup_.reset();
                state_.giveUp();
                continue;
            case ConnectionState::Phase::Trying:
                startAttempt(state_.startAttempt());
                continue;
            case ConnectionState::Phase::Connecting:
                if (!state_.pastDeadline()) return;
                abandonAttempt();
                state_.giveUp();
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
bool BrokerConnection::serviceConnecting(short revents, bool wantedWrite) {
    const int sock = mosquitto_socket(mosq_);
    if (revents & (POLLOUT | POLLERR | POLLHUP)) {
        if (const int error = socketError(sock)) {
            abandonAttempt();
            state_.attemptFailed(errnoReason(error));
            return false;
        }
        if (state_.stage() == ConnectStage::Tcp && (revents & POLLOUT))
            state_.reached(settings_.tls ? ConnectStage::Tls : ConnectStage::Mqtt);
    }
    if (state_.stage() == ConnectStage::Tls) {
        // The library goes on with the handshake when asked to read.
        auto* ssl = static_cast<SSL*>(mosquitto_ssl_get(mosq_));
        if (ssl && !SSL_is_init_finished(ssl) && revents) {
            if (const int rc = mosquitto_loop_read(mosq_, 1); rc != MOSQ_ERR_SUCCESS) {
                state_.attemptFailed(reasonOf(rc));
                return false;
            }
            // The library takes the end of the stream in the handshake for
            // "try again"; it is the broker closing the connection.
            char byte = 0;
            if (!SSL_is_init_finished(ssl) && (revents & (POLLIN | POLLHUP)) &&
                ::recv(sock, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0) {
                abandonAttempt();
                state_.attemptFailed(errnoReason(ECONNRESET));
                return false;
            }
        }
        if (ssl && !SSL_is_init_finished(ssl)) return true;
        state_.reached(ConnectStage::Mqtt);
    }
    if (state_.stage() != ConnectStage::Mqtt) return true;
    if (const int rc = serviceSocket(revents, wantedWrite); rc != MOSQ_ERR_SUCCESS) {
        state_.attemptFailed(reasonOf(rc));
        return false;
    }
    if (connack_ == 0) connected();
    return true;
}

// What the socket is ready for, handed to the library; returns its result.
int BrokerConnection::serviceSocket(short revents, bool wantedWrite) {
    int rc = MOSQ_ERR_SUCCESS;
    if (revents & (POLLIN | POLLERR | POLLHUP)) rc = mosquitto_loop_read(mosq_, 1);
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(mosq_) >= 0 && wantedWrite &&
        (revents & POLLOUT))
        rc = mosquitto_loop_write(mosq_, 1);
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(mosq_) >= 0) rc = mosquitto_loop_misc(mosq_);
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(mosq_) < 0) rc = MOSQ_ERR_CONN_LOST;
    return rc;
}

void BrokerConnection::run() {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) break;
        }
        advance();
        const ConnectionState::Phase phase = state_.phase();
        const bool onSocket = phase == ConnectionState::Phase::Connecting ||
                              phase == ConnectionState::Phase::Connected;
        const int sock = onSocket ? mosquitto_socket(mosq_) : -1;
        // While TCP connects, writable means connected (or failed); during
        // the handshake, only what OpenSSL waits for counts.
        bool wantedWrite = mosquitto_want_write(mosq_);
        if (phase == ConnectionState::Phase::Connecting) {
            if (state_.stage() == ConnectStage::Tcp) {
                wantedWrite = true;
            } else if (state_.stage() == ConnectStage::Tls) {
                const auto* ssl = static_cast<SSL*>(mosquitto_ssl_get(mosq_));
                wantedWrite = ssl && SSL_want_write(ssl);
            }
        }
        pollfd fds[2] = {{wakeUp_->fd, POLLIN, 0},
                         {sock, static_cast<short>(POLLIN | (wantedWrite ? POLLOUT : 0)), 0}};
        qint64 due = state_.msUntilDue();
        if (sweepUntilMs_ && phase == ConnectionState::Phase::Connected) {
            const qint64 sweepDue = std::max<qint64>(0, *sweepUntilMs_ - clock_.monotonicMs());
            due = due < 0 ? sweepDue : std::min(due, sweepDue);
        }
        const int timeout = static_cast<int>(due < 0 ? kTickMs : std::min<qint64>(due, kTickMs));
        ::poll(fds, sock >= 0 ? 2 : 1, timeout);
        if (fds[0].revents & POLLIN) wakeUp_->drain();
        if (sock < 0) continue;
        const short revents = fds[1].revents;
        if (phase == ConnectionState::Phase::Connecting) {
            serviceConnecting(revents, wantedWrite);
        } else if (const int rc = serviceSocket(revents, wantedWrite); rc != MOSQ_ERR_SUCCESS) {
            state_.lost(reasonOf(rc));
            continue;
        }
        if (state_.phase() == ConnectionState::Phase::Connected) flush();
    }
    stopConnection();
}

// The clean end: what waits, then "offline", then the disconnect, within
// kStopWaitMs; the broker publishes the will itself when that fails.
void BrokerConnection::stopConnection() {
    if (state_.phase() != ConnectionState::Phase::Connected) return;
    const qint64 deadline = clock_.monotonicMs() + kStopWaitMs;
    flush();
    publishNow(topics_.status(kOffline));
    mosquitto_disconnect(mosq_);
    while (mosquitto_socket(mosq_) >= 0 && clock_.monotonicMs() < deadline) {
        pollfd fd{mosquitto_socket(mosq_),
                  static_cast<short>(POLLIN | (mosquitto_want_write(mosq_) ? POLLOUT : 0)), 0};
        ::poll(&fd, 1, 100);
        int rc = MOSQ_ERR_SUCCESS;
        if (fd.revents & (POLLIN | POLLERR | POLLHUP)) rc = mosquitto_loop_read(mosq_, 1);
        if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(mosq_) >= 0 && (fd.revents & POLLOUT))
            rc = mosquitto_loop_write(mosq_, 1);
        // Once the disconnect is written, the library closes the socket.
        if (rc != MOSQ_ERR_SUCCESS) break;
    }
}

void BrokerConnection::send(std::vector<MqttMessage> states, std::vector<MqttMessage> configs) {
    {
        std::lock_guard lock(mutex_);
        for (MqttMessage& state : states) pending_.put(std::move(state));
        if (!configs.empty()) {
            configs_ = std::move(configs);
            configsChanged_ = true;
        }
    }
    wakeUp_->wake();
}

void BrokerConnection::keep(std::vector<MqttMessage> messages) {
    {
        std::lock_guard lock(mutex_);
        for (MqttMessage& message : messages) {
            const auto same = std::find_if(kept_.begin(), kept_.end(), [&](const MqttMessage& m) {
                return m.topic == message.topic;
            });
            if (same != kept_.end())
                *same = message;
            else
                kept_.push_back(message);
            if (keptChanged_.size() == kKeptChanges) keptChanged_.pop_front();
            keptChanged_.push_back(std::move(message));
        }
    }
    wakeUp_->wake();
}

void BrokerConnection::setSweep(Sweep sweep) {
    {
        std::lock_guard lock(mutex_);
        sweep_ = std::move(sweep);
        sweepDue_ = true;
    }
    wakeUp_->wake();
}

BrokerConnection::Counts BrokerConnection::counts() const {
    std::lock_guard lock(mutex_);
    return {.sent = sent_.load(std::memory_order_relaxed),
            .dropped = pending_.dropped(),
            .waiting = pending_.size(),
            .cleared = cleared_.load(std::memory_order_relaxed)};
}

}  // namespace tarnwick
