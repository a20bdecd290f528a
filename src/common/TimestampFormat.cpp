// Writing the log timestamp: the general date and time formats of a locale,
// and a moment written in them.
#include <QTime>
#include <utility>
#include <vector>

#include "FormatPieces.h"
#include "Timestamp.h"

namespace tarnwick {

namespace {

bool isSeparator(QChar c) { return c.isSpace() || c == u','; }

QChar closingBracketFor(QChar open) {
    if (open == u'(') return u')';
    if (open == u'[') return u']';
    return QChar();
}

// Drops one time zone field (a run of 't') together with the brackets that
// enclose it and the blanks or comma that separate it from the rest.
void dropZoneField(std::vector<FormatPiece>& pieces, std::size_t at) {
    const bool hasBefore = at > 0 && pieces[at - 1].kind == FormatPiece::Literal;
    const bool hasAfter = at + 1 < pieces.size() && pieces[at + 1].kind == FormatPiece::Literal;
    QString before = hasBefore ? pieces[at - 1].text : QString();
    QString after = hasAfter ? pieces[at + 1].text : QString();

    if (!before.isEmpty() && !after.isEmpty()) {
        const QChar close = closingBracketFor(before.back());
        if (!close.isNull() && after.front() == close) {
            before.chop(1);
            after.remove(0, 1);
        }
    }
    const bool last = at + (hasAfter ? 2 : 1) >= pieces.size();
    const bool first = at == (hasBefore ? 1u : 0u);
    if (last) {
        // "HH:mm:ss t", "h:mm:ss AP, t": the separator before the zone goes.
        while (!before.isEmpty() && isSeparator(before.back())) before.chop(1);
    } else {
        // "t HH:mm:ss" or a zone in the middle: the separator after it goes.
        while (!after.isEmpty() && isSeparator(after.front())) after.remove(0, 1);
    }
    if (first) {
        while (!before.isEmpty() && isSeparator(before.front())) before.remove(0, 1);
    }

    std::size_t begin = hasBefore ? at - 1 : at;
    std::size_t end = hasAfter ? at + 2 : at + 1;
    std::vector<FormatPiece> replacement;
    if (!before.isEmpty()) replacement.push_back({FormatPiece::Literal, before});
    if (!after.isEmpty()) replacement.push_back({FormatPiece::Literal, after});
    pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(begin),
                 pieces.begin() + static_cast<std::ptrdiff_t>(end));
    pieces.insert(pieces.begin() + static_cast<std::ptrdiff_t>(begin), replacement.begin(),
                  replacement.end());
}

}  // namespace

QString generalDateFormat(const QLocale& locale) {
    std::vector<FormatPiece> pieces = splitFormat(locale.dateFormat(QLocale::ShortFormat));
    for (FormatPiece& p : pieces) {
        if (p.kind == FormatPiece::Field && p.text.front() == u'y') p.text = QStringLiteral("yyyy");
    }
    return joinFormat(pieces);
}

QString generalTimeFormat(const QLocale& locale) {
    std::vector<FormatPiece> pieces = splitFormat(locale.timeFormat(QLocale::LongFormat));
    for (std::size_t i = 0; i < pieces.size();) {
        if (pieces[i].kind == FormatPiece::Field && pieces[i].text.front() == u't') {
            dropZoneField(pieces, i);
            i = 0;  // the pieces around the zone were rewritten; start over
            continue;
        }
        ++i;
    }
    for (FormatPiece& p : pieces) {
        // CLDR's flexible day period ("B") is not a field Qt knows, and would
        // be written as a literal letter; the AM/PM text takes its place.
        if (p.kind == FormatPiece::Field && p.text.front() == u'B') p.text = QStringLiteral("AP");
    }
    // Whatever the zone removal left at either end as bare separators goes too.
    QString format = joinFormat(pieces);
    return format.trimmed();
}

QString hoursMinutesFormat(const QLocale& locale) {
    std::vector<FormatPiece> pieces = splitFormat(locale.timeFormat(QLocale::ShortFormat));
    std::vector<FormatPiece> kept;
    for (const FormatPiece& p : pieces) {
        const bool seconds =
            p.kind == FormatPiece::Field && (p.text.front() == u's' || p.text.front() == u'z');
        if (!seconds) {
            kept.push_back(p);
            continue;
        }
        // The separator before the seconds (or their fraction) goes with them.
        if (!kept.empty() && kept.back().kind == FormatPiece::Literal &&
            kept.back().text.trimmed().size() <= 1)
            kept.pop_back();
    }
    return joinFormat(kept).trimmed();
}

QString generalDateTime(const QDateTime& localTime, const QLocale& locale) {
    // The formats are worked out once per locale; the record writer asks for
    // the same locale pass after pass.
    thread_local QLocale cachedLocale = QLocale::c();
    thread_local QString dateFormat = generalDateFormat(cachedLocale);
    thread_local QString timeFormat = generalTimeFormat(cachedLocale);
    if (locale != cachedLocale) {
        cachedLocale = locale;
        dateFormat = generalDateFormat(locale);
        timeFormat = generalTimeFormat(locale);
    }

    const QTime time = localTime.time();
    QString text = locale.toString(localTime.date(), dateFormat);
    if (time.hour() == 0 && time.minute() == 0 && time.second() == 0) return text;
    text += u' ';
    text += locale.toString(time, timeFormat);
    return text;
}

}  // namespace tarnwick
