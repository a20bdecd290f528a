#include "FailureReasons.h"

#include <netdb.h>

#include <cerrno>
#include <cstring>

namespace tarnwick {

namespace {

QString lowerFirst(QString text) {
    if (!text.isEmpty()) text[0] = text[0].toLower();
    return text;
}

}  // namespace

QString errnoReason(int error) {
    switch (error) {
        case ECONNREFUSED:
            return QStringLiteral("connection refused");
        case ECONNRESET:
        case EPIPE:
            return QStringLiteral("connection closed by the broker");
        case ETIMEDOUT:
            return QStringLiteral("timed out");
        default:
            return lowerFirst(QString::fromLocal8Bit(std::strerror(error)));
    }
}

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

QString lookupReason(int eaiCode) {
    switch (eaiCode) {
        case EAI_NONAME:
        case EAI_NODATA:
        case EAI_ADDRFAMILY:
            return QStringLiteral("host not found");
        case EAI_AGAIN:
            return QStringLiteral("host not found (no answer from the name server)");
        case EAI_SYSTEM:
            return QStringLiteral("host not found: ") + errnoReason(errno);
        default:
            return QStringLiteral("host not found: ") +
                   lowerFirst(QString::fromLocal8Bit(gai_strerror(eaiCode)));
    }
}

QString tlsReason(const QString& libraryError) {
    const QString detail = libraryError.section(QLatin1Char(':'), -1).trimmed();
    return detail.isEmpty() ? QStringLiteral("TLS failure")
                            : QStringLiteral("TLS failure: ") + detail;
}

QString stalledReason(ConnectStage stage) {
    switch (stage) {
        case ConnectStage::Lookup:
            return QStringLiteral("host not found (the look-up timed out)");
        case ConnectStage::Tcp:
            return QStringLiteral("timed out");
        case ConnectStage::Tls:
            return QStringLiteral("TLS handshake not finished");
        case ConnectStage::Mqtt:
            break;
    }
    return QStringLiteral("no answer from the broker");
}

}  // namespace tarnwick
