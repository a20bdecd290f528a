#include "ReportOptions.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QFileInfo>
#include <array>
#include <functional>
#include <optional>
#include <variant>
#include <vector>

#include "RosterFile.h"

namespace tarnwick {

namespace {

const char* const kDescription =
    "Reads Tarnwick log files and turns their raw temperature words into degrees:\n"
    "a per-sensor summary (the default), alarm periods, daily figures, a CSV table,\n"
    "InfluxDB line protocol and a chart.\n"
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

// What the options are applied to: the options, and the roster that names
// the sensors.
class Parsing {
  public:
    Parsing(const QCommandLineParser& parser, const QString& environmentRoster,
            ReportOptions& options)
        : options(options), parser_(parser), environmentRoster_(environmentRoster) {}

    // Reads the roster (--roster, else TARNWICK_ROSTER, else the config
    // folders) into the options' labels the first time it is needed: --sensors
    // names sensors by it. Why not, when it cannot be read.
    std::optional<QString> readRoster() {
        if (rosterRead_) return std::nullopt;
        rosterRead_ = true;
        const QString option = QStringLiteral("roster");
        const RosterLoad load =
            findRoster(parser_.isSet(option) ? std::optional(parser_.value(option)) : std::nullopt,
                       environmentRoster_);
        if (!load.roster) return load.error;
        options.labels = SensorLabels(*load.roster);
        options.roster = *load.roster;
        return std::nullopt;
    }

    ReportOptions& options;

  private:
    const QCommandLineParser& parser_;
    const QString& environmentRoster_;
    bool rosterRead_ = false;
};

// Applies a given option's value (its last; empty for a switch), or says why not.
using Apply = std::function<std::optional<QString>(const QString& value, Parsing&)>;

struct OptionRow {
    const char* name;
    const char* valueName;  // nullptr for a switch
    const char* description;
    Apply apply;
};

std::optional<QString> unit(const QString& value, Parsing& p) {
    const QString u = value.toUpper();
    if (u == u"C")
        p.options.unit = Unit::Celsius;
    else if (u == u"F")
        p.options.unit = Unit::Fahrenheit;
    else
        return QStringLiteral("--unit must be C or F, not \"%1\"").arg(value);
    return std::nullopt;
}

// --from or --to: a date alone is its first or, for `endOfDay`, its last second.
Apply timeBound(const char* option, std::optional<WallSeconds> Selection::*bound, bool endOfDay) {
    return [=](const QString& value, Parsing& p) -> std::optional<QString> {
        const std::optional<WallSeconds> t = parseIsoTime(value, endOfDay);
        if (!t) {
            return QStringLiteral(
                       "--%1 must be an ISO 8601 date or date and time "
                       "(2026-12-08 or 2026-12-08T09:57:33), not \"%2\"")
                .arg(QLatin1String(option), value);
        }
        p.options.selection.*bound = *t;
        return std::nullopt;
    };
}

std::optional<QString> sensors(const QString& value, Parsing& p) {
    if (std::optional<QString> why = p.readRoster()) return why;
    ReportOptions& o = p.options;
    o.sensorsGiven = true;
    std::array<bool, kMaxSensors> chosen{};
    for (const QString& item : value.split(u',')) {
        const std::variant<int, QString> slot = sensorSlot(item.trimmed(), o.labels);
        if (const QString* why = std::get_if<QString>(&slot)) return *why;
        chosen[std::get<int>(slot)] = true;
    }
    o.selection.sensorSlots.clear();
    for (int slot = 0; slot < kMaxSensors; ++slot)
        if (chosen[slot]) o.selection.sensorSlots.push_back(slot);
    return std::nullopt;
}

std::optional<QString> locale(const QString& name, Parsing& p) {
    const QLocale l(name);
    if (l.language() == QLocale::C && name != u"C" && name != u"POSIX")
        return QStringLiteral("--locale: unknown locale \"%1\"").arg(name);
    p.options.locale = l;
    return std::nullopt;
}

// --csv or --influx: a file, or "-" for standard output.
Apply outputPath(const char* option, QString ReportOptions::*path) {
    return [=](const QString& value, Parsing& p) -> std::optional<QString> {
        if (value.isEmpty())
            return QStringLiteral("--%1 needs a file name or -").arg(QLatin1String(option));
        p.options.*path = value;
        return std::nullopt;
    };
}

std::optional<QString> plot(const QString& path, Parsing& p) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != u"png" && suffix != u"svg")
        return QStringLiteral("--plot: the file name must end in .png or .svg, not \"%1\"")
            .arg(path);
    p.options.plotPath = path;
    p.options.plotSvg = suffix == u"svg";
    return std::nullopt;
}

