// A real Mosquitto broker for the tests, started on a free loopback port with
// a configuration of its own (never the system's broker), and a subscriber
// that records everything it publishes.
#pragma once

#include <mosquitto.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <mutex>
#include <vector>

// Skips a test on a machine without the broker.
#define REQUIRE_MOSQUITTO()       \
    if (!TestBroker::available()) \
    GTEST_SKIP() << "mosquitto is not installed (scripts/install-deps.sh installs it)"

namespace tarnwick::test {

// Calls QCoreApplication::processEvents until `done` or `ms` have passed.
inline bool waitUntil(const std::function<bool()>& done, int ms = 5'000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

inline QString findProgram(const QString& name) {
    return QStandardPaths::findExecutable(
        name, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin"), QStringLiteral("/sbin")});
}

// A loopback port that nothing listens on now.
inline int freeLoopbackPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(s, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(s);
    return ntohs(address.sin_port);
}

inline bool run(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    return p.waitForFinished(30'000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

class TestBroker {
  public:
    struct Login {
        QString username;
        QString password;
    };

    TestBroker() = default;
    ~TestBroker() { stop(); }

    static bool available() { return !findProgram(QStringLiteral("mosquitto")).isEmpty(); }
    QString folder() const { return dir_.path(); }

    // Logins are checked against a password file made with mosquitto_passwd.
    bool requireLogin(const Login& login) {
        passwordFile_ = dir_.filePath(QStringLiteral("passwords"));
        return run(findProgram(QStringLiteral("mosquitto_passwd")),
                   {"-b", "-c", passwordFile_, login.username, login.password});
    }

    // A throw-away CA and a server certificate for localhost and 127.0.0.1;
    // returns the CA's certificate file.
    QString useTls() {
        const QString openssl = findProgram(QStringLiteral("openssl"));
        const QString ext = dir_.filePath(QStringLiteral("san.ext"));
        QFile f(ext);
        if (!f.open(QIODevice::WriteOnly)) return {};
        f.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n");
        f.close();
        const QString d = dir_.path() + QLatin1Char('/');
        const QStringList ec = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                "-nodes"};
        if (!run(openssl, QStringList{"req", "-x509"} + ec +
                              QStringList{"-keyout", d + "ca.key", "-out", d + "ca.crt", "-days",
                                          "2", "-subj", "/CN=Tarnwick test CA"}) ||
            !run(openssl, QStringList{"req"} + ec +
                              QStringList{"-keyout", d + "server.key", "-out", d + "server.csr",
                                          "-subj", "/CN=localhost"}) ||
            !run(openssl, {"x509", "-req", "-in", d + "server.csr", "-CA", d + "ca.crt", "-CAkey",
                           d + "ca.key", "-CAcreateserial", "-out", d + "server.crt", "-days", "2",
                           "-extfile", ext}))
            return {};
        tls_ = true;
        return d + "ca.crt";
    }

    // Starts the broker on `port`, or on a free one when 0, and waits until
    // it takes connections.
    bool start(int port = 0) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            port_ = port ? port : freeLoopbackPort();
            if (launch()) return true;
            if (port) QThread::msleep(200);
        }
        return false;
    }
    void stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(5'000)) process_.kill();
        process_.waitForFinished(5'000);
    }
    int port() const { return port_; }
    // The name the certificate is made out to, with TLS.
    QString host() const {
        return tls_ ? QStringLiteral("localhost") : QStringLiteral("127.0.0.1");
    }
    QString url() const {
        return QStringLiteral("%1://%2:%3").arg(tls_ ? "mqtts" : "mqtt", host()).arg(port_);
    }
    QByteArray log() { return log_ += process_.readAllStandardError(); }

  private:
    bool launch() {
        const QString config = dir_.filePath(QStringLiteral("mosquitto.conf"));
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly)) return false;
        const passwd* me = getpwuid(geteuid());
        const QString d = dir_.path() + QLatin1Char('/');
        QString text = QStringLiteral(
                           "user %1\npersistence false\nlog_dest stderr\n"
                           "listener %2 127.0.0.1\n")
                           .arg(QString::fromLocal8Bit(me->pw_name))
                           .arg(port_);
        text +=
            passwordFile_.isEmpty()
                ? QStringLiteral("allow_anonymous true\n")
                : QStringLiteral("allow_anonymous false\npassword_file %1\n").arg(passwordFile_);
        if (tls_)
            text += QStringLiteral("cafile %1ca.crt\ncertfile %1server.crt\nkeyfile %1server.key\n")
                        .arg(d);
        f.write(text.toUtf8());
        f.close();
        process_.start(findProgram(QStringLiteral("mosquitto")), {"-c", config});
        if (!process_.waitForStarted(5'000)) return false;
        // It listens once a connection to its port goes through.
        return waitUntil(
                   [this] {
                       if (process_.state() == QProcess::NotRunning) return true;
                       const int s = ::socket(AF_INET, SOCK_STREAM, 0);
                       sockaddr_in a{};
                       a.sin_family = AF_INET;
                       a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                       a.sin_port = htons(static_cast<quint16>(port_));
                       const bool up = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
                       ::close(s);
                       return up;
                   },
                   5'000) &&
               process_.state() == QProcess::Running;
    }

    QTemporaryDir dir_;
    QProcess process_;
    QString passwordFile_;
    bool tls_ = false;
    int port_ = 0;
    QByteArray log_;
};

// Subscribes to everything on a broker and keeps what arrives.
class TestSubscriber {
  public:
    struct Message {
        QByteArray topic;
        QByteArray payload;
        bool retained = false;
    };

    TestSubscriber() {
        mosquitto_lib_init();
        mosq_ = mosquitto_new(nullptr, true, this);
        mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void*, int rc) {
            if (rc == 0) mosquitto_subscribe(m, nullptr, "#", 1);
        });
        mosquitto_subscribe_callback_set(mosq_, [](mosquitto*, void* self, int, int, const int*) {
            static_cast<TestSubscriber*>(self)->subscribed_ = true;
        });
        mosquitto_message_callback_set(
            mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
                auto* me = static_cast<TestSubscriber*>(self);
                std::lock_guard lock(me->mutex_);
                me->messages_.push_back(
                    {QByteArray(m->topic),
                     QByteArray(static_cast<const char*>(m->payload), m->payloadlen), m->retain});
            });
    }
    ~TestSubscriber() {
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, false);
        mosquitto_destroy(mosq_);
    }

