#include "RunSettings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <cstdio>
#include <memory>
#include <vector>

#include "ApplicationTitle.h"
#include "ExitStatus.h"
#include "RosterFile.h"

#ifndef TARNWICK_VERSION
#error "TARNWICK_VERSION must be defined by the build"
#endif

namespace tarnwick {

namespace {

// Options that QGuiApplication and QApplication take from argv themselves.
// They are let through untouched, so that "-platform offscreen" or "-style
// Fusion" work as in any Qt program.
struct QtOption {
    const char* name;
    bool takesValue;
};
constexpr QtOption kQtOptions[] = {
    {"platform", true},        {"platformpluginpath", true},
    {"platformtheme", true},   {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowicon", true},
    {"qwindowtitle", true},    {"session", true},
    {"display", true},         {"geometry", true},
    {"style", true},           {"stylesheet", true},
    {"qmljsdebugger", true},   {"reverse", false},
    {"widgetcount", false},
};

// What the options have said so far, before the checks that take several of
// them together.
struct Draft {
    RunSettings settings;
    bool adapterNamed = false;  // by --adapter, TARNWICK_ADAPTER or the settings file
    bool rosterNamed = false;   // by --roster or TARNWICK_ROSTER
    QString serviceSettings;    // --service-settings
    BrokerOptions broker;
};

// Where a value came from: "--adapter" or "TARNWICK_ADAPTER".
struct Source {
    QString name;
    bool environment = false;
};

using Refusal = std::optional<QString>;

struct RunOption {
    QStringList names;
    const char* valueName;  // nullptr for a switch
    const char* help;
    const char* environment;  // read when the option is not given; nullptr: none
    const char* setting;      // the settings file's key, read after that; nullptr: none
    // Takes the value (the last one given, else the environment's) into the
    // draft, or says why not.
    Refusal (*apply)(const QString& value, const Source& source, Draft& draft);
};

Refusal adapter(const QString& value, const Source& source, Draft& draft) {
    if (!isAdapterAddress(value))
        return QStringLiteral(
                   "invalid adapter address \"%1\" from %2: expected a dotted-decimal IPv4 "
                   "address such as 192.168.1.50, optionally followed by :port (1-65535)")
            .arg(value, source.name);
    draft.settings.adapterAddress = value;
    draft.adapterNamed = true;
    return std::nullopt;
}

Refusal roster(const QString& value, const Source& source, Draft& draft) {
    const auto from =
        source.environment ? RosterLocation::Source::Environment : RosterLocation::Source::Option;
    RosterLoad load = loadRoster({from, value});
    if (!load.roster) return load.error;
    draft.settings.roster = std::move(*load.roster);
    draft.rosterNamed = true;
    return std::nullopt;
}

Refusal log(const QString& value, const Source&, Draft& draft) {
    if (value.isEmpty()) return QStringLiteral("--log needs a file name");
    // The service and the user's shell start it in different folders.
    draft.settings.logFile = QFileInfo(value).absoluteFilePath();
    return std::nullopt;
}

Refusal headless(const QString&, const Source&, Draft& draft) {
    draft.settings.headless = true;
    return std::nullopt;
}

Refusal syncInterval(const QString& value, const Source&, Draft& draft) {
    bool number = false;
    const int seconds = value.toInt(&number);
    if (!number || seconds < 1 || seconds > 3600)
        return QStringLiteral("--sync-interval takes whole seconds from 1 to 3600, not \"%1\"")
            .arg(value);
    draft.settings.syncIntervalMs = seconds * qint64{1000};
    return std::nullopt;
}

Refusal serviceSettings(const QString& value, const Source&, Draft& draft) {
    draft.serviceSettings = value;
    return std::nullopt;
}

Refusal mqtt(const QString& value, const Source& source, Draft& draft) {
    draft.broker.url = value;
    draft.broker.source = source.name;
    return std::nullopt;
}

// A broker option that is only a text: put into its field of BrokerOptions.
template <QString BrokerOptions::*field>
Refusal brokerText(const QString& value, const Source&, Draft& draft) {
    draft.broker.*field = value;
    return std::nullopt;
}

Refusal mqttDiscovery(const QString&, const Source&, Draft& draft) {
    draft.broker.discovery = true;
    return std::nullopt;
}

// Whole seconds from 0 (never) to a day, into `seconds`.
Refusal secondsUpToADay(const QString& value, const Source& source, int& seconds) {
    bool number = false;
    seconds = value.toInt(&number);
    if (!number || seconds < 0 || seconds > 86'400)
        return QStringLiteral("%1 takes whole seconds from 0 (never) to 86400, not \"%2\"")
            .arg(source.name, value);
    return std::nullopt;
}

Refusal mqttExpireAfter(const QString& value, const Source& source, Draft& draft) {
    int seconds = 0;
    if (Refusal refused = secondsUpToADay(value, source, seconds)) return refused;
    draft.broker.expireAfterSeconds = seconds;
    return std::nullopt;
}

Refusal adapterAlarm(const QString& value, const Source& source, Draft& draft) {
    int seconds = 0;
    if (Refusal refused = secondsUpToADay(value, source, seconds)) return refused;
    draft.settings.adapterAlarmMs = seconds * qint64{1000};
    return std::nullopt;
}

Refusal alarmCommand(const QString& value, const Source& source, Draft& draft) {
    const QFileInfo program(value);
    if (value.isEmpty() || !program.isAbsolute() || !program.isFile() || !program.isExecutable())
        return QStringLiteral(
                   "%1 must name a program by its full path (it is run without a "
                   "shell, with no arguments), not \"%2\"")
            .arg(source.name, value);
    draft.settings.alarmCommand = value;
    return std::nullopt;
}

Refusal notifications(const QString& value, const Source& source, Draft& draft) {
    if (value != u"on" && value != u"off")
        return QStringLiteral("%1 takes on or off, not \"%2\"").arg(source.name, value);
    draft.settings.notifications = value == u"on";
    return std::nullopt;
}

Refusal metrics(const QString& value, const Source& source, Draft& draft) {
    draft.settings.metrics = parseMetricsAddress(value);
    if (!draft.settings.metrics)
        return QStringLiteral(
                   "%1 takes [ADDRESS:]PORT: a port from 1 to 65535, after an IPv4 "
                   "address or an IPv6 one in brackets, such as 9101, "
                   "192.168.1.20:9101 or [::1]:9101; not \"%2\"")
            .arg(source.name, value);
    return std::nullopt;
}

// The options in the order --help lists them; they are applied in this order.
const std::vector<RunOption>& runOptions() {
    static const std::vector<RunOption> table = {
        {{"adapter"},
         "ADDRESS",
         "Talk to the adapter at ADDRESS for this run: a.b.c.d or a.b.c.d:port.",
         kAdapterVariable,
         kAdapterSetting,
         adapter},
        {{"roster"},
         "FILE",
         "Poll the sensors of the roster FILE for this run (see above).",
         kRosterVariable,
         nullptr,
         roster},
        {{"log"},
         "FILE",
         "Log into FILE from the start, as Start Logging does (appended to).",
         nullptr,
         nullptr,
         log},
        {{"headless"},
         nullptr,
         "Run without a window or display, logging into the --log FILE: status lines on "
         "standard error; SIGTERM or SIGINT ends the run, SIGHUP reopens the log.",
         nullptr,
         nullptr,
         headless},
        {{"sync-interval"},
         "SECONDS",
         "Sync the log to the storage device at most every SECONDS (1-3600, default 10): a "
         "power cut loses at most that much.",
         nullptr,
         nullptr,
         syncInterval},
        {{"service-settings"},
         "FILE",
         "Run as the service whose settings are in FILE (/etc/default/tarnwick): refuse to "
         "start until FILE names the adapter, rather than poll the built-in address.",
         nullptr,
         nullptr,
         serviceSettings},
        {{"mqtt"},
         "URL",
         "Publish each pass's readings to the broker at URL: mqtt://HOST[:PORT] (1883) or "
         "mqtts://HOST[:PORT] (TLS, 8883).",
         kMqttVariable,
         nullptr,
         mqtt},
        {{"mqtt-ca"},
         "FILE",
         "Trust the broker's certificate when FILE's CA signed it, instead of the system's CA "
         "store.",
         nullptr,
         nullptr,
         brokerText<&BrokerOptions::caFile>},
        {{"mqtt-credentials"},
         "FILE",
         "Log in to the broker with the username= and password= lines of FILE (not readable by "
         "every user).",
         nullptr,
         nullptr,
         brokerText<&BrokerOptions::credentialsFile>},
        {{"mqtt-prefix"},
         "PREFIX",
         "Begin the topics with PREFIX (default: tarnwick).",
         nullptr,
         nullptr,
         brokerText<&BrokerOptions::prefix>},
        {{"mqtt-discovery"},
         nullptr,
         "Announce the sensors to Home Assistant (MQTT discovery).",
         nullptr,
         nullptr,
         mqttDiscovery},
        {{"mqtt-expire-after"},
         "SECONDS",
         "Have Home Assistant show a temperature as unavailable when no reading has come for "
         "SECONDS (default 0: only while the logger is away).",
         nullptr,
         nullptr,
         mqttExpireAfter},
        {{"adapter-alarm"},
         "SECONDS",
         "With a roster file, raise an alarm when the adapter has not answered for SECONDS "
         "(default 60; 0: never).",
         kAdapterAlarmVariable,
         nullptr,
         adapterAlarm},
        {{"alarm-command"},
         "PROGRAM",
         "Run PROGRAM (a full path; no shell, no arguments) on each alarm raised or cleared, "
         "with the facts in TARNWICK_ALARM_* environment variables (see man tarnwick).",
         kAlarmCommandVariable,
         "AlarmCommand",
         alarmCommand},
        {{"notifications"},
         "on|off",
         "Tell alarms through the desktop's notifications (default on; the window only).",
         nullptr,
         "Notifications",
         notifications},
        {{"metrics"},
         "[ADDRESS:]PORT",
         "Serve the run's figures to Prometheus at http://ADDRESS:PORT/metrics (ADDRESS: "
         "127.0.0.1 unless given).",
         kMetricsVariable,
         nullptr,
         metrics},
    };
    return table;
}

QString description(const QString& compiledAddress) {
    return QStringLiteral(
               "Data logger for 1-Wire temperature sensors behind a network 1-Wire "
               "adapter.\n\nThe adapter is %1 unless %2 in the environment\nor --adapter "
               "names another one; the option wins.\n\n%3\n\nWith --mqtt (or %4 in the "
               "environment; the option wins), each pass's\nreadings are also published to "
               "that MQTT broker (see man tarnwick).")
        .arg(compiledAddress, QLatin1String(kAdapterVariable), rosterHelp(),
             QLatin1String(kMqttVariable));
}

RunCommandLine refuse(const QString& message) {
    RunCommandLine result;
    result.outcome = RunCommandLine::Outcome::Refuse;
    result.message = QStringLiteral("tarnwick: ") + message + QLatin1Char('\n');
    result.exitStatus = kUsageExitStatus;
    return result;
}

RunCommandLine showText(const QString& text) {
    RunCommandLine result;
    result.outcome = RunCommandLine::Outcome::ShowText;
    result.message = text;
    return result;
}

// The checks that take several options together, once every row has spoken.
Refusal finish(Draft& draft) {
    if (!draft.serviceSettings.isEmpty() && !draft.adapterNamed)
        return QStringLiteral(
                   "no adapter configured: set %1 in %2 to your 1-Wire adapter's address "
                   "(such as %1=192.168.1.50), then restart the service")
            .arg(QLatin1String(kAdapterVariable), draft.serviceSettings);
    if (draft.settings.headless && draft.settings.logFile.isEmpty())
        return QStringLiteral(
            "--headless needs --log FILE: without a window, the log is all it makes");
    if (!draft.rosterNamed) {
        // The config folders, else the compiled-in roster.
        RosterLoad load = findRoster(std::nullopt, QString());
        if (!load.roster) return load.error;
        draft.settings.roster = std::move(*load.roster);
    }
    BrokerSetup setup = readBrokerSettings(draft.broker);
    if (!setup.error.isEmpty()) return setup.error;
    draft.settings.broker = std::move(setup.settings);
    return std::nullopt;
}

}  // namespace

bool isAdapterAddress(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral("^(?:(?:25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])\\.){3}"
                       "(?:25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])(?::([0-9]{1,5}))?$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) return false;
    const QString port = match.captured(1);
    if (port.isEmpty()) return true;
    const int value = port.toInt();
    return value >= 1 && value <= 65535;
}

QString processEnvironment(const char* name) { return qEnvironmentVariable(name); }

UserSettings userSettingsFile() {
    const auto open = [] {
        return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                           kApplicationTitle, kApplicationTitle);
    };
    return {
        .value =
            [open](const char* key) {
                return open()->value(QStringLiteral("Settings/") + QLatin1String(key)).toString();
            },
        .file = open()->fileName()};
}

RunCommandLine parseRunSettings(const QStringList& arguments, const Environment& environment,
                                const QString& compiledAddress, const UserSettings& userSettings) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(description(compiledAddress));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    parser.addOptions({help, version});
    std::vector<QCommandLineOption> options;
    for (const RunOption& row : runOptions()) {
        options.emplace_back(row.names, QString::fromLatin1(row.help),
                             row.valueName ? QString::fromLatin1(row.valueName) : QString());
        parser.addOption(options.back());
    }
    for (const QtOption& qt : kQtOptions) {
        QCommandLineOption option(QString::fromLatin1(qt.name));
        if (qt.takesValue) option.setValueName(QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    if (!parser.parse(arguments))
        return refuse(QStringLiteral("%1\nTry 'tarnwick --help'.").arg(parser.errorText()));
    if (parser.isSet(help)) return showText(parser.helpText());
    if (parser.isSet(version)) return showText(QStringLiteral("tarnwick " TARNWICK_VERSION "\n"));
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("unexpected argument \"%1\"\nTry 'tarnwick --help'.")
                          .arg(parser.positionalArguments().constFirst()));

    Draft draft;
    draft.settings.adapterAddress = compiledAddress;
    for (std::size_t i = 0; i < options.size(); ++i) {
        const RunOption& row = runOptions()[i];
        Source source{QStringLiteral("--") + row.names.constFirst(), false};
        QString value;
        if (parser.isSet(options[i])) {
            // The last of an option counts, as with most programs.
            if (row.valueName) value = parser.values(options[i]).constLast();
        } else if (row.environment && !(value = environment(row.environment)).isEmpty()) {
            source = {QLatin1String(row.environment), true};
        } else if (row.setting && userSettings.value &&
                   !(value = userSettings.value(row.setting)).isEmpty()) {
            source = {QStringLiteral("%1 in %2").arg(QLatin1String(row.setting), userSettings.file),
                      true};
        } else {
            continue;
        }
        if (const Refusal refusal = row.apply(value, source, draft)) return refuse(*refusal);
    }
    if (const Refusal refusal = finish(draft)) return refuse(*refusal);
    RunCommandLine result;
    result.settings = std::move(draft.settings);
    return result;
}

RunCommandLine readRunSettings(int argc, char** argv, Front front) {
    RunCommandLine result;
    {
        // A core application only: it decodes argv and names the program in
        // the help text, and it needs no display.
        QCoreApplication core(argc, argv);
        QStringList arguments = QCoreApplication::arguments();
        if (front == Front::Headless) arguments.insert(1, QStringLiteral("--headless"));
        result = parseRunSettings(arguments, processEnvironment, compiledAdapterAddress(),
                                  userSettingsFile());
        // The journal files what the headless logger says by its priority.
        if (result.outcome == RunCommandLine::Outcome::Refuse &&
            (front == Front::Headless || arguments.contains(QStringLiteral("--headless")))) {
            QStringList lines = result.message.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            for (QString& line : lines) line.prepend(QStringLiteral("<3>"));
            result.message = lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
        }
    }
    const QByteArray text = result.message.toLocal8Bit();
    if (result.outcome == RunCommandLine::Outcome::ShowText) {
        std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
    } else if (result.outcome == RunCommandLine::Outcome::Refuse) {
        std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stderr);
    }
    return result;
}

}  // namespace tarnwick