// A switch that turns on one of the options.
Apply turnOn(bool ReportOptions::*option) {
    return [=](const QString&, Parsing& p) -> std::optional<QString> {
        p.options.*option = true;
        return std::nullopt;
    };
}

// --follow comes after --show in the table, so --show has been applied.
std::optional<QString> follow(const QString&, Parsing& p) {
    ReportOptions& o = p.options;
    if (!o.show) return QStringLiteral("--follow needs --show");
    // The logger writes to the newest of a rotated series.
    o.followPath = o.logs.front();
    for (const QString& log : o.logs) {
        if (QFileInfo(log).lastModified() > QFileInfo(o.followPath).lastModified())
            o.followPath = log;
    }
    return std::nullopt;
}

// The options in the order --help lists them, and applied in.
const std::vector<OptionRow>& optionTable() {
    static const std::vector<OptionRow> table = {
        {"unit", "C|F",
         "Degrees Celsius or Fahrenheit. Default: F where the locale measures in US units, C "
         "elsewhere.",
         unit},
        {"from", "TIME",
         "Leave out records before TIME (ISO 8601 local time, 2026-12-08 or "
         "2026-12-08T09:57:33).",
         timeBound("from", &Selection::from, false)},
        {"to", "TIME", "Leave out records after TIME (a date alone: after the end of that day).",
         timeBound("to", &Selection::to, true)},
        {"sensors", "LIST",
         "Only these sensors: numbers 1-16, names from the roster or ROM codes, separated by "
         "commas (1,3,Freezer door).",
         sensors},
        {"keep-power-on", nullptr,
         "Count power-on readings (\"5005\", \"AA00\") as 85 C temperatures.",
         [](const QString&, Parsing& p) -> std::optional<QString> {
             p.options.selection.keepPowerOn = true;
             return std::nullopt;
         }},
        {"roster", "FILE", "Name and calibrate the sensors by the roster FILE (see above).",
         [](const QString&, Parsing& p) { return p.readRoster(); }},
        {"locale", "NAME",
         "The locale the logs were written under (as de_DE). Default: this system's.", locale},
        {"alarms", nullptr,
         "List the alarm periods instead of the summary: start, end (or \"ongoing\"), duration, "
         "sensor, state (low, high, fault) and the extreme reached, judged by the roster's alarm "
         "settings as they are now. With --csv, the CSV holds these periods.",
         turnOn(&ReportOptions::alarms)},
        {"daily", nullptr,
         "Print each day's figures per sensor instead of the summary: readings, missing and "
         "power-on readings, minimum, mean and maximum with the times of the minimum and "
         "maximum. With --csv, the CSV holds these rows.",
         turnOn(&ReportOptions::daily)},
        {"csv", "FILE",
         "Write a CSV table to FILE (- for standard output; the summary is then not printed).",
         outputPath("csv", &ReportOptions::csvPath)},
        {"influx", "FILE",
         "Write InfluxDB line protocol to FILE (- for standard output; the summary is then not "
         "printed): temperature,sensor=ROM celsius=DEGREES TIME, the time in UTC nanoseconds by "
         "this system's time zone (TZ).",
         outputPath("influx", &ReportOptions::influxPath)},
        {"plot", "FILE",
         "Write a chart to FILE, PNG or SVG by its extension; the roster's alarm limits are "
         "dashed lines.",
         plot},
        {"show", nullptr,
         "Show the chart in a window (drag to zoom, wheel to zoom, right click or 0 to zoom "
         "out).",
         turnOn(&ReportOptions::show)},
        {"follow", nullptr,
         "With --show: keep the window open and add each record as the logger writes it to the "
         "log written last (the newest of the LOGs), through rotations.",
         follow},
    };
    return table;
}

