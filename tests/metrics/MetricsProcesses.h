// What the metrics tests share: a free loopback port, a plain HTTP GET on
// loopback, and promtool's verdict on a scrape.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <optional>
#include <string>

namespace tarnwick::test {

// A port that nothing listens on right now.
inline int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// The body of http://127.0.0.1:port/path, or nullopt unless it answers 200.
inline std::optional<std::string> httpGet(int port, const std::string& path) {
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(2);
    client.set_read_timeout(5);
    const httplib::Result result = client.Get(path);
    if (!result || result->status != 200) return std::nullopt;
    return result->body;
}

// promtool's findings on a scrape: empty when it finds nothing wrong.
struct Verdict {
    int exitCode = -1;
    QString output;
};
inline Verdict promtoolCheck(const std::string& scrape) {
    QProcess promtool;
    promtool.setProcessChannelMode(QProcess::MergedChannels);
    promtool.start(QStringLiteral("promtool"),
                   {QStringLiteral("check"), QStringLiteral("metrics")});
    if (!promtool.waitForStarted(10000)) return {};
    promtool.write(scrape.data(), static_cast<qint64>(scrape.size()));
    promtool.closeWriteChannel();
    promtool.waitForFinished(30000);
    return {promtool.exitCode(), QString::fromLocal8Bit(promtool.readAll())};
}

inline bool installed(const char* program) {
    return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
}

}  // namespace tarnwick::test
