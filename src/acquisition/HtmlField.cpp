#include "HtmlField.h"

#include <gumbo.h>

#include <QStringDecoder>
#include <algorithm>
#include <cstring>
#include <memory_resource>
#include <vector>

#include "AsciiLetter.h"
#include "StreamingFieldLookup.h"

namespace tarnwick {

namespace {

const char* attribute(const GumboElement& e, const char* name) {
    const GumboAttribute* a = gumbo_get_attribute(&e.attributes, name);
    return a ? a->value : nullptr;
}

void appendText(const GumboNode* node, std::string& out) {
    if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE ||
        node->type == GUMBO_NODE_CDATA) {
        out += node->v.text.text;
    } else if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) {
        const GumboVector& kids = node->v.element.children;
        for (unsigned i = 0; i < kids.length; ++i)
            appendText(static_cast<const GumboNode*>(kids.data[i]), out);
    }
}

void collectOptions(const GumboNode* node, std::vector<const GumboNode*>& out) {
    if (node->type != GUMBO_NODE_ELEMENT) return;
    const GumboVector& kids = node->v.element.children;
    for (unsigned i = 0; i < kids.length; ++i) {
        const auto* kid = static_cast<const GumboNode*>(kids.data[i]);
        if (kid->type != GUMBO_NODE_ELEMENT) continue;
        if (kid->v.element.tag == GUMBO_TAG_OPTION)
            out.push_back(kid);
        else if (kid->v.element.tag == GUMBO_TAG_OPTGROUP)
            collectOptions(kid, out);
    }
}

std::string optionValue(const GumboNode* option) {
    if (const char* v = attribute(option->v.element, "value")) return v;
    std::string text;
    appendText(option, text);
    return optionLabel(text);
}

// The value a browser would report, or nullopt for elements without one.
std::optional<std::string> elementValue(const GumboNode* node) {
    const GumboElement& e = node->v.element;
    switch (e.tag) {
        case GUMBO_TAG_INPUT:
        case GUMBO_TAG_BUTTON: {
            const char* v = attribute(e, "value");
            return std::string(v ? v : "");
        }
        case GUMBO_TAG_TEXTAREA: {
            std::string text;
            appendText(node, text);
            // The parser drops one newline right after <textarea> itself.
            return text;
        }
        case GUMBO_TAG_SELECT: {
            std::vector<const GumboNode*> options;
            collectOptions(node, options);
            if (options.empty()) return std::string();
            for (const GumboNode* o : options)
                if (attribute(o->v.element, "selected")) return optionValue(o);
            if (attribute(e, "multiple")) return std::string();
            return optionValue(options.front());
        }
        default:
            return std::nullopt;
    }
}

// Pre-order walk with an explicit stack: a page may nest deeper than the
// call stack would like.
const GumboNode* findByName(const GumboNode* root, const char* name) {
    std::vector<const GumboNode*> stack{root};
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) continue;
        if (const char* n = attribute(node->v.element, "name"); n && std::strcmp(n, name) == 0)
            return node;
        const GumboVector& kids = node->v.element.children;
        for (unsigned i = kids.length; i > 0; --i)
            stack.push_back(static_cast<const GumboNode*>(kids.data[i - 1]));
    }
    return nullptr;
}

// What an adapter page can look like at most. The tree builder spends time
// that grows with the square of the nesting depth and of the attributes on
// one tag (20,000 nested elements take seconds), so a page beyond these
// bounds is not handed to it: it cannot be an adapter page, and it is
// treated as a page without fields. An adapter's pages hold a few dozen tags.
constexpr int kMaxTags = 1000;
constexpr int kMaxAttributesPerTag = 32;
constexpr int kMaxAttributes = 4000;
constexpr qsizetype kMaxTagBytes = 8 * 1024;

bool isTagSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

struct TagScan {
    int attributes = 0;
    qsizetype end = 0;  // just past the '>' (or where the scan stopped)
    bool tooLong = false;
};