// What no single option decides: why the options together cannot run.
std::optional<QString> checkTogether(const ReportOptions& o) {
    if (o.selection.from && o.selection.to && *o.selection.from > *o.selection.to)
        return QStringLiteral("--from is later than --to");
    if ((o.alarms || o.daily) && o.influxPath == u"-" && o.csvPath.isEmpty())
        return QStringLiteral(
                   "--%1 prints to standard output, which --influx - takes; give "
                   "--influx a file, or --csv FILE for the table")
            .arg(o.alarms ? QStringLiteral("alarms") : QStringLiteral("daily"));
    if (o.alarms && o.daily && !o.csvPath.isEmpty())
        return QStringLiteral("--alarms and --daily cannot share one --csv table");
    if (o.alarms && o.roster.file().isEmpty())
        return QStringLiteral(
            "--alarms judges by a roster file's alarm settings, and no roster "
            "file was found (--roster FILE)");
    if (o.csvPath == u"-" && o.influxPath == u"-")
        return QStringLiteral("--csv and --influx cannot both go to standard output");
    // An output must never overwrite one of the logs it is made from.
    for (const QString& output : {o.csvPath, o.influxPath, o.plotPath}) {
        if (output.isEmpty() || output == u"-") continue;
        const QFileInfo out(output);
        for (const QString& log : o.logs) {
            if (out.exists() && QFileInfo(log).exists() &&
                out.canonicalFilePath() == QFileInfo(log).canonicalFilePath())
                return QStringLiteral("\"%1\" is one of the logs; it would be overwritten")
                    .arg(output);
        }
    }
    return std::nullopt;
}

}  // namespace

ParsedArguments parseArguments(const QStringList& arguments, const QString& version,
                               const QString& environmentRoster) {
    ParsedArguments result;
    const auto finish = [&](ParsedArguments::Outcome outcome, const QString& text) {
        result.outcome = outcome;
        result.text = text;
        return result;
    };
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription) + rosterHelp());
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
    const QCommandLineOption versionOption({"v", "version"}, "Show the version and exit.");
    parser.addOptions({help, versionOption});
    std::vector<QCommandLineOption> options;
    for (const OptionRow& row : optionTable()) {
        options.emplace_back(QString::fromLatin1(row.name), QString::fromUtf8(row.description),
                             row.valueName ? QString::fromLatin1(row.valueName) : QString());
        parser.addOption(options.back());
    }
    parser.addPositionalArgument("LOG", "Log files written by Tarnwick.", "LOG...");

    if (!parser.parse(arguments)) return finish(ParsedArguments::Error, parser.errorText());
    if (parser.isSet(help)) return finish(ParsedArguments::Help, parser.helpText());
    if (parser.isSet(versionOption))
        return finish(ParsedArguments::Version,
                      QStringLiteral("tarnwick-report %1\n").arg(version));

    ReportOptions& o = result.options;
    o.logs = parser.positionalArguments();
    if (o.logs.isEmpty())
        return finish(ParsedArguments::Error, QStringLiteral("no log file given"));
    // What holds unless an option says otherwise.
    o.unit = QLocale::system().measurementSystem() == QLocale::ImperialUSSystem ? Unit::Fahrenheit
                                                                                : Unit::Celsius;
    for (int slot = 0; slot < kMaxSensors; ++slot) o.selection.sensorSlots.push_back(slot);
    o.locale = QLocale();

    Parsing parsing(parser, environmentRoster, o);
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (!parser.isSet(options[i])) continue;
        if (std::optional<QString> why = optionTable()[i].apply(parser.value(options[i]), parsing))
            return finish(ParsedArguments::Error, *why);
    }
    std::optional<QString> why = parsing.readRoster();
    if (!why) why = checkTogether(o);
    if (why) return finish(ParsedArguments::Error, *why);
    result.outcome = ParsedArguments::Run;
    return result;
}

}  // namespace tarnwick
