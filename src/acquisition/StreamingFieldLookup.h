// The field look-up of HtmlField.h read off a stream of parse events, without
// building a document tree.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace tarnwick {

// What the streaming reader makes of a page: the answer findFieldValue()
// gives, when it can be sure of it.
struct StreamedField {
    bool decided = false;
    std::optional<QString> value;  // when decided
};

// libxml2's HTML push parser with SAX callbacks reads the page's elements
// once, in document order, and stops at the field. That parser is not an
// HTML5 one: where it and an HTML5 tree builder may read a page differently,
// the answer is left undecided. It decides only on pages of plain markup:
// known elements, closed in the order they were opened, tables with rows and
// cells only, selects with options only, one form at a time, simple
// attribute syntax, no character references but the common five and &nbsp;,
// comments without "--" inside, no scripts, no control characters.
StreamedField findFieldValueStreaming(const QByteArray& html, const QString& name);

// The same on a page already prepared by pageToParse() and a UTF-8 name.
StreamedField readFieldStreaming(const QByteArray& utf8, const QByteArray& name);

// True when the page (as pageToParse() gives it) is plain markup as above.
bool isPlainMarkup(const QByteArray& utf8);

}  // namespace tarnwick
