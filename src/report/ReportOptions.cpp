#include "ReportOptions.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QFileInfo>
#include <variant>
#include <vector>

#include "RosterFile.h"

namespace tarnwick {

namespace {

const char* const kDescription =
    "Reads Tarnwick log files and turns their raw temperature words into degrees:\n"
    "a per-sensor summary (the default), a CSV table, InfluxDB line protocol and a\n"
    "chart.\n"
    "\n"
    "Several logs (a rotated series) are read as one, in time order; logs\n"
    "compressed with gzip (tarnwick.log.2.gz) are read as they are.\n"
    "A word \"0000\" is the logger's mark for a reading that failed its check; it is\n"
    "counted as missing, never as 0 degrees (so a sensor at exactly 0 C cannot be\n"
    "told from a failed reading in this log format). A word \"5005\" (85 C; \"AA00\"\n"
    "for a family-10 sensor) is what a sensor reports after a power-on reset; it is\n"
    "counted as a power-on reading and left out of the figures, the CSV and the\n"
    "chart unless --keep-power-on.\n"
    "Lines that are not records are counted and reported with their line numbers.\n"
    "\n"
    "The roster the logger polled names the log's columns: the report reads the\n"
    "same file the same way. Its names head the CSV's columns beside the ROM codes\n"
    "(\"Freezer door (9C000000B4A89828)\"), the chart's legend and the summary, its\n"
    "offsets are added to every reading in degrees, and a family-10 sensor's word\n"
    "counts half degrees. A column the roster has no sensor for is shown by its\n"
    "number (\"sensor 6\"). The log itself is never changed.\n"
    "\n"
    "Exit status: 0 done, 1 a log could not be read or an output not written,\n"
    "2 a mistake on the command line or in the roster.\n"
    "\n";

std::optional<WallSeconds> parseIsoTime(const QString& text, bool endOfDay) {
    const QString trimmed = text.trimmed();
    const QDate date = QDate::fromString(trimmed, Qt::ISODate);
    if (date.isValid() && trimmed.size() == 10) {
        return toWallSeconds(date, endOfDay ? QTime(23, 59, 59) : QTime(0, 0));
    }
    QDateTime time = QDateTime::fromString(trimmed, Qt::ISODate);
    if (!time.isValid()) return std::nullopt;
    if (time.timeSpec() != Qt::LocalTime) time = time.toLocalTime();
    return toWallSeconds(time);
}

// The slot of a sensor named by its number, its name in the roster (in either
// case) or its ROM code; else why not.
std::variant<int, QString> sensorSlot(const QString& item, const SensorLabels& labels) {
    const QString none = QStringLiteral(
                             "--sensors takes sensor numbers 1-16, names from the roster or ROM "
                             "codes, separated by commas; \"%1\" is none of these")
                             .arg(item);
    if (item.isEmpty()) return none;
    bool isNumber = false;
    const int n = item.toInt(&isNumber);
    if (isNumber) return n >= 1 && n <= kMaxSensors ? std::variant<int, QString>(n - 1) : none;
    std::vector<int> matches;
    for (int slot = 0; slot < kMaxSensors; ++slot) {
        if (item.compare(labels.name(slot), Qt::CaseInsensitive) == 0 ||
            item.compare(labels.rom(slot), Qt::CaseInsensitive) == 0)
            matches.push_back(slot);
    }
    if (matches.empty()) return none;
    if (matches.size() == 1) return matches.front();
    return QStringLiteral(
               "--sensors: \"%1\" names sensors %2 and %3 of the roster; give their "
               "numbers")
        .arg(item)
        .arg(matches[0] + 1)
        .arg(matches[1] + 1);
}

}  // namespace

ParsedArguments parseArguments(const QStringList& arguments, const QString& version,
                               const QString& environmentRoster) {
    ParsedArguments result;
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription) + rosterHelp());
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
    const QCommandLineOption versionOption({"v", "version"}, "Show the version and exit.");
    const QCommandLineOption unit("unit",
                                  "Degrees Celsius or Fahrenheit. Default: F where the "
                                  "locale measures in US units, C elsewhere.",
                                  "C|F");
    const QCommandLineOption from("from",
                                  "Leave out records before TIME (ISO 8601 local time, "
                                  "2026-12-08 or 2026-12-08T09:57:33).",
                                  "TIME");
    const QCommandLineOption to("to",
                                "Leave out records after TIME (a date alone: after the "
                                "end of that day).",
                                "TIME");
    const QCommandLineOption sensors(
        "sensors",
        "Only these sensors: numbers 1-16, names from the roster or ROM codes, separated by "
        "commas (1,3,Freezer door).",
        "LIST");
    const QCommandLineOption keepPowerOn(
        "keep-power-on", "Count power-on readings (\"5005\", \"AA00\") as 85 C temperatures.");
    const QCommandLineOption roster(
        "roster", "Name and calibrate the sensors by the roster FILE (see above).", "FILE");
    const QCommandLineOption locale(
        "locale", "The locale the logs were written under (as de_DE). Default: this system's.",
        "NAME");
    const QCommandLineOption csv("csv",
                                 "Write a CSV table to FILE (- for standard output; "
                                 "the summary is then not printed).",
                                 "FILE");
    const QCommandLineOption influx(
        "influx",
        "Write InfluxDB line protocol to FILE (- for standard output; the summary is "
        "then not printed): temperature,sensor=ROM celsius=DEGREES TIME, the time in "
        "UTC nanoseconds by this system's time zone (TZ).",
        "FILE");
    const QCommandLineOption plot("plot", "Write a chart to FILE, PNG or SVG by its extension.",
                                  "FILE");
    const QCommandLineOption show("show",
                                  "Show the chart in a window (drag to zoom, wheel to "
                                  "zoom, right click or 0 to zoom out).");
    const QCommandLineOption follow(
        "follow",
        "With --show: keep the window open and add each record as the logger writes it "
        "to the log written last (the newest of the LOGs), through rotations.");
    parser.addOptions({help, versionOption, unit, from, to, sensors, keepPowerOn, roster, locale,
                       csv, influx, plot, show, follow});
    parser.addPositionalArgument("LOG", "Log files written by Tarnwick.", "LOG...");

    const auto fail = [&](const QString& message) {
        result.outcome = ParsedArguments::Error;
        result.text = message;
        return result;
    };
    if (!parser.parse(arguments)) return fail(parser.errorText());
    if (parser.isSet(help)) {
        result.outcome = ParsedArguments::Help;
        result.text = parser.helpText();
        return result;
    }
    if (parser.isSet(versionOption)) {
        result.outcome = ParsedArguments::Version;
        result.text = QStringLiteral("tarnwick-report %1\n").arg(version);
        return result;
    }

    ReportOptions& o = result.options;
    o.logs = parser.positionalArguments();
    if (o.logs.isEmpty()) return fail(QStringLiteral("no log file given"));

    o.unit = QLocale::system().measurementSystem() == QLocale::ImperialUSSystem ? Unit::Fahrenheit
                                                                                : Unit::Celsius;
    if (parser.isSet(unit)) {
        const QString u = parser.value(unit).toUpper();
        if (u == u"C")
            o.unit = Unit::Celsius;
        else if (u == u"F")
            o.unit = Unit::Fahrenheit;
        else
            return fail(
                QStringLiteral("--unit must be C or F, not \"%1\"").arg(parser.value(unit)));
    }

    for (const auto& [option, endOfDay] : {std::pair{&from, false}, std::pair{&to, true}}) {
        if (!parser.isSet(*option)) continue;
        const std::optional<WallSeconds> t = parseIsoTime(parser.value(*option), endOfDay);
        if (!t) {
            return fail(QStringLiteral("--%1 must be an ISO 8601 date or date and time "
                                       "(2026-12-08 or 2026-12-08T09:57:33), not \"%2\"")
                            .arg(option->names().front(), parser.value(*option)));
        }
        (endOfDay ? o.selection.to : o.selection.from) = *t;
    }
    if (o.selection.from && o.selection.to && *o.selection.from > *o.selection.to)
        return fail(QStringLiteral("--from is later than --to"));

    const RosterLoad load =
        findRoster(parser.isSet(roster) ? std::optional(parser.value(roster)) : std::nullopt,
                   environmentRoster);
    if (!load.roster) return fail(load.error);
    o.labels = SensorLabels(*load.roster);

    if (parser.isSet(sensors)) {
        o.sensorsGiven = true;
        std::array<bool, kMaxSensors> chosen{};
        for (const QString& item : parser.value(sensors).split(u',')) {
            const std::variant<int, QString> slot = sensorSlot(item.trimmed(), o.labels);
            if (const QString* why = std::get_if<QString>(&slot)) return fail(*why);
            chosen[std::get<int>(slot)] = true;
        }
        for (int slot = 0; slot < kMaxSensors; ++slot)
            if (chosen[slot]) o.selection.sensorSlots.push_back(slot);
    } else {
        for (int slot = 0; slot < kMaxSensors; ++slot) o.selection.sensorSlots.push_back(slot);
    }
    o.selection.keepPowerOn = parser.isSet(keepPowerOn);

    o.locale = QLocale();
    if (parser.isSet(locale)) {
        const QString name = parser.value(locale);
        const QLocale l(name);
        if (l.language() == QLocale::C && name != u"C" && name != u"POSIX")
            return fail(QStringLiteral("--locale: unknown locale \"%1\"").arg(name));
        o.locale = l;
    }

    o.csvPath = parser.value(csv);
    if (parser.isSet(csv) && o.csvPath.isEmpty())
        return fail(QStringLiteral("--csv needs a file name or -"));
    o.influxPath = parser.value(influx);
    if (parser.isSet(influx) && o.influxPath.isEmpty())
        return fail(QStringLiteral("--influx needs a file name or -"));
    if (o.csvPath == u"-" && o.influxPath == u"-")
        return fail(QStringLiteral("--csv and --influx cannot both go to standard output"));
    o.plotPath = parser.value(plot);
    if (parser.isSet(plot)) {
        const QString suffix = QFileInfo(o.plotPath).suffix().toLower();
        if (suffix != u"png" && suffix != u"svg")
            return fail(QStringLiteral("--plot: the file name must end in .png or .svg, not \"%1\"")
                            .arg(o.plotPath));
        o.plotSvg = suffix == u"svg";
    }
    o.show = parser.isSet(show);
    if (parser.isSet(follow)) {
        if (!o.show) return fail(QStringLiteral("--follow needs --show"));
        // The logger writes to the newest of a rotated series.
        o.followPath = o.logs.front();
        for (const QString& log : o.logs) {
            if (QFileInfo(log).lastModified() > QFileInfo(o.followPath).lastModified())
                o.followPath = log;
        }
    }

    // An output must never overwrite one of the logs it is made from.
    for (const QString& output : {o.csvPath, o.influxPath, o.plotPath}) {
        if (output.isEmpty() || output == u"-") continue;
        const QFileInfo out(output);
        for (const QString& log : o.logs) {
            if (out.exists() && QFileInfo(log).exists() &&
                out.canonicalFilePath() == QFileInfo(log).canonicalFilePath())
                return fail(QStringLiteral("\"%1\" is one of the logs; it would be overwritten")
                                .arg(output));
        }
    }

    result.outcome = ParsedArguments::Run;
    return result;
}

}  // namespace tarnwick
