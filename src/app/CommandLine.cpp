#include "CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>

#include "ExitStatus.h"
#include "Roster.h"
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

CommandLine refuse(const QString& message) {
    CommandLine result;
    result.outcome = CommandLine::Outcome::Refuse;
    result.message = message + QLatin1Char('\n');
    result.exitStatus = kUsageExitStatus;
    return result;
}

QString addressRefusal(const QString& address, const QString& source) {
    return QStringLiteral(
               "tarnwick: invalid adapter address \"%1\" from %2: expected a dotted-decimal IPv4 "
               "address such as 192.168.1.50, optionally followed by :port (1-65535)")
        .arg(address, source);
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

CommandLine parseCommandLine(const QStringList& arguments, const QString& environmentAdapter,
                             const QString& compiledAddress, const QString& environmentRoster,
                             const QString& environmentMqtt) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Data logger for 1-Wire temperature sensors behind a network 1-Wire "
                       "adapter.\n\nThe adapter is %1 unless %2 in the environment\nor --adapter "
                       "names another one; the option wins.\n\n%3\n\nWith --mqtt (or %4 in the "
                       "environment; the option wins), each pass's\nreadings are also published to "
                       "that MQTT broker (see man tarnwick).")
            .arg(compiledAddress, QLatin1String(kAdapterVariable), rosterHelp(),
                 QLatin1String(kMqttVariable)));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption adapter(
        QStringLiteral("adapter"),
        QStringLiteral("Talk to the adapter at ADDRESS for this run: a.b.c.d or a.b.c.d:port."),
        QStringLiteral("ADDRESS"));
    const QCommandLineOption roster(
        QStringLiteral("roster"),
        QStringLiteral("Poll the sensors of the roster FILE for this run (see above)."),
        QStringLiteral("FILE"));
    const QCommandLineOption log(
        QStringLiteral("log"),
        QStringLiteral("Log into FILE from the start, as Start Logging does (appended to)."),
        QStringLiteral("FILE"));
    const QCommandLineOption headless(
        QStringLiteral("headless"),
        QStringLiteral("Run without a window or display, logging into the --log FILE: status "
                       "lines on standard error; SIGTERM or SIGINT ends the run, SIGHUP reopens "
                       "the log."));
    const QCommandLineOption mqtt(
        QStringLiteral("mqtt"),
        QStringLiteral("Publish each pass's readings to the broker at URL: mqtt://HOST[:PORT] "
                       "(1883) or mqtts://HOST[:PORT] (TLS, 8883)."),
        QStringLiteral("URL"));
    const QCommandLineOption mqttCa(
        QStringLiteral("mqtt-ca"),
        QStringLiteral("Trust the broker's certificate when FILE's CA signed it, instead of the "
                       "system's CA store."),
        QStringLiteral("FILE"));
    const QCommandLineOption mqttCredentials(
        QStringLiteral("mqtt-credentials"),
        QStringLiteral("Log in to the broker with the username= and password= lines of FILE "
                       "(not readable by every user)."),
        QStringLiteral("FILE"));
    const QCommandLineOption mqttPrefix(
        QStringLiteral("mqtt-prefix"),
        QStringLiteral("Begin the topics with PREFIX (default: tarnwick)."),
        QStringLiteral("PREFIX"));
    const QCommandLineOption mqttDiscovery(
        QStringLiteral("mqtt-discovery"),
        QStringLiteral("Announce the sensors to Home Assistant (MQTT discovery)."));
    const QCommandLineOption syncInterval(
        QStringLiteral("sync-interval"),
        QStringLiteral("Sync the log to the storage device at most every SECONDS (1-3600, "
                       "default 10): a power cut loses at most that much."),
        QStringLiteral("SECONDS"));
    parser.addOptions({help, version, adapter, roster, log, headless, syncInterval, mqtt, mqttCa,
                       mqttCredentials, mqttPrefix, mqttDiscovery});
    for (const QtOption& qt : kQtOptions) {
        QCommandLineOption option(QString::fromLatin1(qt.name));
        if (qt.takesValue) option.setValueName(QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    if (!parser.parse(arguments))
        return refuse(
            QStringLiteral("tarnwick: %1\nTry 'tarnwick --help'.").arg(parser.errorText()));

    CommandLine result;
    if (parser.isSet(help)) {
        result.outcome = CommandLine::Outcome::ShowText;
        result.message = parser.helpText();
        return result;
    }
    if (parser.isSet(version)) {
        result.outcome = CommandLine::Outcome::ShowText;
        result.message = QStringLiteral("tarnwick " TARNWICK_VERSION "\n");
        return result;
    }
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("tarnwick: unexpected argument \"%1\"\nTry 'tarnwick --help'.")
                          .arg(parser.positionalArguments().constFirst()));

    if (parser.isSet(adapter)) {
        // The last --adapter counts, as with most programs.
        result.adapterAddress = parser.values(adapter).constLast();
        if (!isAdapterAddress(result.adapterAddress))
            return refuse(addressRefusal(result.adapterAddress, QStringLiteral("--adapter")));
    } else if (!environmentAdapter.isEmpty()) {
        result.adapterAddress = environmentAdapter;
        if (!isAdapterAddress(result.adapterAddress))
            return refuse(addressRefusal(result.adapterAddress, QLatin1String(kAdapterVariable)));
    } else {
        result.adapterAddress = compiledAddress;
    }

    result.headless = parser.isSet(headless);
    if (parser.isSet(log)) {
        const QString file = parser.values(log).constLast();
        if (file.isEmpty()) return refuse(QStringLiteral("tarnwick: --log needs a file name"));
        // The service and the user's shell start it in different folders.
        result.logFile = QFileInfo(file).absoluteFilePath();
    } else if (result.headless) {
        return refuse(QStringLiteral(
            "tarnwick: --headless needs --log FILE: without a window, the log is all it makes"));
    }
    if (parser.isSet(syncInterval)) {
        const QString text = parser.values(syncInterval).constLast();
        bool number = false;
        const int seconds = text.toInt(&number);
        if (!number || seconds < 1 || seconds > 3600)
            return refuse(QStringLiteral("tarnwick: --sync-interval takes whole seconds from 1 "
                                         "to 3600, not \"%1\"")
                              .arg(text));
        result.syncIntervalMs = seconds * qint64{1000};
    }

    const std::optional<QString> rosterFile =
        parser.isSet(roster) ? std::optional(parser.values(roster).constLast()) : std::nullopt;
    RosterLoad load = findRoster(rosterFile, environmentRoster);
    if (!load.roster) return refuse(QStringLiteral("tarnwick: ") + load.error);
    result.roster = std::move(*load.roster);

    // The last of each option counts, as with --adapter.
    const auto last = [&parser](const QCommandLineOption& option) {
        return parser.isSet(option) ? parser.values(option).constLast() : QString();
    };
    BrokerOptions broker{
        .url = parser.isSet(mqtt) ? last(mqtt) : environmentMqtt,
        .source = parser.isSet(mqtt) ? QStringLiteral("--mqtt") : QLatin1String(kMqttVariable),
        .caFile = last(mqttCa),
        .credentialsFile = last(mqttCredentials),
        .prefix = last(mqttPrefix),
        .discovery = parser.isSet(mqttDiscovery)};
    BrokerSetup setup = readBrokerSettings(broker);
    if (!setup.error.isEmpty()) return refuse(QStringLiteral("tarnwick: ") + setup.error);
    result.broker = std::move(setup.settings);
    return result;
}

CommandLine readCommandLine(int argc, char** argv, Front front) {
    CommandLine result;
    {
        // A core application only: it decodes argv and names the program in
        // the help text, and it needs no display.
        QCoreApplication core(argc, argv);
        QStringList arguments = QCoreApplication::arguments();
        if (front == Front::Headless) arguments.insert(1, QStringLiteral("--headless"));
        result = parseCommandLine(arguments, qEnvironmentVariable(kAdapterVariable),
                                  compiledAdapterAddress(), qEnvironmentVariable(kRosterVariable),
                                  qEnvironmentVariable(kMqttVariable));
    }
    const QByteArray text = result.message.toLocal8Bit();
    if (result.outcome == CommandLine::Outcome::ShowText) {
        std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
    } else if (result.outcome == CommandLine::Outcome::Refuse) {
        std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stderr);
    }
    return result;
}

}  // namespace tarnwick
