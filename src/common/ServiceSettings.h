// The settings file of the logger's service: /etc/default/tarnwick, or an
// instance's /etc/tarnwick/NAME.conf. systemd hands its values to the logger
// as its environment (EnvironmentFile=); a program that needs the same values
// without being started by systemd (the report, for an instance's roster and
// log) reads the file here, by the same rules:
//
//     # a comment (also "; a comment"); blank lines are skipped
//     KEY=value           blanks before the value and after it are dropped
//     KEY="a value"       quoted: kept as it stands; \" \\ \$ \` escaped
//     KEY='a value'       quoted: kept as it stands, no escapes
//
// A backslash at the end of a line joins the next to it; elsewhere outside
// quotes it keeps the character after it as it stands.
// KEY is letters, digits and underscores, not starting with a digit; a later
// line for a KEY wins. A line that is not a KEY=value assignment, or a quote
// left open at the end of the file, is refused with its file and line.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>

namespace tarnwick {

// The values of a settings file, or why it was refused: "FILE:LINE: what is
// wrong" or "FILE: why it cannot be read".
struct ServiceSettingsLoad {
    std::optional<QHash<QString, QString>> values;
    QString error;
};

// Reads `text`; `file` names it in messages.
ServiceSettingsLoad parseServiceSettings(const QByteArray& text, const QString& file);
// Reads the file at `path`.
ServiceSettingsLoad readServiceSettings(const QString& path);

}  // namespace tarnwick
