#include "ReportOptions.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <variant>
#include <vector>

#include "RosterFile.h"
#include "ServiceSettings.h"

#ifndef TARNWICK_INSTANCE_SETTINGS
#error "TARNWICK_INSTANCE_SETTINGS must be defined by the build"
#endif

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
    "With --instance, the logs of instances of the service tarnwick@.service, one\n"
    "per adapter, are read instead of LOGs: each with the roster and the log its\n"
    "settings file names (TARNWICK_ROSTER, TARNWICK_LOG; /etc/tarnwick/NAME.conf),\n"
    "the log's rotated files with it. With two or more, the instance's name heads\n"
    "each of its sensors (\"cellar: Freezer (9C000000B4A89828)\", \"cellar: 1\"), and\n"
    "--sensors takes NAME:SENSOR (cellar:1,attic:Loft) as well as SENSOR alone\n"
    "(that sensor of every instance that has it).\n"
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

// A sensor named on the command line: its slot, or why there is none.
struct SlotLookup {
    std::optional<int> slot;
    QString why;
    bool ambiguous = false;  // the name fits two sensors of the roster
};

// The slot of a sensor named by its number, its name in the roster (in either
// case) or its ROM code.
SlotLookup sensorSlot(const QString& item, const SensorLabels& labels) {
    const QString none = QStringLiteral(
                             "--sensors takes sensor numbers 1-16, names from the roster or ROM "
                             "codes, separated by commas; \"%1\" is none of these")
                             .arg(item);
    if (item.isEmpty()) return {std::nullopt, none};
    bool isNumber = false;
    const int n = item.toInt(&isNumber);
    if (isNumber) {
        if (n >= 1 && n <= kMaxSensors) return {n - 1, QString()};
        return {std::nullopt, none};
    }
    std::vector<int> matches;
    for (int slot = 0; slot < kMaxSensors; ++slot) {
        if (item.compare(labels.name(slot), Qt::CaseInsensitive) == 0 ||
            item.compare(labels.rom(slot), Qt::CaseInsensitive) == 0)
            matches.push_back(slot);
    }
    if (matches.empty()) return {std::nullopt, none};
    if (matches.size() == 1) return {matches.front(), QString()};
    return {std::nullopt,
            QStringLiteral("--sensors: \"%1\" names sensors %2 and %3 of the roster%4; give "
                           "their numbers")
                .arg(item)
                .arg(matches[0] + 1)
                .arg(matches[1] + 1)
                .arg(labels.adapter().isEmpty() ? QString()
                                                : QStringLiteral(" of ") + labels.adapter()),
            true};
}

// A service instance's name as systemd's tarnwick@NAME takes it, and as it
// can stand in a file name and before ":" in --sensors.
bool isInstanceName(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^[^/:,=\\s]+$"));
    return pattern.match(name).hasMatch() && name != u"." && name != u"..";
}

// A path in a settings file: the service reads it from the root folder.
QString servicePath(const QString& path) { return QDir::root().absoluteFilePath(path); }

// The roster an instance without TARNWICK_ROSTER polls: the one in a system
// config folder (/etc/xdg/Tarnwick/roster.conf), else the compiled-in one.
// The service's user has no config folder of its own; the report's user's
// is not the service's.
RosterLoad systemRoster() {
    const QString own = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    for (const QString& folder :
         QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation)) {
        const QString path = QDir(folder).filePath(QLatin1String(kRosterConfigName));
        if (folder != own && QFileInfo::exists(path))
            return loadRoster({RosterLocation::Source::ConfigFolder, path});
    }
    return loadRoster({});
}

