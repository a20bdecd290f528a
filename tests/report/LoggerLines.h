// Log lines as the logger writes them, for the report's tests.
#pragma once

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QStringList>

#include "RecordFormat.h"
#include "Timestamp.h"

namespace tarnwick::test {

// A record of 2026-12-07 07:00:00 plus `second` seconds, written under en_US,
// with twelve words "9001" (25 C).
inline QByteArray recordAt(int second) {
    QStringList words;
    for (int i = 0; i < 12; ++i) words << QStringLiteral("9001");
    const QDateTime t(QDate(2026, 12, 7), QTime(7, 0, 0).addSecs(second));
    return formatRecord(generalDateTime(t, QLocale("en_US")), words);
}

// A record of `words` at `time`, written under en_US.
inline QByteArray recordAt(const QDateTime& time, const QStringList& words) {
    return formatRecord(generalDateTime(time, QLocale("en_US")), words);
}

inline void append(const QString& path, const QByteArray& data) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    ASSERT_EQ(file.write(data), data.size());
}

}  // namespace tarnwick::test
