#include "FormatPieces.h"

#include "AsciiLetter.h"

namespace tarnwick {

std::vector<FormatPiece> splitFormat(const QString& format) {
    std::vector<FormatPiece> pieces;
    qsizetype i = 0;
    const qsizetype n = format.size();
    while (i < n) {
        const QChar c = format[i];
        qsizetype j = i + 1;
        FormatPiece::Kind kind;
        if (c == u'\'') {
            // Up to the closing quote; a doubled quote inside stays part of the text.
            kind = FormatPiece::Quoted;
            while (j < n) {
                if (format[j] == u'\'') {
                    if (j + 1 < n && format[j + 1] == u'\'') {
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                ++j;
            }
        } else if (isAsciiLetter(c.unicode())) {
            kind = FormatPiece::Field;
            while (j < n && format[j] == c) ++j;
        } else {
            kind = FormatPiece::Literal;
            while (j < n && format[j] != u'\'' && !isAsciiLetter(format[j].unicode())) ++j;
        }
        pieces.push_back({kind, format.mid(i, j - i)});
        i = j;
    }
    return pieces;
}

QString joinFormat(const std::vector<FormatPiece>& pieces) {
    QString out;
    for (const FormatPiece& p : pieces) out += p.text;
    return out;
}

}  // namespace tarnwick
