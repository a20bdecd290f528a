// Any sensor and lock identifiers in the page addresses: what goes on the
// wire is always a valid http URL for the adapter's host, with nothing in it
// that could split the request line or cut the query.
#include <QByteArray>
#include <QString>
#include <QUrl>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "PageUrl.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The input is "sensor identifier NUL lock identifier".
    const QByteArray in(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype cut = in.indexOf('\0');
    const QString id = QString::fromUtf8(cut < 0 ? in : in.left(cut));
    const QString lock = cut < 0 ? QString() : QString::fromUtf8(in.mid(cut + 1));
    const QString address = QStringLiteral("127.0.0.1:8642");

    const QString urls[] = {
        tarnwick::lockPageUrl(address),
        tarnwick::conversionPageUrl(address, id, lock),
        tarnwick::readPageUrl(address, id, lock),
        tarnwick::releasePageUrl(address, lock),
    };
    for (const QString& url : urls) {
        const QUrl wire = tarnwick::toRequestUrl(url);
        if (!wire.isValid() || wire.scheme() != QLatin1String("http") ||
            wire.host() != QLatin1String("127.0.0.1") || wire.port() != 8642)
            std::abort();
        const QByteArray encoded = wire.toEncoded();
        if (!encoded.startsWith("http://127.0.0.1:8642/1Wire/")) std::abort();
        for (const char c : encoded) {
            const auto u = static_cast<unsigned char>(c);
            if (u <= 0x20 || u >= 0x7F || c == '#') std::abort();
        }
    }
    return 0;
}
