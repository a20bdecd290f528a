#include "ServiceSettings.h"

#include <QFile>
#include <QRegularExpression>

namespace tarnwick {

namespace {

// Settings files are a few kilobytes; anything this long is not one.
constexpr qint64 kMaxSettingsBytes = 1024 * 1024;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The characters a backslash escapes within double quotes, as in a shell.
bool escapedInDoubleQuotes(char c) { return c == '"' || c == '\\' || c == '`' || c == '$'; }

bool isKey(const QByteArray& key) {
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return pattern.match(QString::fromLatin1(key)).hasMatch();
}

}  // namespace

ServiceSettingsLoad parseServiceSettings(const QByteArray& text, const QString& file) {
    enum class State {
        BeforeKey,
        Key,
        BeforeValue,
        Value,
        ValueEscape,
        SingleQuoted,
        DoubleQuoted,
        DoubleQuotedEscape,
        Comment,
        CommentEscape,
    };
    QHash<QString, QString> values;
    State state = State::BeforeKey;
    QByteArray key;
    QByteArray value;
    qsizetype valueKept = 0;  // bytes of value up to its last one not a trailing blank
    int line = 1;
    int assignmentLine = 1;  // where the assignment being read began
    const auto refuse = [&](int at, const QString& why) {
        return ServiceSettingsLoad{std::nullopt,
                                   QStringLiteral("%1:%2: %3").arg(file).arg(at).arg(why)};
    };
    // A line without "=" or with a key that cannot be one.
    const auto notAssignment = [&](int at) {
        return refuse(at, QStringLiteral("expected KEY=value (KEY in letters, digits and "
                                         "underscores), or a # comment"));
    };
    std::optional<ServiceSettingsLoad> refusal;
    const auto assign = [&] {
        key = key.trimmed();
        if (!isKey(key)) {
            refusal = notAssignment(assignmentLine);
            return;
        }
        value.truncate(valueKept);
        values.insert(QString::fromUtf8(key), QString::fromUtf8(value));
        key.clear();
        value.clear();
        valueKept = 0;
    };
    const auto keep = [&](char c) {
        value += c;
        valueKept = value.size();
    };

    for (const char c : text) {
        const bool newline = c == '\n';
        switch (state) {
            case State::BeforeKey:
                assignmentLine = line;
                if (c == '#' || c == ';') {
                    state = State::Comment;
                } else if (!newline && !isBlank(c)) {
                    key += c;
                    state = State::Key;
                }
                break;
            case State::Key:
                if (newline) return notAssignment(line);
                if (c == '=') {
                    state = State::BeforeValue;
                } else {
                    key += c;
                }
                break;
            case State::BeforeValue:
                if (newline) {
                    assign();
                    state = State::BeforeKey;
                } else if (c == '\'') {
                    state = State::SingleQuoted;
                } else if (c == '"') {
                    state = State::DoubleQuoted;
                } else if (c == '\\') {
                    state = State::ValueEscape;
                } else if (!isBlank(c)) {
                    keep(c);
                    state = State::Value;
                }
                break;
            case State::Value:
                if (newline) {
                    assign();
                    state = State::BeforeKey;
                } else if (c == '\\') {
                    state = State::ValueEscape;
                } else if (isBlank(c)) {
                    value += c;  // dropped unless more follows
                } else {
                    keep(c);
                }
                break;
            case State::ValueEscape:
                if (!newline) keep(c);
                state = State::Value;
                break;
            case State::SingleQuoted:
                if (c == '\'') {
                    state = State::BeforeValue;
                } else {
                    keep(c);
                }
                break;
            case State::DoubleQuoted:
                if (c == '"') {
                    state = State::BeforeValue;
                } else if (c == '\\') {
                    state = State::DoubleQuotedEscape;
                } else {
                    keep(c);
                }
                break;
            case State::DoubleQuotedEscape:
                if (escapedInDoubleQuotes(c)) {
                    keep(c);
                } else if (!newline) {
                    keep('\\');
                    keep(c);
                }
                state = State::DoubleQuoted;
                break;
            case State::Comment:
                if (c == '\\') state = State::CommentEscape;
                if (newline) state = State::BeforeKey;
                break;
            case State::CommentEscape:
                state = State::Comment;
                break;
        }
        if (refusal) return *refusal;
        if (newline) ++line;
    }
    switch (state) {
        case State::Key:
            return notAssignment(line);
        case State::SingleQuoted:
        case State::DoubleQuoted:
        case State::DoubleQuotedEscape:
            return refuse(assignmentLine, QStringLiteral("a quote is not closed"));
        case State::BeforeValue:
        case State::Value:
        case State::ValueEscape:
            assign();
            if (refusal) return *refusal;
            break;
        default:
            break;
    }
    return {std::move(values), QString()};
}

ServiceSettingsLoad readServiceSettings(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt,
                QStringLiteral("%1: cannot read the settings: %2").arg(path, file.errorString())};
    const QByteArray text = file.read(kMaxSettingsBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return {std::nullopt,
                QStringLiteral("%1: cannot read the settings: %2").arg(path, file.errorString())};
    if (text.size() > kMaxSettingsBytes)
        return {std::nullopt,
                QStringLiteral("%1: over 1 MiB, too long for a settings file").arg(path)};
    return parseServiceSettings(text, path);
}

}  // namespace tarnwick
