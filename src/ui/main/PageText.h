// The text of the adapter's last page as the page view keeps it.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

class QTextDocument;

namespace tarnwick {

// The page as the page view holds it: every line break one "\n" and a
// non-breaking space a space, so that it equals what the view's document
// gives back, character for character.
QString pageViewText(const QByteArray& html);

// Where replaceChangedLines() changed the text: from the start of the first
// changed line to the end of the last (positions in the new text), and
// whether the lines after them may have moved in the view (lines came or
// went, or one changed its length and may wrap differently).
struct ChangedLines {
    int from = 0;
    int to = 0;
    bool moved = false;
};

// Makes `document` hold `text` (as pageViewText() gives it), replacing only
// the lines that differ. Pages of one kind differ in a value or two, so the
// other lines keep their layout; whole lines are replaced, so that the
// changed ones are laid out when next painted rather than at once. Returns
// nullopt when the document held `text` already.
std::optional<ChangedLines> replaceChangedLines(QTextDocument& document, const QString& text);

}  // namespace tarnwick
