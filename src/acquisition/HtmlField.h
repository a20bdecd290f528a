// Reading a named field out of an adapter page, the way a browser's
// "elements by name" look-up would.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>

namespace tarnwick {

// Decodes a page body to text: UTF-8 when it is valid UTF-8, Latin-1 otherwise
// (small embedded web servers often send Latin-1 without saying so).
QString decodePage(const QByteArray& body);

// The value of the first element in document order whose name attribute is
// `name`: an input's or button's value attribute (empty when absent), a
// textarea's text, a select's selected option value. Any other kind of
// element, or none at all, gives nullopt: the field cannot be read. So does
// a page that cannot be an adapter page because it holds more than 1000 tags
// or 4000 attributes, or a tag longer than 8 KiB or with more than 32
// attributes: such pages are not parsed. Runs of text longer than 1 KiB are
// cut to their first 1 KiB before parsing. Both keep the cost of any page
// within the size cap small.
//
// The page is read by the streaming reader (StreamingFieldLookup.h) and, only
// where that cannot be sure of the answer, parsed into a tree.
std::optional<QString> findFieldValue(const QByteArray& html, const QString& name);

// The page as the look-ups parse it: decoded, encoded again as UTF-8, and with
// long runs of text cut; nullopt for a page beyond the bounds above.
std::optional<QByteArray> pageToParse(const QByteArray& html);

// An option's text as its value (when it has no value attribute): white space
// stripped and collapsed, as a browser reports it.
std::string optionLabel(const std::string& text);

// findFieldValue() on a whole parsed tree (gumbo's HTML5 tree builder) for
// every page: the reference the streaming reader is checked against.
std::optional<QString> findFieldValueInTree(const QByteArray& html, const QString& name);

}  // namespace tarnwick
