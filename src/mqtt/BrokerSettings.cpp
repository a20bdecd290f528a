#include "BrokerSettings.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace tarnwick {

namespace {

// Reads "username=" and "password=" from `path` into `settings`.
std::optional<QString> readCredentials(const QString& path, BrokerSettings& settings) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read the credentials file %1: %2")
            .arg(path, file.errorString());
    // Anyone who can read it can log in as the logger.
    if (file.permissions() & QFileDevice::ReadOther)
        return QStringLiteral(
                   "the credentials file %1 is readable by every user; "
                   "make it private first (chmod o-r %1)")
            .arg(path);
    int lineNumber = 0;
    bool sawPassword = false;
    while (!file.atEnd()) {
        ++lineNumber;
        QString line = QString::fromUtf8(file.readLine());
        while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r'))) line.chop(1);
        if (line.trimmed().isEmpty() || line.trimmed().startsWith(QLatin1Char('#'))) continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        const QString key = line.left(equals).trimmed();
        // The value is taken as it stands: a password may begin or end with a space.
        const QString value = line.mid(equals + 1);
        if (equals > 0 && key == QLatin1String("username")) {
            settings.username = value.trimmed();
        } else if (equals > 0 && key == QLatin1String("password")) {
            settings.password = value;
            sawPassword = true;
        } else {
            return QStringLiteral("%1:%2: expected username=NAME or password=SECRET")
                .arg(path)
                .arg(lineNumber);
        }
    }
    if (settings.username.isEmpty()) return QStringLiteral("%1: no username= line").arg(path);
    if (!sawPassword) return QStringLiteral("%1: no password= line").arg(path);
    return std::nullopt;
}

}  // namespace

QString BrokerSettings::describe() const {
    const QString shownHost =
        host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return QStringLiteral("%1://%2:%3")
        .arg(tls ? QStringLiteral("mqtts") : QStringLiteral("mqtt"), shownHost)
        .arg(port);
}

std::optional<QString> parseBrokerUrl(const QString& url, BrokerSettings& settings) {
    static const QRegularExpression pattern(QStringLiteral(
        "^(mqtts?)://"
        "(\\[[0-9A-Fa-f:.]+\\]|[A-Za-z0-9](?:[A-Za-z0-9.-]*[A-Za-z0-9])?)(?::([0-9]{1,5}))?/?$"));
    const QRegularExpressionMatch match = pattern.match(url);
    if (!match.hasMatch()) {
        if (url.contains(QLatin1Char('@')))
            return QStringLiteral(
                "a user name or password in the broker URL would show in the "
                "process list; give them in a file with --mqtt-credentials");
        return QStringLiteral("expected mqtt://HOST[:PORT] or mqtts://HOST[:PORT]");
    }
    settings.tls = match.captured(1) == QLatin1String("mqtts");
    settings.host = match.captured(2);
    if (settings.host.startsWith(QLatin1Char('[')))
        settings.host = settings.host.mid(1, settings.host.size() - 2);
    settings.port = settings.tls ? kMqttsPort : kMqttPort;
    if (match.hasCaptured(3) && !match.captured(3).isEmpty()) {
        settings.port = match.captured(3).toInt();
        if (settings.port < 1 || settings.port > 65535)
            return QStringLiteral("the port must be 1 to 65535");
    }
    return std::nullopt;
}

bool isTopicPrefix(const QString& prefix) {
    if (prefix.isEmpty() || prefix.contains(QLatin1Char('+')) || prefix.contains(QLatin1Char('#')))
        return false;
    for (const QString& level : prefix.split(QLatin1Char('/')))
        if (level.isEmpty()) return false;
    return true;
}

BrokerSetup readBrokerSettings(const BrokerOptions& options) {
    BrokerSetup setup;
    if (options.url.isEmpty()) {
        if (!options.caFile.isEmpty() || !options.credentialsFile.isEmpty() ||
            !options.prefix.isEmpty() || options.discovery || options.expireAfterSeconds > 0)
            setup.error = QStringLiteral("the --mqtt-* options need a broker: --mqtt URL or %1")
                              .arg(QLatin1String(kMqttVariable));
        return setup;
    }
    BrokerSettings settings;
    if (const std::optional<QString> refused = parseBrokerUrl(options.url, settings)) {
        setup.error = QStringLiteral("invalid broker URL \"%1\" from %2: %3")
                          .arg(options.url, options.source, *refused);
        return setup;
    }
    if (!options.prefix.isEmpty()) settings.prefix = options.prefix;
    if (!isTopicPrefix(settings.prefix)) {
        setup.error = QStringLiteral("invalid topic prefix \"%1\": no '+', '#' or empty level")
                          .arg(settings.prefix);
        return setup;
    }
    if (!options.caFile.isEmpty()) {
        if (!settings.tls) {
            setup.error = QStringLiteral("--mqtt-ca needs an mqtts:// broker");
            return setup;
        }
        QFile ca(options.caFile);
        if (!ca.open(QIODevice::ReadOnly)) {
            setup.error = QStringLiteral("cannot read the CA file %1: %2")
                              .arg(options.caFile, ca.errorString());
            return setup;
        }
        settings.caFile = QFileInfo(options.caFile).absoluteFilePath();
    }
    if (!options.credentialsFile.isEmpty()) {
        if (const std::optional<QString> refused =
                readCredentials(options.credentialsFile, settings)) {
            setup.error = *refused;
            return setup;
        }
    }
    settings.discovery = options.discovery;
    settings.expireAfterSeconds = options.expireAfterSeconds;
    setup.settings = std::move(settings);
    return setup;
}

}  // namespace tarnwick
