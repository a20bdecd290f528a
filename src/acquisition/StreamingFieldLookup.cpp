#include "StreamingFieldLookup.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "AsciiLetter.h"
#include "HtmlField.h"

namespace tarnwick {

namespace {

const char* attribute(const xmlChar** attributes, const char* name) {
    if (!attributes) return nullptr;
    for (const xmlChar** a = attributes; a[0]; a += 2)
        if (std::strcmp(reinterpret_cast<const char*>(a[0]), name) == 0)
            return a[1] ? reinterpret_cast<const char*>(a[1]) : "";
    return nullptr;
}

bool is(const xmlChar* tag, const char* name) {
    return std::strcmp(reinterpret_cast<const char*>(tag), name) == 0;
}

// What an element is to the plain-markup check.
enum class Role {
    Root,      // html
    Head,      // head
    Body,      // body
    Void,      // no end tag, no content
    Text,      // title, textarea: text up to their end tag
    Form,      // one open at a time
    Table,     // holds sections and rows only
    Section,   // tbody: holds rows only
    Row,       // holds cells only
    Cell,      // td, th
    Select,    // holds options and option groups only
    Optgroup,  // holds options only
    Option,    // holds text only
    Anchor,    // a: never inside another
    Plain,     // anything else it knows
};

struct KnownElement {
    std::string_view name;
    Role role;
};

constexpr KnownElement kKnownElements[] = {
    {"html", Role::Root},     {"head", Role::Head},     {"body", Role::Body},
    {"title", Role::Text},    {"textarea", Role::Text}, {"meta", Role::Void},
    {"br", Role::Void},       {"hr", Role::Void},       {"input", Role::Void},
    {"img", Role::Void},      {"form", Role::Form},     {"table", Role::Table},
    {"tbody", Role::Section}, {"tr", Role::Row},        {"td", Role::Cell},
    {"th", Role::Cell},       {"select", Role::Select}, {"optgroup", Role::Optgroup},
    {"option", Role::Option}, {"a", Role::Anchor},      {"div", Role::Plain},
    {"span", Role::Plain},    {"p", Role::Plain},       {"pre", Role::Plain},
    {"center", Role::Plain},  {"h1", Role::Plain},      {"h2", Role::Plain},
    {"h3", Role::Plain},      {"h4", Role::Plain},      {"h5", Role::Plain},
    {"h6", Role::Plain},      {"b", Role::Plain},       {"i", Role::Plain},
    {"u", Role::Plain},       {"strong", Role::Plain},  {"em", Role::Plain},
    {"small", Role::Plain},   {"font", Role::Plain},    {"label", Role::Plain},
    {"button", Role::Plain},  {"ul", Role::Plain},      {"ol", Role::Plain},
    {"li", Role::Plain},      {"code", Role::Plain},    {"tt", Role::Plain},
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isTagBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return isAsciiLetter(static_cast<unsigned char>(c)); }
bool isControl(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t' && c != '\n' && c != '\r') || u == 0x7F;
}
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool startsWithFolded(const char* at, const char* end, const char* what) {
    for (; *what; ++what, ++at)
        if (at == end || lower(*at) != *what) return false;
    return true;
}

// The character references both parsers read alike.
constexpr std::string_view kReferences[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&#39;", "&nbsp;"};

bool sameFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

// Reads plain markup, one piece at a time, and keeps the elements open.
class PlainMarkup {
  public:
    explicit PlainMarkup(const QByteArray& page)
        : at_(page.constData()), end_(page.constData() + page.size()) {}

    bool check() {
        if (!plainCharacters()) return false;
        while (at_ < end_) {
            if (*at_ != '<') {
                if (!text()) return false;
            } else if (at_ + 1 == end_) {
                return false;
            } else if (at_[1] == '!') {
                if (!(startsWithFolded(at_, end_, "<!--") ? comment() : doctype())) return false;
            } else if (at_[1] == '/') {
                if (!endTag()) return false;
            } else if (isLetter(at_[1])) {
                if (!startTag()) return false;
            } else {
                return false;
            }
        }
        return true;
    }

  private:
    // An HTML5 parser reads C1 controls and noncharacters as U+FFFD; libxml2
    // keeps them. The page is valid UTF-8 (pageToParse() made it); characters
    // beyond U+FFFF are left to the tree too.
    bool plainCharacters() const {
        for (const char* c = at_; c < end_; ++c) {
            const auto b = static_cast<unsigned char>(*c);
            if (b < 0x80) continue;
            const auto next = static_cast<unsigned char>(c + 1 < end_ ? c[1] : 0);
            const auto third = static_cast<unsigned char>(c + 2 < end_ ? c[2] : 0);
            if (b >= 0xF0) return false;
            if (b == 0xC2 && next < 0xA0) return false;  // U+0080..U+009F
            if (b == 0xEF && next == 0xB7 && third >= 0x90 && third <= 0xAF)
                return false;                                              // U+FDD0..U+FDEF
            if (b == 0xEF && next == 0xBF && third >= 0xBE) return false;  // U+FFFE, U+FFFF
        }
        return true;
    }

    // Text up to the next '<': no control characters, and character
    // references only from the list above. `blank` tells whether it was all
    // white space.
    bool plainText(const char* from, const char* to, bool& blank) const {
        blank = true;
        for (const char* c = from; c < to; ++c) {
            if (isControl(*c)) return false;
            if (*c == '&') {
                const std::string_view rest(c, static_cast<size_t>(to - c));
                bool known = false;
                for (std::string_view ref : kReferences) known = known || rest.starts_with(ref);
                if (!known) return false;
            }
            blank = blank && isBlank(*c);
        }
        return true;
    }

    bool text() {
        const char* to = static_cast<const char*>(std::memchr(at_, '<', end_ - at_));
        if (!to) to = end_;
        bool blank = false;
        if (!plainText(at_, to, blank)) return false;
        if (!blank) {
            if (closed_) return false;
            // Text in a table, a row, a select or an option group is moved or
            // dropped by an HTML5 tree builder.
            const Role top = this->top();
            if (top == Role::Table || top == Role::Section || top == Role::Row ||
                top == Role::Select || top == Role::Optgroup)
                return false;
            beforeHead_ = false;
            bodyBegun_ = true;
        }
        at_ = to;
        return true;
    }

    bool comment() {
        const char* from = at_ + 4;
        constexpr std::string_view kClose = "-->";
        const char* close = std::search(from, end_, kClose.begin(), kClose.end());
        if (close == end_) return false;
        if (close > from && close[-1] == '-') return false;
        if (from < end_ && *from == '>') return false;
        for (const char* c = from; c < close; ++c)
            if (isControl(*c) || *c == '<' || *c == '>' || (*c == '-' && c[1] == '-')) return false;
        at_ = close + 3;
        return true;
    }

    // <!DOCTYPE ...> at the start of the page only, without '<' or unpaired
    // quotes inside.
    bool doctype() {
        if (seenMarkup_ || !startsWithFolded(at_, end_, "<!doctype")) return false;
        const char* close = static_cast<const char*>(std::memchr(at_, '>', end_ - at_));
        if (!close) return false;
        int doubles = 0, singles = 0;
        for (const char* c = at_ + 2; c < close; ++c) {
            if (isControl(*c) || *c == '<') return false;
            doubles += *c == '"';
            singles += *c == '\'';
        }
        if (doubles % 2 || singles % 2) return false;
        seenMarkup_ = true;
        at_ = close + 1;
        return true;
    }

    // A tag name: a letter, then letters and digits, looked up folded.
    const KnownElement* tagName() {
        const char* from = at_;
        while (at_ < end_ && (isLetter(*at_) || isDigit(*at_))) ++at_;
        const std::string_view name(from, static_cast<size_t>(at_ - from));
        for (const KnownElement& e : kKnownElements)
            if (sameFolded(name, e.name)) return &e;
        return nullptr;
    }

    bool endTag() {
        at_ += 2;
        if (at_ == end_ || !isLetter(*at_)) return false;
        const KnownElement* e = tagName();
        if (!e) return false;
        while (at_ < end_ && isTagBlank(*at_)) ++at_;
        if (at_ == end_ || *at_ != '>') return false;
        ++at_;
        seenMarkup_ = true;
        switch (e->role) {
            case Role::Root:
            case Role::Body:
                bodyBegun_ = true;
                closed_ = true;
                [[fallthrough]];
            case Role::Head:
                beforeHead_ = false;
                return open_.empty();
            case Role::Void:
            case Role::Text:
                return false;
            default:
                if (closed_) return false;
                break;
        }
        // An option closes with its select or option group.
        if (top() == Role::Option && (e->role == Role::Select || e->role == Role::Optgroup))
            open_.pop_back();
        if (open_.empty() || open_.back() != e) return false;
        open_.pop_back();
        if (e->role == Role::Form) formOpen_ = false;
        return true;
    }

    // Attributes: a letter, then letters, digits, '-' and '_'; a value in
    // quotes without '&', '<' or a CR, or a bare value of letters, digits and
    // ".:#%+-_"; each name once; blanks between them.
    bool attributes(bool& selfClosing) {
        // As many as a tag within an adapter page's bounds can hold.
        constexpr size_t kMostNames = 32;
        const char* names[kMostNames];  // where each name starts
        size_t sizes[kMostNames];
        size_t count = 0;
        selfClosing = false;
        while (true) {
            const bool blank = at_ < end_ && isTagBlank(*at_);
            while (at_ < end_ && isTagBlank(*at_)) ++at_;
            if (at_ == end_) return false;
            if (*at_ == '>') {
                ++at_;
                return true;
            }
            if (*at_ == '/') {
                if (at_ + 1 == end_ || at_[1] != '>') return false;
                at_ += 2;
                selfClosing = true;
                return true;
            }
            if (!blank || !isLetter(*at_)) return false;
            const char* from = at_;
            while (at_ < end_ && (isLetter(*at_) || isDigit(*at_) || *at_ == '-' || *at_ == '_'))
                ++at_;
            const std::string_view name(from, static_cast<size_t>(at_ - from));
            if (count == kMostNames) return false;
            for (size_t i = 0; i < count; ++i)
                if (sameFolded(std::string_view(names[i], sizes[i]), name)) return false;
            names[count] = from;
            sizes[count++] = name.size();
            if (at_ == end_ || *at_ != '=') continue;
            if (++at_ == end_) return false;
            if (*at_ == '"' || *at_ == '\'') {
                const char quote = *at_++;
                while (at_ < end_ && *at_ != quote) {
                    if (isControl(*at_) || *at_ == '&' || *at_ == '<' || *at_ == '\r') return false;
                    ++at_;
                }
                if (at_++ == end_) return false;
            } else {
                const char* from = at_;
                while (at_ < end_ &&
                       (isLetter(*at_) || isDigit(*at_) || std::strchr(".:#%+-_", *at_) != nullptr))
                    ++at_;
                if (at_ == from) return false;
                if (at_ < end_ && *at_ == '/') return false;
            }
        }
    }

    bool startTag() {
        ++at_;
        const KnownElement* e = tagName();
        if (!e || closed_) return false;
        bool selfClosing = false;
        if (!attributes(selfClosing)) return false;
        if (selfClosing && e->role != Role::Void) return false;
        seenMarkup_ = true;

        // An option ends at the next option or option group.
        if (top() == Role::Option && (e->role == Role::Option || e->role == Role::Optgroup))
            open_.pop_back();
        const Role top = this->top();
        if (!fits(e->role, top)) return false;

        switch (e->role) {
            case Role::Root:
                // Later <html> tags add their attributes to the first.
                if (!beforeHead_ || rootSeen_) return false;
                rootSeen_ = true;
                return true;
            case Role::Head:
                if (!beforeHead_ || !open_.empty()) return false;
                beforeHead_ = false;
                return true;
            case Role::Body:
                // Later <body> tags add their attributes to the body.
                if (bodyBegun_ || !open_.empty()) return false;
                beforeHead_ = false;
                bodyBegun_ = true;
                return true;
            case Role::Text:
                beforeHead_ = false;
                if (e->name == "textarea") bodyBegun_ = true;
                return textUpToEndTag(*e);
            case Role::Void:
                beforeHead_ = false;
                if (e->name != "meta") bodyBegun_ = true;
                return true;
            case Role::Form:
                // A form inside a form is dropped by an HTML5 tree builder.
                if (formOpen_) return false;
                formOpen_ = true;
                break;
            case Role::Anchor:
                for (const KnownElement* o : open_)
                    if (o->role == Role::Anchor) return false;
                break;
            default:
                break;
        }
        beforeHead_ = false;
        bodyBegun_ = true;
        open_.push_back(e);
        return true;
    }

    // Whether an element of `role` may stand where `top` is the innermost
    // open element.
    static bool fits(Role role, Role top) {
        switch (top) {
            case Role::Table:
                return role == Role::Section || role == Role::Row;
            case Role::Section:
                return role == Role::Row;
            case Role::Row:
                return role == Role::Cell;
            case Role::Select:
                return role == Role::Option || role == Role::Optgroup;
            case Role::Optgroup:
                return role == Role::Option;
            case Role::Option:
                return false;
            default:
                break;
        }
        switch (role) {
            case Role::Section:
            case Role::Row:
            case Role::Cell:
            case Role::Option:
            case Role::Optgroup:
                return false;
            default:
                return true;
        }
    }

    // The text of a title or textarea: plain text, then its end tag. A
    // textarea's text holds no CR (an HTML5 parser turns CRs into LFs).
    bool textUpToEndTag(const KnownElement& e) {
        const char* to = static_cast<const char*>(std::memchr(at_, '<', end_ - at_));
        if (!to) return false;
        bool blank = false;
        if (!plainText(at_, to, blank)) return false;
        if (e.name == "textarea" && std::memchr(at_, '\r', to - at_)) return false;
        at_ = to;
        const size_t size = e.name.size();
        if (end_ - at_ < static_cast<qsizetype>(size + 2) || at_[1] != '/' ||
            !sameFolded(std::string_view(at_ + 2, size), e.name))
            return false;
        at_ += 2 + size;
        while (at_ < end_ && isTagBlank(*at_)) ++at_;
        if (at_ == end_ || *at_ != '>') return false;
        ++at_;
        return true;
    }

    Role top() const { return open_.empty() ? Role::Plain : open_.back()->role; }

    const char* at_;
    const char* const end_;
    std::vector<const KnownElement*> open_;  // html, head and body aside
    bool seenMarkup_ = false;                // any tag or doctype
    bool rootSeen_ = false;
    bool beforeHead_ = true;  // nothing but a doctype, <html>, comments and blanks yet
    bool bodyBegun_ = false;
    bool formOpen_ = false;
    // After </body> or </html> an HTML5 tree builder goes on with the body,
    // libxml2 does not.
    bool closed_ = false;
};

// The look-up's state across the parser's callbacks.
class FieldSearch {
  public:
    explicit FieldSearch(QByteArray wanted) : wanted_(std::move(wanted)) {}

    // The field's value, nullopt for none, or undecided when the parser
    // reported an error: it has then read the page in its own way.
    StreamedField run(const QByteArray& utf8) {
        htmlSAXHandler sax{};
        sax.startElement = &FieldSearch::onStart;
        sax.endElement = &FieldSearch::onEnd;
        sax.characters = &FieldSearch::onText;
        sax.ignorableWhitespace = &FieldSearch::onText;
        sax.cdataBlock = &FieldSearch::onText;
        sax.warning = &FieldSearch::onWarning;
        sax.error = &FieldSearch::onError;
        sax.fatalError = &FieldSearch::onError;
        ctxt_ = htmlCreatePushParserCtxt(&sax, this, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8);
        if (!ctxt_) return {};
        htmlCtxtUseOptions(ctxt_, HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NODEFDTD);
        htmlParseChunk(ctxt_, utf8.constData(), static_cast<int>(utf8.size()), 1);
        htmlFreeParserCtxt(ctxt_);
        if (state_ == State::Textarea || state_ == State::Select) finish();
        if (failed_) return {};
        StreamedField answer{true, std::nullopt};
        if (value_) answer.value = QString::fromStdString(*value_);
        return answer;
    }

  private:
    enum class State { Searching, Textarea, Select, Done };

    struct Option {
        bool selected = false;
        std::optional<std::string> value;
        std::string text;
    };

    static FieldSearch& self(void* ctx) { return *static_cast<FieldSearch*>(ctx); }

    static void onWarning(void*, const char*, ...) {}
    static void onError(void* ctx, const char*, ...) {
        FieldSearch& s = self(ctx);
        if (s.state_ != State::Done) s.failed_ = true;
    }

    static void onStart(void* ctx, const xmlChar* tag, const xmlChar** attributes) {
        FieldSearch& s = self(ctx);
        switch (s.state_) {
            case State::Searching:
                s.start(tag, attributes);
                break;
            case State::Textarea:
                ++s.depth_;
                break;
            case State::Select:
                ++s.depth_;
                if (is(tag, "option")) {
                    Option o;
                    o.selected = attribute(attributes, "selected") != nullptr;
                    if (const char* v = attribute(attributes, "value")) o.value = v;
                    s.options_.push_back(std::move(o));
                    s.inOption_ = true;
                }
                break;
            case State::Done:
                break;
        }
    }

    static void onEnd(void* ctx, const xmlChar* tag) {
        FieldSearch& s = self(ctx);
        if (s.state_ != State::Textarea && s.state_ != State::Select) return;
        if (s.state_ == State::Select && is(tag, "option")) s.inOption_ = false;
        if (s.depth_-- == 0) s.finish();
    }

    static void onText(void* ctx, const xmlChar* text, int size) {
        FieldSearch& s = self(ctx);
        const char* chars = reinterpret_cast<const char*>(text);
        if (s.state_ == State::Textarea) {
            // One newline right after <textarea> is not part of the value.
            if (s.atTextareaStart_ && size > 0 && chars[0] == '\n') {
                ++chars;
                --size;
            }
            s.atTextareaStart_ = false;
            s.text_.append(chars, static_cast<size_t>(size));
        } else if (s.state_ == State::Select && s.inOption_) {
            s.options_.back().text.append(chars, static_cast<size_t>(size));
        }
    }

    void start(const xmlChar* tag, const xmlChar** attributes) {
        const char* n = attribute(attributes, "name");
        if (!n || wanted_ != n) return;
        if (is(tag, "input") || is(tag, "button")) {
            const char* v = attribute(attributes, "value");
            value_ = v ? v : "";
            stop();
        } else if (is(tag, "textarea")) {
            state_ = State::Textarea;
            atTextareaStart_ = true;
        } else if (is(tag, "select")) {
            state_ = State::Select;
            multiple_ = attribute(attributes, "multiple") != nullptr;
        } else {
            stop();
        }
    }

    void finish() {
        if (state_ == State::Textarea) {
            value_ = text_;
        } else if (options_.empty()) {
            value_ = std::string();
        } else {
            const Option* chosen = multiple_ ? nullptr : &options_.front();
            for (const Option& o : options_) {
                if (o.selected) {
                    chosen = &o;
                    break;
                }
            }
            value_ = chosen ? (chosen->value ? *chosen->value : optionLabel(chosen->text))
                            : std::string();
        }
        stop();
    }

    void stop() {
        state_ = State::Done;
        xmlStopParser(ctxt_);
    }

    const QByteArray wanted_;
    htmlParserCtxtPtr ctxt_ = nullptr;
    State state_ = State::Searching;
    int depth_ = 0;  // elements open inside the field
    bool atTextareaStart_ = false;
    std::string text_;
    bool multiple_ = false;
    bool inOption_ = false;
    std::vector<Option> options_;
    std::optional<std::string> value_;
    bool failed_ = false;
};

}  // namespace

bool isPlainMarkup(const QByteArray& utf8) { return PlainMarkup(utf8).check(); }

StreamedField readFieldStreaming(const QByteArray& utf8, const QByteArray& name) {
    if (!isPlainMarkup(utf8)) return {};
    return FieldSearch(name).run(utf8);
}

StreamedField findFieldValueStreaming(const QByteArray& html, const QString& name) {
    const std::optional<QByteArray> utf8 = pageToParse(html);
    if (!utf8) return {true, std::nullopt};
    return readFieldStreaming(*utf8, name.toUtf8());
}

}  // namespace tarnwick
