// The adapter's page addresses. Identifiers and lock identifiers go into the
// address text exactly as they are; toRequestUrl() turns that text into what
// goes on the wire without letting odd characters break the request.
#pragma once

#include <QString>
#include <QUrl>

namespace tarnwick {

QString lockPageUrl(const QString& address);
QString conversionPageUrl(const QString& address, const QString& sensorId, const QString& lockId);
QString readPageUrl(const QString& address, const QString& sensorId, const QString& lockId);
QString releasePageUrl(const QString& address, const QString& lockId);

// Percent-encodes, as a browser does, every character that may not stand in
// a URL (controls, CR, LF, blanks, '#', quotes, angle brackets, non-ASCII, a
// '%' that does not start an escape) and leaves the rest untouched, so a lock
// identifier such as "12 3\r\nX: y#z" reaches the adapter as one query value
// instead of splitting the request line or being cut at the '#'.
QUrl toRequestUrl(const QString& verbatim);

}  // namespace tarnwick
