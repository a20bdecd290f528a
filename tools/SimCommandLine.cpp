#include "SimCommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

#include "Bus.h"
#include "ExitStatus.h"
#include "RosterFile.h"

namespace tarnwick::sim {

namespace {

constexpr long long kMaxMs = 600000;

const char* const kDescription =
    "Simulated 1-Wire HTTP adapter for Tarnwick. Serves /1Wire/GetLock.html,\n"
    "/1Wire/WriteBlock.html and /1Wire/ReleaseLock.html on a loopback address and\n"
    "prints \"listening on http://HOST:PORT\" once it listens. SIGINT/SIGTERM stop it,\n"
    "SIGUSR1 lets stalled pages complete.";

const char* const kExitStatuses =
    "\nExit status:\n"
    "  0  stopped by SIGINT or SIGTERM, or printed this help or the version\n"
    "  1  cannot listen on the address and port (taken, or not allowed)\n"
    "  2  an option or its value was refused\n"
    "  3  cannot open the request log (--log)\n";

std::string text(const QString& s) { return s.toStdString(); }

std::optional<long long> wholeNumber(const QString& value, long long low, long long high) {
    bool ok = false;
    const long long n = value.toLongLong(&ok, 10);
    if (!ok || n < low || n > high) return std::nullopt;
    return n;
}

std::optional<double> decimal(const QString& value, double low, double high) {
    bool ok = false;
    const double x = value.toDouble(&ok);
    if (!ok || !(x >= low && x <= high)) return std::nullopt;
    return x;
}

// "ID=VALUE" with a sensor id; nullopt otherwise.
std::optional<std::pair<std::string, QString>> sensorSetting(const QString& value) {
    const qsizetype eq = value.indexOf(QLatin1Char('='));
    if (eq < 0 || !isSensorId(text(value.left(eq)))) return std::nullopt;
    return std::pair{text(value.left(eq)), value.mid(eq + 1)};
}

// Applies an option's values (every one given, in order; a single-valued
// option takes the last) or says why not.
using Apply = std::function<std::optional<std::string>(const QStringList&, SimCommandLine&)>;

struct Flag {
    QStringList names;
    const char* valueName;  // nullptr for a switch
    const char* description;
    Apply apply;
};

Apply milliseconds(int Options::*field) {
    return [field](const QStringList& values, SimCommandLine& into) -> std::optional<std::string> {
        const auto n = wholeNumber(values.last(), 0, kMaxMs);
        if (!n) return "bad time: " + text(values.last());
        into.options.*field = static_cast<int>(*n);
        return std::nullopt;
    };
}

Apply rate(double Options::*field) {
    return [field](const QStringList& values, SimCommandLine& into) -> std::optional<std::string> {
        const auto p = decimal(values.last(), 0.0, 1.0);
        if (!p) return "rate must be within 0..1: " + text(values.last());
        into.options.*field = *p;
        return std::nullopt;
    };
}

Apply size(std::size_t Options::*field, long long low, long long high, const char* what) {
    return [=](const QStringList& values, SimCommandLine& into) -> std::optional<std::string> {
        const auto n = wholeNumber(values.last(), low, high);
        if (!n) return std::string("bad ") + what + ": " + text(values.last());
        into.options.*field = static_cast<std::size_t>(*n);
        return std::nullopt;
    };
}

std::optional<std::string> sensors(const QStringList& values, SimCommandLine& into) {
    into.options.sensors.clear();
    if (values.last() == QLatin1String("none")) return std::nullopt;
    for (const QString& id : values.last().split(QLatin1Char(','))) {
        if (!isSensorId(text(id))) return "bad sensor id: " + text(id);
        into.options.sensors.push_back(text(id));
    }
    return std::nullopt;
}

// The sensors of a roster file, read and checked as the logger reads it.
std::optional<std::string> roster(const QStringList& values, SimCommandLine& into) {
    const RosterLoad load = loadRoster({RosterLocation::Source::Option, values.last()});
    if (!load.roster) return text(load.error);
    into.options.sensors.clear();
    for (const RosterSensor& sensor : load.roster->sensors())
        into.options.sensors.push_back(text(sensor.rom));
    return std::nullopt;
}

std::optional<std::string> disconnected(const QStringList& values, SimCommandLine& into) {
    for (const QString& id : values) {
        if (!isSensorId(text(id))) return "bad sensor id: " + text(id);
        into.options.disconnected.push_back(text(id));
    }
    return std::nullopt;
}

std::optional<std::string> conversionFor(const QStringList& values, SimCommandLine& into) {
    for (const QString& value : values) {
        const auto setting = sensorSetting(value);
        if (!setting) return "expected ID=VALUE: " + text(value);
        const auto n = wholeNumber(setting->second, 0, kMaxMs);
        if (!n) return "bad time: " + text(setting->second);
        into.options.conversionMsFor[setting->first] = static_cast<int>(*n);
    }
    return std::nullopt;
}

std::optional<std::string> temperature(const QStringList& values, SimCommandLine& into) {
    for (const QString& value : values) {
        const auto setting = sensorSetting(value);
        if (!setting) return "expected ID=VALUE: " + text(value);
        const auto celsius = decimal(setting->second, -55.0, 125.0);
        if (!celsius) return "bad temperature (-55 to 125): " + text(setting->second);
        into.options.temperatureC[setting->first] = *celsius;
    }
    return std::nullopt;
}

std::optional<std::string> readings(const QStringList& values, SimCommandLine& into) {
    for (const QString& value : values) {
        const auto setting = sensorSetting(value);
        if (!setting) return "expected ID=SCHEDULE: " + text(value);
        const std::string id = upper(setting->first);
        if (into.options.readings.count(id) != 0) return "two schedules for " + id;
        ScheduleParse parsed = parseReadingSchedule(text(setting->second));
        if (!parsed.error.empty()) return parsed.error;
        into.options.readings[id] = std::move(parsed.schedule);
    }
    return std::nullopt;
}

// A schedule for a sensor that is not on the bus is a mistake, not a no-op.
std::optional<std::string> scheduledSensorsOnTheBus(const Options& options) {
    for (const auto& [id, schedule] : options.readings) {
        const bool onBus =
            std::any_of(options.sensors.begin(), options.sensors.end(),
                        [&id = id](const std::string& sensor) { return upper(sensor) == id; });
        if (!onBus) return "--reading for " + id + ", which is not on the bus";
    }
    return std::nullopt;
}

std::optional<std::string> pageDelay(const QStringList& values, SimCommandLine& into) {
    for (const QString& value : values) {
        const qsizetype eq = value.indexOf(QLatin1Char('='));
        const auto kind = eq < 0 ? std::nullopt : parsePageKind(text(value.left(eq)));
        const auto ms = eq < 0 ? std::nullopt : wholeNumber(value.mid(eq + 1), 0, kMaxMs);
        if (!kind || !ms) return "expected KIND=MS: " + text(value);
        into.options.faults.push_back(
            FaultRule(*kind, Fault::Delay, {}, 1, -1, static_cast<int>(*ms)));
    }
    return std::nullopt;
}

// Every value read by `parse` onto the options' list, or the refusal `what`
// followed by the value.
template <typename T>
Apply each(std::vector<T> Options::*list, std::optional<T> (*parse)(const std::string&),
           const char* what) {
    return [=](const QStringList& values, SimCommandLine& into) -> std::optional<std::string> {
        for (const QString& value : values) {
            const std::optional<T> item = parse(text(value));
            if (!item) return what + text(value);
            (into.options.*list).push_back(*item);
        }
        return std::nullopt;
    };
}

std::optional<std::string> host(const QStringList& values, SimCommandLine& into) {
    into.host = text(values.last());
    // Loopback only: the simulator is for tests and demos on this machine.
    if (!isLoopbackHost(into.host))
        return "refusing to listen on " + into.host + ": not a loopback address";
    return std::nullopt;
}

std::optional<std::string> port(const QStringList& values, SimCommandLine& into) {
    const auto n = wholeNumber(values.last(), 0, 65535);
    if (!n) return "bad port: " + text(values.last());
    into.port = static_cast<int>(*n);
    return std::nullopt;
}

std::optional<std::string> seed(const QStringList& values, SimCommandLine& into) {
    const auto n = wholeNumber(values.last(), 0, 1LL << 62);
    if (!n) return "bad seed: " + text(values.last());
    into.options.seed = static_cast<std::uint64_t>(*n);
    return std::nullopt;
}

std::optional<std::string> keepAlive(const QStringList& values, SimCommandLine& into) {
    const auto n = wholeNumber(values.last(), 1, 3600);
    if (!n) return "bad time: " + text(values.last());
    into.options.keepAliveSeconds = static_cast<int>(*n);
    return std::nullopt;
}

const std::vector<Flag>& flags() {
    static const std::vector<Flag> table = {
        {{"host"}, "ADDR", "Loopback address to listen on (127.0.0.0/8), default 127.0.0.1.", host},
        {{"port"}, "N", "TCP port, default 8642; 0 picks a free one.", port},
        {{"sensors"},
         "ID,ID,...",
         "Sensors on the bus (default: the sixteen roster sensors); \"none\" for an empty bus.",
         sensors},
        {{"roster"},
         "FILE",
         "Sensors on the bus: those of the logger's roster FILE, in its order (instead of "
         "--sensors). A sensor of family 10 answers as a DS18S20, in half degrees.",
         roster},
        {{"disconnected"},
         "ID",
         "A sensor that has lost contact and answers all FF (repeatable).",
         disconnected},
        {{"conversion-ms"},
         "N",
         "Temperature conversion time, default 750; 0 = instant.",
         milliseconds(&Options::conversionMs)},
        {{"conversion-ms-for"},
         "ID=N",
         "Conversion time of one sensor (repeatable).",
         conversionFor},
        {{"temperature"}, "ID=C", "Hold a sensor at C degrees Celsius (repeatable).", temperature},
        {{"reading"},
         "ID=SCHEDULE",
         "What a sensor reads over time, from the simulator's start (repeatable, one per "
         "sensor): VALUE@TIME,... with VALUE degrees Celsius, \"unplugged\" (answers all FF) or "
         "\"own\" (back to its --temperature or its drift), and TIME 90, 90s, 500ms, 5m or 2h, "
         "increasing. Before the first step the sensor reads its own. Example: "
         "9C000000B4A89828=20@0,31.5@10s,unplugged@40s.",
         readings},
        {{"silent"},
         "DURATION@TIME",
         "Stop listening for DURATION from TIME after the start, as an adapter switched off or "
         "restarting (connections refused, open ones closed), then listen again on the same "
         "port (repeatable). Example: 30s@60s.",
         each(&Options::silences, parseSilence, "expected DURATION@TIME: ")},
        {{"delay-ms"},
         "N",
         "Delay before every page is answered.",
         milliseconds(&Options::requestDelayMs)},
        {{"page-delay"},
         "KIND=MS",
         "Delay for one kind of page, e.g. lock=300 (repeatable).",
         pageDelay},
        {{"crc-error-rate"},
         "P",
         "Probability (0..1) that a scratchpad read carries a wrong CRC.",
         rate(&Options::crcErrorRate)},
        {{"short-reply-rate"},
         "P",
         "Probability that a write-block result lacks its last byte.",
         rate(&Options::shortReplyRate)},
        {{"long-reply-rate"},
         "P",
         "Probability that a write-block result has an extra byte.",
         rate(&Options::longReplyRate)},
        {{"lowercase"},
         nullptr,
         "Write-block results in lower-case hex.",
         [](const QStringList&, SimCommandLine& into) -> std::optional<std::string> {
             into.options.lowerCaseHex = true;
             return std::nullopt;
         }},
        {{"oversize-bytes"},
         "N",
         "Body size of oversized pages, default 2097152.",
         size(&Options::oversizeBytes, 0, 1LL << 30, "size")},
        {{"fault"},
         "RULE",
         "Fault rule KIND:FAULT[:address=ID,first=N,count=N,ms=N] (repeatable). KIND: any "
         "lock writeblock convert read release other. "
         "FAULT: delay missing-field stall drop oversize all-ff bad-crc short long lower-case. "
         "first counts matching pages from 1; count -1 = for ever (default). Examples: "
         "lock:missing-field:count=1, read:missing-field:first=3,count=1, lock:delay:ms=300, "
         "read:all-ff:address=9C000000B4A89828, any:stall:first=5,count=1.",
         each(&Options::faults, parseFaultRule, "bad fault rule: ")},
        {{"lock-wait-ms"},
         "N",
         "How long GetLock waits for a held lock before taking it over (default 0: the new "
         "caller takes it over at once).",
         milliseconds(&Options::lockWaitMs)},
        {{"seed"}, "N", "Seed for temperatures, drift, lock IDs and fault rates, default 1.", seed},
        {{"log"},
         "FILE",
         "Append one line per request (UTC time, path and query) to FILE.",
         [](const QStringList& values, SimCommandLine& into) -> std::optional<std::string> {
             into.options.logFile = text(values.last());
             return std::nullopt;
         }},
        {{"max-target"},
         "N",
         "Longest accepted path and query, default 2048.",
         size(&Options::maxTargetLength, 16, 1 << 20, "length")},
        {{"keep-alive-s"},
         "N",
         "Idle keep-alive connections are closed after N s, default 10.",
         keepAlive},
    };
    return table;
}

SimCommandLine refuse(const std::string& message) {
    SimCommandLine result;
    result.outcome = SimCommandLine::Outcome::Refuse;
    result.message = "tarnwick-simadapter: " + message + "\nTry --help.\n";
    result.exitStatus = kUsageExitStatus;
    return result;
}

}  // namespace

SimCommandLine parseSimCommandLine(const QStringList& arguments, const QString& version) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption showVersion({QStringLiteral("v"), QStringLiteral("version")},
                                         QStringLiteral("Show the version and exit."));
    parser.addOption(help);
    parser.addOption(showVersion);
    std::vector<QCommandLineOption> options;
    for (const Flag& flag : flags()) {
        options.emplace_back(flag.names, QString::fromLatin1(flag.description),
                             flag.valueName ? QString::fromLatin1(flag.valueName) : QString());
        parser.addOption(options.back());
    }

    if (!parser.parse(arguments)) return refuse(text(parser.errorText()));
    SimCommandLine result;
    if (parser.isSet(help) || parser.isSet(showVersion)) {
        result.outcome = SimCommandLine::Outcome::ShowText;
        result.message = parser.isSet(help) ? text(parser.helpText()) + kExitStatuses
                                            : "tarnwick-simadapter " + text(version) + "\n";
        return result;
    }
    if (!parser.positionalArguments().isEmpty())
        return refuse("unknown option " + text(parser.positionalArguments().first()));
    if (parser.isSet(QStringLiteral("sensors")) && parser.isSet(QStringLiteral("roster")))
        return refuse("--sensors and --roster both name the sensors on the bus: give one");
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (!parser.isSet(options[i])) continue;
        if (const auto refusal = flags()[i].apply(parser.values(options[i]), result))
            return refuse(*refusal);
    }
    if (const auto refusal = scheduledSensorsOnTheBus(result.options)) return refuse(*refusal);
    return result;
}

}  // namespace tarnwick::sim