// The tag whose name starts at `at`, read the way the HTML tokenizer reads it
// (quoted values may hold '>' and blanks): its attributes and where it ends.
// Gives up past kMaxTagBytes or kMaxAttributesPerTag attributes.
TagScan scanTag(const QByteArray& html, qsizetype at) {
    const qsizetype n = html.size();
    const qsizetype limit = std::min(n, at + kMaxTagBytes);
    TagScan tag;
    qsizetype i = at;
    while (i < limit && !isTagSpace(html[i]) && html[i] != '/' && html[i] != '>') ++i;
    while (i < limit) {
        const char c = html[i];
        if (c == '>') {
            tag.end = i + 1;
            return tag;
        }
        if (isTagSpace(c) || c == '/') {
            ++i;
            continue;
        }
        // An attribute name (a stray '=' or quote starts one too).
        if (++tag.attributes > kMaxAttributesPerTag) break;
        ++i;
        while (i < limit && !isTagSpace(html[i]) && html[i] != '/' && html[i] != '>' &&
               html[i] != '=')
            ++i;
        while (i < limit && isTagSpace(html[i])) ++i;
        if (i >= limit || html[i] != '=') continue;
        ++i;
        while (i < limit && isTagSpace(html[i])) ++i;
        if (i < limit && (html[i] == '"' || html[i] == '\'')) {
            const char quote = html[i++];
            while (i < limit && html[i] != quote) ++i;
            ++i;
        } else {
            while (i < limit && !isTagSpace(html[i]) && html[i] != '>') ++i;
        }
    }
    tag.end = std::min(i, n);
    // A tag cut off by the end of the page is fine; one cut off by a limit is not.
    tag.tooLong = tag.attributes > kMaxAttributesPerTag || limit < n;
    return tag;
}

// True when the page stays within the bounds above. Every '<' followed by a
// letter, or "</" followed by a letter, counts as a tag wherever it stands
// (in comments and scripts too), so the count never falls short of what the
// tree builder will see.
bool withinAdapterPageBounds(const QByteArray& html) {
    int tags = 0;
    int attributes = 0;
    const qsizetype n = html.size();
    for (qsizetype i = 0; i + 1 < n; ++i) {
        if (html[i] != '<') continue;
        qsizetype name = i + 1;
        if (html[name] == '/') ++name;
        if (name >= n || !isAsciiLetter(static_cast<unsigned char>(html[name]))) continue;
        if (++tags > kMaxTags) return false;
        const TagScan tag = scanTag(html, name);
        if (tag.tooLong) return false;
        if ((attributes += tag.attributes) > kMaxAttributes) return false;
    }
    return true;
}

// Text is handed to the tree builder one character at a time, so a page of
// a megabyte of text costs tens of milliseconds to parse. No field of an
// adapter page lies in a long text, so each run of text between two pieces
// of markup keeps only its first kMaxTextRun bytes; tags, comments and the
// like are copied whole.
constexpr qsizetype kMaxTextRun = 1024;

qsizetype indexAfter(const QByteArray& html, qsizetype from, const char* what) {
    const qsizetype at = html.indexOf(what, from);
    return at < 0 ? html.size() : at + static_cast<qsizetype>(std::strlen(what));
}

// Where the markup starting with the '<' at `at` ends, or -1 when that '<'
// starts no markup and is text.
qsizetype markupEnd(const QByteArray& html, qsizetype at) {
    const qsizetype n = html.size();
    if (at + 1 >= n) return -1;
    const char next = html[at + 1];
    if (isAsciiLetter(static_cast<unsigned char>(next))) return scanTag(html, at + 1).end;
    if (next == '/') {
        if (at + 2 < n && isAsciiLetter(static_cast<unsigned char>(html[at + 2])))
            return scanTag(html, at + 2).end;
        return indexAfter(html, at, ">");  // "</>" and bogus comments
    }
    if (next == '?') return indexAfter(html, at, ">");
    if (next != '!') return -1;
    if (!html.mid(at, 4).startsWith("<!--")) return indexAfter(html, at, ">");
    if (html.mid(at + 4, 1) == ">") return at + 5;   // "<!-->"
    if (html.mid(at + 4, 2) == "->") return at + 6;  // "<!--->"
    return std::min(indexAfter(html, at + 4, "-->"), indexAfter(html, at + 4, "--!>"));
}

