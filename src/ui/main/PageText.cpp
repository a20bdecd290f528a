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

std::optional<int> replaceChangedLines(QTextDocument& document, const QString& text) {
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
    edit.beginEditBlock();
    edit.setPosition(static_cast<int>(from));
    edit.setPosition(static_cast<int>(shownEnd), QTextCursor::KeepAnchor);
    edit.insertText(text.mid(from, textEnd - from));
    edit.endEditBlock();
    return static_cast<int>(from);
}

}  // namespace tarnwick