// The instance given by --instance NAME[=FILE], its sensors all chosen; why not.
std::variant<ReportInstance, QString> readInstance(const QString& value) {
    const qsizetype equals = value.indexOf(u'=');
    const QString name = equals < 0 ? value : value.left(equals);
    const QString file = equals < 0 ? instanceSettingsFile(name) : value.mid(equals + 1);
    if (!isInstanceName(name))
        return QStringLiteral(
                   "--instance takes NAME or NAME=FILE, NAME that of the service's instance "
                   "(tarnwick@NAME) without blanks, \"/\", \":\", \",\" or \"=\"; not \"%1\"")
            .arg(value);
    if (file.isEmpty())
        return QStringLiteral("--instance %1=: the settings file is missing").arg(name);
    const ServiceSettingsLoad settings = readServiceSettings(file);
    if (!settings.values) return QStringLiteral("--instance %1: %2").arg(name, settings.error);
    const QString rosterFile = settings.values->value(QLatin1String(kRosterVariable));
    const RosterLoad roster =
        rosterFile.isEmpty()
            ? systemRoster()
            : loadRoster({RosterLocation::Source::Environment, servicePath(rosterFile)});
    if (!roster.roster) return QStringLiteral("--instance %1: %2").arg(name, roster.error);
    QString log = settings.values->value(QStringLiteral("TARNWICK_LOG"));
    log = log.isEmpty() ? instanceLogFile(name) : servicePath(log);

    ReportInstance instance{
        name, rotatedSeries(log), *roster.roster, SensorLabels(*roster.roster), {}};
    for (int slot = 0; slot < kMaxSensors; ++slot) instance.selection.sensorSlots.push_back(slot);
    return instance;
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
        // Each instance has its own.
        if (parser_.isSet(QStringLiteral("instance"))) return std::nullopt;
        const QString option = QStringLiteral("roster");
        const RosterLoad load =
            findRoster(parser_.isSet(option) ? std::optional(parser_.value(option)) : std::nullopt,
                       environmentRoster_);
        if (!load.roster) return load.error;
        options.labels = SensorLabels(*load.roster);
        options.roster = *load.roster;
        return std::nullopt;
    }

    // Reads the settings and rosters of the instances of --instance into the
    // options, once; why not, when one cannot be read.
    std::optional<QString> readInstances() {
        if (instancesRead_) return std::nullopt;
        instancesRead_ = true;
        const QStringList values = parser_.values(QStringLiteral("instance"));
        if (values.isEmpty()) return std::nullopt;
        if (parser_.isSet(QStringLiteral("roster")))
            return QStringLiteral(
                "--roster cannot be given with --instance: each instance is read with the "
                "roster its settings name (TARNWICK_ROSTER)");
        if (!parser_.positionalArguments().isEmpty())
            return QStringLiteral(
                       "LOG files (\"%1\") cannot be given with --instance: each instance's logs "
                       "are the ones its settings name (TARNWICK_LOG); give one or the other")
                .arg(parser_.positionalArguments().constFirst());
        for (const QString& value : values) {
            std::variant<ReportInstance, QString> read = readInstance(value);
            if (const QString* why = std::get_if<QString>(&read)) return *why;
            ReportInstance& instance = std::get<ReportInstance>(read);
            for (const ReportInstance& before : options.instances) {
                if (before.name == instance.name)
                    return QStringLiteral("--instance %1 is given twice").arg(instance.name);
            }
            options.logs += instance.logs;
            options.instances.push_back(std::move(instance));
        }
        // Each adapter's sensors under its name, when they could be confused.
        if (options.instances.size() > 1) {
            for (ReportInstance& instance : options.instances)
                instance.labels.setAdapter(instance.name);
        }
        return std::nullopt;
    }

    ReportOptions& options;

  private:
    const QCommandLineParser& parser_;
    const QString& environmentRoster_;
    bool rosterRead_ = false;
    bool instancesRead_ = false;
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

// The slots of `chosen`, ascending.
std::vector<int> chosenSlots(const std::array<bool, kMaxSensors>& chosen) {
    std::vector<int> picked;
    for (int slot = 0; slot < kMaxSensors; ++slot)
        if (chosen[slot]) picked.push_back(slot);
    return picked;
}

// With --instance: "NAME:SENSOR" chooses the sensor of that instance,
// "SENSOR" that sensor of every instance that has it.
std::optional<QString> instanceSensors(const QString& value,
                                       std::vector<ReportInstance>& instances) {
    std::vector<std::array<bool, kMaxSensors>> chosen(instances.size());
    for (const QString& given : value.split(u',')) {
        const QString item = given.trimmed();
        const qsizetype colon = item.indexOf(u':');
        std::size_t named = instances.size();
        for (std::size_t i = 0; colon > 0 && i < instances.size(); ++i)
            if (instances[i].name == item.left(colon).trimmed()) named = i;
        if (named < instances.size()) {
            const SlotLookup found =
                sensorSlot(item.mid(colon + 1).trimmed(), instances[named].labels);
            if (!found.slot) return found.why;
            chosen[named][static_cast<std::size_t>(*found.slot)] = true;
            continue;
        }
        SlotLookup first;
        bool any = false;
        for (std::size_t i = 0; i < instances.size(); ++i) {
            const SlotLookup found = sensorSlot(item, instances[i].labels);
            if (found.ambiguous) return found.why;
            if (i == 0) first = found;
            if (!found.slot) continue;
            chosen[i][static_cast<std::size_t>(*found.slot)] = true;
            any = true;
        }
        if (any) continue;
        if (colon > 0) {
            QStringList names;
            for (const ReportInstance& instance : instances) names << instance.name;
            return QStringLiteral(
                       "--sensors: \"%1\" names no instance given by --instance (%2), and no "
                       "sensor")
                .arg(item.left(colon), names.join(QStringLiteral(", ")));
        }
        return first.why;
    }
    for (std::size_t i = 0; i < instances.size(); ++i)
        instances[i].selection.sensorSlots = chosenSlots(chosen[i]);
    return std::nullopt;
}

