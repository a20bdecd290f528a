// Reading the log timestamp back: wall seconds, and the parser of what the
// general date and time formats write.
#include <QTime>
#include <algorithm>
#include <utility>
#include <vector>

#include "FormatPieces.h"
#include "Timestamp.h"

namespace tarnwick {

namespace {

// Julian day of 1970-01-01.
constexpr qint64 kEpochJulianDay = 2440588;

std::string utf8(const QString& text) { return text.toStdString(); }

// The code point at `text[pos]` and its length in bytes; 0 bytes when the
// text is not well-formed UTF-8 there.
std::pair<char32_t, int> decodeUtf8(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) return {lead, 1};
    int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || pos + length > text.size()) return {0, 0};
    char32_t cp = lead & (0x3F >> (length - 1));
    for (int i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) return {0, 0};
        cp = cp << 6 | (byte(pos + i) & 0x3F);
    }
    return {cp, length};
}

}  // namespace

struct GeneralDateTimeParser::Token {
    enum Kind { Number, Names, Literal };
    enum Field { Year, Month, Day, Hour, Hour12, Minute, Second, DayPeriod, Ignored };
    Kind kind = Literal;
    Field field = Ignored;
    int minDigits = 0;
    int maxDigits = 0;
    std::string text;                                // Literal
    std::vector<std::pair<std::string, int>> names;  // Names, longest first
};

