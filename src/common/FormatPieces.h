// Qt date and time format strings taken apart, for the code that rewrites a
// locale's formats and the code that reads what they write.
#pragma once

#include <QString>
#include <vector>

namespace tarnwick {

// A date/time format string split into its pieces: runs of one ASCII letter
// (fields such as "yy" or "AP"), quoted literal text (kept verbatim, quotes
// included), and any other literal text.
struct FormatPiece {
    enum Kind { Field, Quoted, Literal } kind;
    QString text;
};

std::vector<FormatPiece> splitFormat(const QString& format);
QString joinFormat(const std::vector<FormatPiece>& pieces);

}  // namespace tarnwick
