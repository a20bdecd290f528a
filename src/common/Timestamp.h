#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace tarnwick {

// The locale's short date format with every year field widened to four digits
// ("M/d/yy" becomes "M/d/yyyy").
QString generalDateFormat(const QLocale& locale);

// The locale's time format with seconds and without a time zone: the long time
// format with its zone field and the separator or brackets around it removed
// ("h:mm:ss AP t" becomes "h:mm:ss AP", "H:mm:ss (t)" becomes "H:mm:ss").
QString generalTimeFormat(const QLocale& locale);

// The local date and time as the locale writes a general date: the short date
// with a four-digit year, a blank, and the time with seconds. At exactly
// midnight (00:00:00, milliseconds ignored) the date alone.
// Example: en_US, 7 Dec 2026 07:12:49 -> "12/7/2026 7:12:49 AM".
QString generalDateTime(const QDateTime& localTime, const QLocale& locale);

}  // namespace tarnwick