void appendTextRun(QByteArray& out, const char* text, qsizetype size) {
    if (size > kMaxTextRun) {
        size = kMaxTextRun;
        // Not in the middle of a UTF-8 sequence.
        while (size > 0 && (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80) --size;
    }
    out.append(text, size);
}

QByteArray shortenTextRuns(const QByteArray& html) {
    QByteArray out;
    out.reserve(std::min<qsizetype>(html.size(), 256 * 1024));
    const qsizetype n = html.size();
    qsizetype text = 0;
    for (qsizetype i = 0; i < n;) {
        const qsizetype end = html[i] == '<' ? markupEnd(html, i) : -1;
        if (end < 0) {
            ++i;
            continue;
        }
        appendTextRun(out, html.constData() + text, i - text);
        out.append(html.constData() + i, end - i);
        i = text = end;
    }
    appendTextRun(out, html.constData() + text, n - text);
    return out;
}

// The parser makes a few hundred small allocations for a page and frees
// them one by one when the tree is destroyed: about a third of the parse's
// time went to malloc and free. Each parse takes its memory from an arena
// instead, freed in one go with the tree, which is only read in between.
class ParseArena {
  public:
    ParseArena() {
        options_.max_errors = 0;  // parse errors are not wanted; recording them costs
        options_.allocator = &ParseArena::allocate;
        options_.deallocator = &ParseArena::deallocate;
        options_.userdata = &memory_;
    }
    ParseArena(const ParseArena&) = delete;
    ParseArena& operator=(const ParseArena&) = delete;

    GumboOutput* parse(const QByteArray& html) {
        return gumbo_parse_with_options(&options_, html.constData(),
                                        static_cast<size_t>(html.size()));
    }

  private:
    static void* allocate(void* memory, size_t size) {
        return static_cast<std::pmr::memory_resource*>(memory)->allocate(std::max<size_t>(size, 1),
                                                                         alignof(std::max_align_t));
    }
    static void deallocate(void*, void*) {}  // all of it goes with the arena

    // An adapter page's tree fits in the first block; a large page's gets more.
    std::pmr::monotonic_buffer_resource memory_{64 * 1024};
    GumboOptions options_ = kGumboDefaultOptions;
};

}  // namespace

std::string optionLabel(const std::string& text) {
    // A browser strips and collapses white space in an option's label text.
    std::string collapsed;
    bool pendingBlank = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
            pendingBlank = !collapsed.empty();
        } else {
            if (pendingBlank) collapsed += ' ';
            pendingBlank = false;
            collapsed += c;
        }
    }
    return collapsed;
}

QString decodePage(const QByteArray& body) {
    // Stateless: a sequence cut short at the end is an error, not a
    // character silently held back for input that never comes.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(body);
    if (!utf8.hasError()) return text;
    return QString::fromLatin1(body);
}

std::optional<QByteArray> pageToParse(const QByteArray& html) {
    const QByteArray page = decodePage(html).toUtf8();
    if (!withinAdapterPageBounds(page)) return std::nullopt;
    return shortenTextRuns(page);
}

namespace {

std::optional<QString> fieldValueInTree(const QByteArray& utf8, const QByteArray& wanted) {
    ParseArena arena;
    const GumboOutput* doc = arena.parse(utf8);
    if (!doc) return std::nullopt;
    const GumboNode* hit = findByName(doc->root, wanted.constData());
    if (!hit) return std::nullopt;
    std::optional<std::string> value = elementValue(hit);
    if (!value) return std::nullopt;
    return QString::fromStdString(*value);
}

}  // namespace

std::optional<QString> findFieldValue(const QByteArray& html, const QString& name) {
    const std::optional<QByteArray> utf8 = pageToParse(html);
    if (!utf8) return std::nullopt;
    const QByteArray wanted = name.toUtf8();
    // The tree is built only for pages the streaming reader cannot be sure of.
    const StreamedField streamed = readFieldStreaming(*utf8, wanted);
    return streamed.decided ? streamed.value : fieldValueInTree(*utf8, wanted);
}

std::optional<QString> findFieldValueInTree(const QByteArray& html, const QString& name) {
    const std::optional<QByteArray> utf8 = pageToParse(html);
    if (!utf8) return std::nullopt;
    return fieldValueInTree(*utf8, name.toUtf8());
}

}  // namespace tarnwick
