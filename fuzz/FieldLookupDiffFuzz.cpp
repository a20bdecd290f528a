// Any bytes as an adapter page, read by the tree look-up (the reference) and
// by the streaming reader: where the streaming reader decides, it must give
// the tree's answer for every name tried, and so must findFieldValue(), or the
// run stops with both answers. At exit it prints how many look-ups the
// streaming reader decided.
//
// An input that starts with a byte below 0x20 is a list of pieces of markup,
// one per byte after it, from the table below (bytes below 0x20 close the
// element opened last): that makes pages near the edge of what the streaming
// reader decides on far more often than mutated bytes do. Any other input is
// the page itself.
//
// The names tried are the two the cycle reads, "F" (the tests' usual name),
// and the first few written after `name=` in the page itself, quoted or not,
// so that mutations which rename a field are still looked up.
#include <QByteArray>
#include <QList>
#include <QString>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "HtmlField.h"
#include "StreamingFieldLookup.h"

namespace {

QList<QByteArray> namesIn(const QByteArray& page) {
    QList<QByteArray> names{"LockID_0", "ResultData_0", "F"};
    qsizetype at = 0;
    while (names.size() < 6) {
        at = page.indexOf("name=", at);
        if (at < 0) break;
        at += 5;
        if (at >= page.size()) break;
        const char quote = page[at];
        qsizetype end = at;
        if (quote == '"' || quote == '\'') {
            end = page.indexOf(quote, ++at);
            if (end < 0) end = page.size();
        } else {
            while (end < page.size() && page[end] != ' ' && page[end] != '>') ++end;
        }
        names.append(page.mid(at, std::min<qsizetype>(end - at, 64)));
    }
    return names;
}

// Pieces of markup, the first of them plain: bytes up to 0xDF pick among
// those, the others among the rest.
constexpr const char* kPieces[] = {
    "<input name=F value=a>",
    "<INPUT TYPE=\"TEXT\" NAME=\"F\" VALUE=\"v 1\">",
    "<input name=F>",
    "<input name=F/>",
    "<input value=b name=F>",
    "<input name=G value=g>",
    "<button name=F value=c>",
    "<select name=F>",
    "<select name=F multiple>",
    "<option>",
    "<option value=o>",
    "<option selected>",
    "<option selected value=s>",
    "<optgroup>",
    "<textarea name=F>",
    "<textarea name=F>\n",
    "</textarea>",
    "<table>",
    "<tbody>",
    "<tr>",
    "<td>",
    "<th>",
    "<form name=F>",
    "<form>",
    "<html>",
    "<html name=F>",
    "<head>",
    "<body>",
    "<body name=F>",
    "</head>",
    "</body>",
    "</html>",
    "<title>",
    "</title>",
    "<meta name=F>",
    "<p>",
    "<div>",
    "<div name=F>",
    "<b>",
    "<a>",
    "<a name=F>",
    "<font size=1>",
    "<br>",
    "<br/>",
    "<hr>",
    "<img name=F>",
    "<pre>",
    "<li>",
    "<ul>",
    "<span>",
    "<label>",
    "<h1>",
    "x",
    "y  z",
    " ",
    "\n",
    "\r\n",
    "\t",
    "&amp;",
    "&nbsp;",
    "&lt;",
    "&#39;",
    "&quot;",
    "<!-- c -->",
    "\xc3\xa9",
    // not plain
    "<!---->",
    "<!DOCTYPE html>",
    "<",
    ">",
    "\"",
    "'",
    "=",
    "/",
    "<script>",
    "</script>",
    "<style>",
    "<isindex>",
    "<image name=F>",
    "<frameset>",
    "\f",
    "&amp",
    "&AMP;",
    "<!-- a--b -->",
    "<input name=F value=a&b>",
    "<input name=F name=G>",
    "<tr name=F>",
    "<option name=F>",
};
constexpr std::size_t kPlainPieces = std::size(kPieces) - 22;

bool isVoid(const QByteArray& tag) {
    for (const char* v : {"input", "br", "hr", "img", "meta", "isindex", "image"})
        if (tag == v) return true;
    return false;
}

QByteArray fromPieces(const QByteArray& bytes) {
    QByteArray page;
    QList<QByteArray> open;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20) {
            if (!open.isEmpty()) page += "</" + open.takeLast() + ">";
            continue;
        }
        const QByteArray piece(
            kPieces[b < 0xE0 ? b % kPlainPieces
                             : kPlainPieces + b % (std::size(kPieces) - kPlainPieces)]);
        page += piece;
        if (piece.size() > 1 && piece[0] == '<' &&
            std::isalpha(static_cast<unsigned char>(piece[1]))) {
            qsizetype end = 1;
            while (end < piece.size() && std::isalnum(static_cast<unsigned char>(piece[end])))
                ++end;
            const QByteArray tag = piece.mid(1, end - 1).toLower();
            if (!isVoid(tag) && !piece.endsWith("/>") && tag != "textarea" && tag != "title")
                open.append(tag);
        }
    }
    return page;
}

QByteArray shown(const std::optional<QString>& value) {
    return value ? '"' + value->toUtf8() + '"' : QByteArray("nullopt");
}

void differ(const QByteArray& page, const char* what, const QString& field,
            const std::optional<QString>& tree, const std::optional<QString>& other) {
    std::fprintf(stderr, "page %s\nfield \"%s\": tree %s, %s %s\n",
                 page.left(2000).toPercentEncoding(" <>/=\"'!&;").constData(),
                 field.toUtf8().constData(), shown(tree).constData(), what,
                 shown(other).constData());
    std::abort();
}

long lookUps = 0;
long decided = 0;

void printCounts() {
    std::fprintf(stderr, "streaming reader decided %ld of %ld look-ups\n", decided, lookUps);
}

void compare(const QByteArray& page) {
    for (const QByteArray& name : namesIn(page)) {
        const QString field = QString::fromUtf8(name);
        const std::optional<QString> tree = tarnwick::findFieldValueInTree(page, field);
        const tarnwick::StreamedField streamed = tarnwick::findFieldValueStreaming(page, field);
        ++lookUps;
        if (streamed.decided) {
            ++decided;
            if (streamed.value != tree) differ(page, "streaming", field, tree, streamed.value);
        }
        const std::optional<QString> cycle = tarnwick::findFieldValue(page, field);
        if (cycle != tree) differ(page, "findFieldValue", field, tree, cycle);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool counting = std::atexit(&printCounts) == 0;
    (void)counting;
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (size > 0 && data[0] < 0x20)
        compare(fromPieces(bytes.mid(1, 128)));
    else
        compare(bytes);
    return 0;
}
