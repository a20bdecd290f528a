#include "HtmlField.h"

#include <gumbo.h>

#include <QStringDecoder>
#include <cstring>
#include <memory>
#include <vector>

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

struct OutputDeleter {
    void operator()(GumboOutput* o) const { gumbo_destroy_output(&kGumboDefaultOptions, o); }
};

}  // namespace

QString decodePage(const QByteArray& body) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(body);
    if (!utf8.hasError()) return text;
    return QString::fromLatin1(body);
}

std::optional<QString> findFieldValue(const QByteArray& html, const QString& name) {
    const QByteArray utf8 = decodePage(html).toUtf8();
    const QByteArray wanted = name.toUtf8();
    std::unique_ptr<GumboOutput, OutputDeleter> doc(gumbo_parse_with_options(
        &kGumboDefaultOptions, utf8.constData(), static_cast<size_t>(utf8.size())));
    if (!doc) return std::nullopt;
    const GumboNode* hit = findByName(doc->root, wanted.constData());
    if (!hit) return std::nullopt;
    std::optional<std::string> value = elementValue(hit);
    if (!value) return std::nullopt;
    return QString::fromStdString(*value);
}

}  // namespace tarnwick
