#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tarnwick {

// One log record, ready to be written: the timestamp, ", ", the words joined by
// " , ", and CR LF; UTF-8 encoded. No blank padding and no quoting.
// Example: ("12/7/2026 7:12:49 AM", {"0191", "018F"}) ->
// "12/7/2026 7:12:49 AM, 0191 , 018F\r\n".
QByteArray formatRecord(const QString& timestamp, const QStringList& words);

}  // namespace tarnwick
