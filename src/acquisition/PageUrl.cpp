#include "PageUrl.h"

#include "HexDigit.h"

namespace tarnwick {

namespace {
const QString kHttp = QStringLiteral("http://");

bool mustEscape(unsigned char c) {
    if (c <= 0x20 || c >= 0x7F) return true;
    switch (c) {
        case '"':
        case '#':
        case '<':
        case '>':
        case '\\':
        case '^':
        case '`':
        case '{':
        case '|':
        case '}':
        case '[':
        case ']':
            return true;
        default:
            return false;
    }
}
}  // namespace

QString lockPageUrl(const QString& address) {
    return kHttp + address + QStringLiteral("/1Wire/GetLock.html");
}

QString conversionPageUrl(const QString& address, const QString& sensorId, const QString& lockId) {
    return kHttp + address + QStringLiteral("/1Wire/WriteBlock.html?Data=44&Address=") + sensorId +
           QStringLiteral("&LockID=") + lockId;
}

QString readPageUrl(const QString& address, const QString& sensorId, const QString& lockId) {
    return kHttp + address +
           QStringLiteral("/1Wire/WriteBlock.html?Data=BEFFFFFFFFFFFFFFFFFF&Address=") + sensorId +
           QStringLiteral("&LockID=") + lockId;
}

QString releasePageUrl(const QString& address, const QString& lockId) {
    return kHttp + address + QStringLiteral("/1Wire/ReleaseLock.html?LockID=") + lockId;
}

QUrl toRequestUrl(const QString& verbatim) {
    static const char kDigits[] = "0123456789ABCDEF";
    const QByteArray in = verbatim.toUtf8();
    QByteArray out;
    out.reserve(in.size() + 16);
    for (qsizetype i = 0; i < in.size(); ++i) {
        const auto c = static_cast<unsigned char>(in[i]);
        const bool strayPercent =
            c == '%' && !(i + 2 < in.size() && isHexDigit(static_cast<unsigned char>(in[i + 1])) &&
                          isHexDigit(static_cast<unsigned char>(in[i + 2])));
        if (mustEscape(c) || strayPercent) {
            out += '%';
            out += kDigits[c >> 4];
            out += kDigits[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
    return QUrl::fromEncoded(out, QUrl::StrictMode);
}

}  // namespace tarnwick