    bool connect(const TestBroker& broker, const TestBroker::Login& login = {},
                 const QString& caFile = {}) {
        if (!login.username.isEmpty())
            mosquitto_username_pw_set(mosq_, login.username.toUtf8().constData(),
                                      login.password.toUtf8().constData());
        if (!caFile.isEmpty())
            mosquitto_tls_set(mosq_, caFile.toLocal8Bit().constData(), nullptr, nullptr, nullptr,
                              nullptr);
        mosquitto_reconnect_delay_set(mosq_, 1, 1, false);
        if (mosquitto_connect(mosq_, broker.host().toUtf8().constData(), broker.port(), 30) !=
            MOSQ_ERR_SUCCESS)
            return false;
        mosquitto_loop_start(mosq_);
        return waitUntil([this] { return subscribed_.load(); });
    }

    std::vector<Message> messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        messages_.clear();
    }
    // The payloads that arrived on `topic`, in order.
    QList<QByteArray> on(const QByteArray& topic) const {
        QList<QByteArray> found;
        for (const Message& m : messages())
            if (m.topic == topic) found.push_back(m.payload);
        return found;
    }
    bool waitFor(const QByteArray& topic, const QByteArray& payload = {}, int ms = 5'000) const {
        return waitUntil(
            [&] {
                const QList<QByteArray> got = on(topic);
                return payload.isEmpty() ? !got.isEmpty() : got.contains(payload);
            },
            ms);
    }

  private:
    mosquitto* mosq_ = nullptr;
    std::atomic<bool> subscribed_{false};
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
};

}  // namespace tarnwick::test
