// The roster file: the user's own sensors, one a line in slot order,
//
//     # ROM code,       name,          offset in degrees C (optional), alarms
//     9C000000B4A89828, Freezer door,  -0.25, high=-15, delay=10m
//     06000000A4EC7428, Living room
//     B900000027CA8F28
//     E6000000B4E6AC28, ,              +0.3
//     5D000000B4F0A928, Pipes, low=3, hysteresis=1
//
// UTF-8, LF or CR LF line ends, blanks around fields ignored, blank lines and
// lines whose first non-blank character is "#" skipped. A name may hold
// blanks and any letters but no comma; an offset is a decimal number with a
// dot and at most three decimals, within 10 degrees either way. Alarm
// settings (AlarmLimits) follow as key=value fields, in any order: low=,
// high= (degrees, -100 to 200), hysteresis= (0 to 50), delay= (90, 90s, 5m,
// 2h; at most a day) and fault= (passes, 1 to 1000).
//
// Which file a run reads: --roster FILE, else TARNWICK_ROSTER, else
// Tarnwick/roster.conf in the user's config folder or a system one (XDG, as
// QStandardPaths finds it: $XDG_CONFIG_HOME, then $XDG_CONFIG_DIRS such as
// /etc/xdg), else none: the compiled-in roster.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "SensorRoster.h"

namespace tarnwick {

// The environment variable that names the roster file for one run.
inline constexpr char kRosterVariable[] = "TARNWICK_ROSTER";
// The roster's name inside a config folder.
inline constexpr char kRosterConfigName[] = "Tarnwick/roster.conf";
// Offsets beyond this, in thousandths of a degree, are refused.
inline constexpr int kMaxOffsetMilliCelsius = 10'000;

struct RosterLocation {
    enum class Source { Option, Environment, ConfigFolder, Compiled };
    Source source = Source::Compiled;
    QString path;  // empty for Compiled
};

// Where this run's roster comes from. `option` is the value of --roster when
// it was given; `environment` that of TARNWICK_ROSTER, empty when unset.
RosterLocation locateRoster(const std::optional<QString>& option, const QString& environment);

// A roster, or why it was refused: one line, "FILE:LINE: what is wrong" or
// "FILE: what is wrong".
struct RosterLoad {
    std::optional<SensorRoster> roster;
    QString error;
};

// Reads the text of a roster file; `file` names it in the roster and in
// messages.
RosterLoad parseRoster(const QByteArray& text, const QString& file);
// Reads the file at the location (the compiled-in roster for Compiled).
RosterLoad loadRoster(const RosterLocation& location);
// locateRoster, then loadRoster: what a program calls at start.
RosterLoad findRoster(const std::optional<QString>& option, const QString& environment);

// For a program's --help: where the roster is found, and an example.
QString rosterHelp();

}  // namespace tarnwick
