#include "PageText.h"

#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

#include "HtmlField.h"

namespace tarnwick {

QString pageViewText(const QByteArray& html) {
    QString text = decodePage(html);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (QChar& c : text) {
        switch (c.unicode()) {
            case u'\r':
            case QChar::ParagraphSeparator:
            case QChar::LineSeparator:
            case 0xfdd0:  // frame start and end marks: breaks to a document
            case 0xfdd1:
                c = u'\n';
                break;
            case QChar::Nbsp:
                c = u' ';
                break;
            default:
                break;
        }
    }
    return text;
}

std::optional<ChangedLines> replaceChangedLines(QTextDocument& document, const QString& text) {
    const QString shown = document.toPlainText();
    if (shown == text) return std::nullopt;

    const qsizetype shorter = std::min(shown.size(), text.size());
    qsizetype head = 0;
    while (head < shorter && shown[head] == text[head]) ++head;
    qsizetype tail = 0;
    while (tail < shorter - head && shown[shown.size() - 1 - tail] == text[text.size() - 1 - tail])
        ++tail;

    // From the start of the first changed line to the break after the last.
    qsizetype from = head > 0 ? shown.lastIndexOf(u'\n', head - 1) + 1 : 0;
    qsizetype shownEnd = shown.indexOf(u'\n', shown.size() - tail);
    if (shownEnd >= 0) {
        ++shownEnd;
    } else {
        shownEnd = shown.size();
        if (from > 0) --from;  // the last line changed: the break before it
    }
    const qsizetype textEnd = text.size() - (shown.size() - shownEnd);

    QTextCursor edit(&document);
    const QStringView oldLines = QStringView(shown).mid(from, shownEnd - from);
    const QStringView newLines = QStringView(text).mid(from, textEnd - from);
    // Lines after the change stay where they were when as many lines come
    // as went, each as long as before: a longer or shorter line may wrap
    // differently in the view.
    const QList<QStringView> olds = oldLines.split(u'\n');
    const QList<QStringView> news = newLines.split(u'\n');
    const bool sameLines = olds.size() == news.size();
    bool moved = !sameLines;
    for (qsizetype i = 0; !moved && i < olds.size(); ++i) moved = olds[i].size() != news[i].size();
    // Each replacement is an edit block of its own: a cursor moved outside
    // one finds its place on screen at once, which lays its line out; and
    // one block for all the lines would be reported as one change from the
    // first to the last, and every line between would lose its layout.
    auto replace = [&edit](qsizetype start, qsizetype end, const QString& by) {
        edit.beginEditBlock();
        edit.setPosition(static_cast<int>(start));
        edit.setPosition(static_cast<int>(end), QTextCursor::KeepAnchor);
        edit.insertText(by);
        edit.endEditBlock();
    };
    if (!sameLines) {
        replace(from, shownEnd, newLines.toString());
    } else {
        // As many lines as before (pages of one kind differ in a value or
        // two): each line that differs is replaced on its own, with its line
        // break (the last line with the break before it), and the lines
        // between keep their layout. Going from the last line up, each
        // replacement leaves the positions of the lines above it as they were.
        qsizetype oldAt = oldLines.size();
        for (qsizetype i = olds.size() - 1; i >= 0; --i) {
            oldAt -= olds[i].size();
            if (olds[i] != news[i]) {
                qsizetype start = from + oldAt;
                qsizetype end = start + olds[i].size();
                QString replacement = news[i].toString();
                if (i + 1 < olds.size()) {
                    ++end;
                    replacement += u'\n';
                } else if (i > 0) {
                    --start;
                    replacement.prepend(u'\n');
                }
                replace(start, end, replacement);
            }
            --oldAt;  // the break before this line
        }
    }
    return ChangedLines{static_cast<int>(from), static_cast<int>(textEnd), moved};
}

}  // namespace tarnwick