namespace {

using Token = GeneralDateTimeParser::Token;

Token number(Token::Field field, int minDigits, int maxDigits) {
    Token t;
    t.kind = Token::Number;
    t.field = field;
    t.minDigits = minDigits;
    t.maxDigits = maxDigits;
    return t;
}

Token names(Token::Field field, std::vector<std::pair<std::string, int>> candidates) {
    std::sort(candidates.begin(), candidates.end(),
              [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
    Token t;
    t.kind = Token::Names;
    t.field = field;
    t.names = std::move(candidates);
    return t;
}

void appendLiteral(std::vector<Token>& tokens, const std::string& text) {
    if (text.empty()) return;
    if (!tokens.empty() && tokens.back().kind == Token::Literal) {
        tokens.back().text += text;
        return;
    }
    Token t;
    t.text = text;
    tokens.push_back(std::move(t));
}

// Whether the format writes a day period ("AP", "a"): then "h" is an hour of twelve.
bool hasDayPeriod(const std::vector<FormatPiece>& pieces) {
    return std::any_of(pieces.begin(), pieces.end(), [](const FormatPiece& p) {
        return p.kind == FormatPiece::Field && (p.text.front() == u'a' || p.text.front() == u'A');
    });
}

// The text of a quoted piece: 'o''clock' is o'clock, and '' a quote.
std::string quotedText(const QString& quoted) {
    QString inner = quoted.mid(1);
    if (inner.endsWith(u'\'')) inner.chop(1);
    inner.replace(QStringLiteral("''"), QStringLiteral("'"));
    return inner.isEmpty() ? std::string("'") : utf8(inner);
}

// "MMM", "MMMM", "ddd", "dddd": the month's or the day's name, short or long,
// in the locale's words; the name of a day is read and ignored.
Token nameToken(bool month, qsizetype letters, const QLocale& locale) {
    const QLocale::FormatType type = letters == 3 ? QLocale::ShortFormat : QLocale::LongFormat;
    std::vector<std::pair<std::string, int>> candidates;
    for (int n = 1; n <= (month ? 12 : 7); ++n) {
        if (month) {
            candidates.emplace_back(utf8(locale.monthName(n, type)), n);
            candidates.emplace_back(utf8(locale.standaloneMonthName(n, type)), n);
        } else {
            candidates.emplace_back(utf8(locale.dayName(n, type)), n);
            candidates.emplace_back(utf8(locale.standaloneDayName(n, type)), n);
        }
    }
    return names(month ? Token::Month : Token::Ignored, candidates);
}

// "AP", "ap", "Ap", "aP" and "A", "a": the day period in one case or
// another; any of them is accepted.
Token dayPeriodToken(const QLocale& locale) {
    std::vector<std::pair<std::string, int>> candidates;
    for (int pm = 0; pm < 2; ++pm) {
        const QString text = pm ? locale.pmText() : locale.amText();
        candidates.emplace_back(utf8(text), pm);
        candidates.emplace_back(utf8(text.toUpper()), pm);
        candidates.emplace_back(utf8(text.toLower()), pm);
    }
    return names(Token::DayPeriod, candidates);
}

// The first token of a run of `left` field letters ("yyyy", "HH", "MMM"),
// appended to `tokens`; how many of the letters it took.
qsizetype compileField(std::vector<Token>& tokens, QChar letter, qsizetype left, bool twelveHour,
                       const QLocale& locale) {
    switch (letter.unicode()) {
        case u'y': {
            if (left < 2) {
                appendLiteral(tokens, "y");
                return 1;
            }
            const int digits = left >= 4 ? 4 : 2;
            tokens.push_back(number(Token::Year, digits, digits));
            return digits;
        }
        case u'M':
        case u'd': {
            const qsizetype used = std::min<qsizetype>(left, 4);
            const bool month = letter == u'M';
            if (used <= 2)
                tokens.push_back(
                    number(month ? Token::Month : Token::Day, static_cast<int>(used), 2));
            else
                tokens.push_back(nameToken(month, used, locale));
            return used;
        }
        case u'h':
        case u'H':
        case u'm':
        case u's': {
            const qsizetype used = std::min<qsizetype>(left, 2);
            const Token::Field field = letter == u'm'                   ? Token::Minute
                                       : letter == u's'                 ? Token::Second
                                       : (letter == u'h' && twelveHour) ? Token::Hour12
                                                                        : Token::Hour;
            tokens.push_back(number(field, static_cast<int>(used), 2));
            return used;
        }
        case u'z': {
            const int digits = left >= 3 ? 3 : 1;
            tokens.push_back(number(Token::Ignored, digits, 3));
            return digits;
        }
        case u'a':
        case u'A':
            tokens.push_back(dayPeriodToken(locale));
            return 1;
        default:
            // Letters Qt does not know as fields are written as they are.
            appendLiteral(tokens, utf8(QString(letter)));
            return 1;
    }
}

// Whether the piece after `i` is the P of an "AP" field.
bool periodContinues(const std::vector<FormatPiece>& pieces, std::size_t i) {
    return i + 1 < pieces.size() && pieces[i + 1].kind == FormatPiece::Field &&
           (pieces[i + 1].text.front() == u'p' || pieces[i + 1].text.front() == u'P');
}

// The pieces of a Qt date or time format turned into tokens, each field read
// as QLocale::toString writes it.
std::vector<Token> compileFormat(const QString& format, const QLocale& locale) {
    const std::vector<FormatPiece> pieces = splitFormat(format);
    const bool twelveHour = hasDayPeriod(pieces);
    std::vector<Token> tokens;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const FormatPiece& p = pieces[i];
        if (p.kind == FormatPiece::Literal) {
            appendLiteral(tokens, utf8(p.text));
            continue;
        }
        if (p.kind == FormatPiece::Quoted) {
            appendLiteral(tokens, quotedText(p.text));
            continue;
        }
        const QChar letter = p.text.front();
        for (qsizetype left = p.text.size(); left > 0;) {
            if ((letter == u'a' || letter == u'A') && left == 1 && periodContinues(pieces, i))
                ++i;  // the P belongs to this field
            left -= compileField(tokens, letter, left, twelveHour, locale);
        }
    }
    return tokens;
}

// Whether `text` holds `part` at `pos`. The parts are a few bytes long, too
// short to be worth a call to memcmp.
inline bool textAt(std::string_view text, std::size_t pos, std::string_view part) {
    if (text.size() - pos < part.size()) return false;
    for (std::size_t i = 0; i < part.size(); ++i) {
        if (text[pos + i] != part[i]) return false;
    }
    return true;
}

struct Fields {
    int year = -1, month = -1, day = -1;
    int hour = 0, minute = 0, second = 0;
    int dayPeriod = -1;
    bool twelveHour = false;
};

// Reads `tokens` from `text` starting at `pos`; on success `pos` is just past
// the last token.
bool readTokens(const std::vector<Token>& tokens, std::string_view text, std::size_t& pos,
                char32_t zeroDigit, Fields& f) {
    for (const Token& t : tokens) {
        switch (t.kind) {
            case Token::Literal:
                if (!textAt(text, pos, t.text)) return false;
                pos += t.text.size();
                break;
            case Token::Names: {
                const auto match = std::find_if(t.names.begin(), t.names.end(), [&](const auto& n) {
                    return !n.first.empty() && textAt(text, pos, n.first);
                });
                if (match == t.names.end()) return false;
                pos += match->first.size();
                if (t.field == Token::Month) f.month = match->second;
                if (t.field == Token::DayPeriod) f.dayPeriod = match->second;
                break;
            }
            case Token::Number: {
                int value = 0;
                int digits = 0;
                while (digits < t.maxDigits && pos < text.size()) {
                    int digit;
                    int length = 1;
                    if (zeroDigit == U'0') {
                        digit = static_cast<unsigned char>(text[pos]) - '0';
                    } else {
                        const auto [cp, n] = decodeUtf8(text, pos);
                        digit = n == 0 ? -1 : static_cast<int>(cp) - static_cast<int>(zeroDigit);
                        length = n;
                    }
                    if (digit < 0 || digit > 9) break;
                    value = value * 10 + digit;
                    pos += length;
                    ++digits;
                }
                if (digits < t.minDigits) return false;
                switch (t.field) {
                    case Token::Year:
                        f.year = value;
                        break;
                    case Token::Month:
                        f.month = value;
                        break;
                    case Token::Day:
                        f.day = value;
                        break;
                    case Token::Hour:
                        f.hour = value;
                        break;
                    case Token::Hour12:
                        f.hour = value;
                        f.twelveHour = true;
                        break;
                    case Token::Minute:
                        f.minute = value;
                        break;
                    case Token::Second:
                        f.second = value;
                        break;
                    default:
                        break;
                }
                break;
            }
        }
    }
    return true;
}

}  // namespace

WallSeconds toWallSeconds(const QDate& date, const QTime& time) {
    return (date.toJulianDay() - kEpochJulianDay) * kSecondsPerDay +
           time.msecsSinceStartOfDay() / 1000;
}

WallSeconds toWallSeconds(const QDateTime& localTime) {
    return toWallSeconds(localTime.date(), localTime.time());
}

QDateTime fromWallSeconds(WallSeconds seconds) {
    const qint64 day = seconds >= 0 ? seconds / kSecondsPerDay
                                    : -((-seconds + kSecondsPerDay - 1) / kSecondsPerDay);
    const qint64 inDay = seconds - day * kSecondsPerDay;
    return QDateTime(QDate::fromJulianDay(day + kEpochJulianDay),
                     QTime::fromMSecsSinceStartOfDay(static_cast<int>(inDay * 1000)));
}

GeneralDateTimeParser::GeneralDateTimeParser(const QLocale& locale)
    : date_(compileFormat(generalDateFormat(locale), locale)),
      time_(compileFormat(generalTimeFormat(locale), locale)),
      zeroDigit_(locale.zeroDigit().toUcs4().value(0, U'0')) {}

GeneralDateTimeParser::~GeneralDateTimeParser() = default;

std::optional<WallSeconds> GeneralDateTimeParser::parseUtf8(std::string_view text) {
    std::size_t pos = 0;
    WallSeconds day;
    const std::size_t cached = cachedDate_.size();
    if (cached != 0 && textAt(text, 0, cachedDate_) &&
        (text.size() == cached || text[cached] == ' ')) {
        day = cachedDay_;
        pos = cached;
    } else {
        Fields f;
        if (!readTokens(date_, text, pos, zeroDigit_, f)) return std::nullopt;
        if (!QDate::isValid(f.year, f.month, f.day)) return std::nullopt;
        if (pos != text.size() && text[pos] != ' ') return std::nullopt;
        day = QDate(f.year, f.month, f.day).toJulianDay() - kEpochJulianDay;
        cachedDate_.assign(text.substr(0, pos));
        cachedDay_ = day;
    }
    // Midnight is written as the date alone.
    if (pos == text.size()) return day * kSecondsPerDay;

    ++pos;  // the blank between date and time
    Fields f;
    if (!readTokens(time_, text, pos, zeroDigit_, f) || pos != text.size()) return std::nullopt;
    if (f.twelveHour) {
        if (f.hour < 1 || f.hour > 12 || f.dayPeriod < 0) return std::nullopt;
        f.hour = f.hour % 12 + (f.dayPeriod == 1 ? 12 : 0);
    }
    if (f.hour > 23 || f.minute > 59 || f.second > 59) return std::nullopt;
    return day * kSecondsPerDay + f.hour * 3600 + f.minute * 60 + f.second;
}

std::optional<QDateTime> GeneralDateTimeParser::parse(QStringView text) {
    const std::optional<WallSeconds> seconds = parseUtf8(text.toUtf8().toStdString());
    if (!seconds) return std::nullopt;
    return fromWallSeconds(*seconds);
}

}  // namespace tarnwick
