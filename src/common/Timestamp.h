#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// The locale's short date format with every year field widened to four digits
// ("M/d/yy" becomes "M/d/yyyy").
QString generalDateFormat(const QLocale& locale);

// The locale's time format with seconds and without a time zone: the long time
// format with its zone field and the separator or brackets around it removed
// ("h:mm:ss AP t" becomes "h:mm:ss AP", "H:mm:ss (t)" becomes "H:mm:ss").
QString generalTimeFormat(const QLocale& locale);

// The locale's short time format without seconds: hours and minutes
// ("HH:mm:ss" becomes "HH:mm", "h:mm AP" stays as it is).
QString hoursMinutesFormat(const QLocale& locale);

// The local date and time as the locale writes a general date: the short date
// with a four-digit year, a blank, and the time with seconds. At exactly
// midnight (00:00:00, milliseconds ignored) the date alone.
// Example: en_US, 7 Dec 2026 07:12:49 -> "12/7/2026 7:12:49 AM".
QString generalDateTime(const QDateTime& localTime, const QLocale& locale);

// A local wall-clock time to the second, counted in seconds from 1970-01-01
// 00:00:00 as if every day had 86400 seconds. The log holds local time without
// a zone, so this is the form in which its times are compared and bucketed.
using WallSeconds = std::int64_t;

inline constexpr WallSeconds kSecondsPerDay = 86400;

WallSeconds toWallSeconds(const QDate& date, const QTime& time);
WallSeconds toWallSeconds(const QDateTime& localTime);
QDateTime fromWallSeconds(WallSeconds seconds);

// Reads what generalDateTime writes under the same locale: the locale's
// date and time fields in its own digits, day-period and month names, and
// the date alone for midnight. Holds the compiled formats and remembers the
// last date it read, so that a run of lines from one day parses the date
// once. One parser per reader thread.
class GeneralDateTimeParser {
  public:
    explicit GeneralDateTimeParser(const QLocale& locale);
    ~GeneralDateTimeParser();
    GeneralDateTimeParser(const GeneralDateTimeParser&) = delete;
    GeneralDateTimeParser& operator=(const GeneralDateTimeParser&) = delete;

    // The UTF-8 text of a whole timestamp (nothing before or after it).
    std::optional<WallSeconds> parseUtf8(std::string_view text);
    std::optional<QDateTime> parse(QStringView text);

    struct Token;

  private:
    std::vector<Token> date_;
    std::vector<Token> time_;
    char32_t zeroDigit_;
    std::string cachedDate_;
    WallSeconds cachedDay_ = 0;
};

}  // namespace tarnwick