std::optional<QString> sensors(const QString& value, Parsing& p) {
    if (std::optional<QString> why = p.readRoster()) return why;
    if (std::optional<QString> why = p.readInstances()) return why;
    ReportOptions& o = p.options;
    o.sensorsGiven = true;
    if (!o.instances.empty()) return instanceSensors(value, o.instances);
    std::array<bool, kMaxSensors> chosen{};
    for (const QString& item : value.split(u',')) {
        const SlotLookup found = sensorSlot(item.trimmed(), o.labels);
        if (!found.slot) return found.why;
        chosen[static_cast<std::size_t>(*found.slot)] = true;
    }
    o.selection.sensorSlots = chosenSlots(chosen);
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
    if (o.instances.size() > 1)
        return QStringLiteral(
            "--follow follows one log as it is written: give one --instance with it");
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
        {"instance", "NAME[=FILE]",
         "Read the logs of the service's instance NAME (tarnwick@NAME) with its own roster, "
         "instead of LOGs: the roster and log of FILE's TARNWICK_ROSTER and TARNWICK_LOG "
         "(FILE: /etc/tarnwick/NAME.conf unless given; the log: /var/lib/tarnwick/NAME/"
         "tarnwick.log unless set), the log's rotated files (.1, .2.gz, ...) with it. Give it "
         "once for each instance to read together.",
         [](const QString&, Parsing& p) { return p.readInstances(); }},
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
         "commas (1,3,Freezer door); with --instance, each as NAME:SENSOR for that instance's "
         "(cellar:1,attic:Loft) or alone for every instance's.",
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
         "this system's time zone (TZ); with --instance, tagged adapter=NAME too.",
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
    for (const ReportInstance& instance : o.instances) {
        if (!o.alarms || !instance.roster.file().isEmpty()) continue;
        if (instance.name.isEmpty())
            return QStringLiteral(
                "--alarms judges by a roster file's alarm settings, and no roster "
                "file was found (--roster FILE)");
        return QStringLiteral(
                   "--alarms judges by a roster file's alarm settings, and the instance %1 "
                   "has none (TARNWICK_ROSTER in its settings)")
            .arg(instance.name);
    }
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

QString instanceSettingsFile(const QString& name) {
    return QStringLiteral(TARNWICK_INSTANCE_SETTINGS "/%1.conf").arg(name);
}

QString instanceLogFile(const QString& name) {
    return QStringLiteral("/var/lib/tarnwick/%1/tarnwick.log").arg(name);
}

QStringList rotatedSeries(const QString& log) {
    const QFileInfo live(log);
    const QString base = live.fileName();
    static const QRegularExpression rotation(QStringLiteral("^\\.([0-9]{1,9})(\\.gz)?$"));
    // By number; a plain file before its compressed copy, which logrotate may
    // be writing just now.
    std::map<int, QString> rotated;
    const QDir folder = live.absoluteDir();
    for (const QString& entry : folder.entryList(QDir::Files)) {
        if (!entry.startsWith(base)) continue;
        const QRegularExpressionMatch match = rotation.match(QStringView(entry).mid(base.size()));
        if (!match.hasMatch()) continue;
        const int number = match.captured(1).toInt();
        const bool plain = match.capturedLength(2) == 0;
        if (plain || !rotated.contains(number)) rotated[number] = QDir(live.path()).filePath(entry);
    }
    QStringList series;
    if (live.exists() || rotated.empty()) series << log;
    for (const auto& [number, path] : rotated) series << path;
    return series;
}

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
    if (o.logs.isEmpty() && !parser.isSet(QStringLiteral("instance")))
        return finish(ParsedArguments::Error,
                      QStringLiteral("no log file given (LOG, or --instance NAME)"));
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
    if (!why) why = parsing.readInstances();
    if (o.instances.empty()) {
        o.instances.push_back({QString(), o.logs, o.roster, o.labels, o.selection});
    } else {
        // The report's time range for each, with its own sensors.
        for (ReportInstance& instance : o.instances) {
            std::vector<int> picked = std::move(instance.selection.sensorSlots);
            instance.selection = o.selection;
            instance.selection.sensorSlots = std::move(picked);
        }
        // An instance none of whose sensors --sensors chose has nothing to
        // give: its records would be rows without a cell.
        std::erase_if(o.instances, [](const ReportInstance& instance) {
            return instance.selection.sensorSlots.empty();
        });
    }
    if (!why) why = checkTogether(o);
    if (why) return finish(ParsedArguments::Error, *why);
    result.outcome = ParsedArguments::Run;
    return result;
}

}  // namespace tarnwick
