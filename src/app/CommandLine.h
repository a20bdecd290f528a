// The logger's command line: --help, --version, the adapter to talk to for
// this run (--adapter, or TARNWICK_ADAPTER in the environment; the option
// wins), the sensors to poll (the roster: --roster, TARNWICK_ROSTER, the
// config folders, or the compiled-in one), a log to start at start-up (--log),
// the run without a window (--headless, which needs --log) and the MQTT broker
// to publish the readings to (--mqtt and its companions, or TARNWICK_MQTT).
// Parsed, and the roster and credentials files read and checked, before any
// window system is touched, so that help, version and a refusal need no
// display.
#pragma once

#include <QString>
#include <QStringList>

#include "BrokerSettings.h"
#include "SensorRoster.h"

namespace tarnwick {

// The environment variable that names the adapter for one run.
inline constexpr char kAdapterVariable[] = "TARNWICK_ADAPTER";

// True for a dotted-decimal IPv4 address (four numbers 0-255 without leading
// zeros), optionally followed by ":port" with a port from 1 to 65535.
bool isAdapterAddress(const QString& text);

struct CommandLine {
    enum class Outcome {
        Run,       // start the logger with adapterAddress
        ShowText,  // print message on standard output, end with exitStatus
        Refuse,    // print message on standard error, end with exitStatus
    };
    Outcome outcome = Outcome::Run;
    QString adapterAddress;
    SensorRoster roster;
    QString logFile;  // absolute; empty without --log
    bool headless = false;
    // nullopt: nothing is published.
    std::optional<BrokerSettings> broker;
    qint64 syncIntervalMs = 10'000;  // --sync-interval, in ms
    QString message;
    int exitStatus = 0;
};

// Parses arguments (program name first) and reads the roster file they or
// the environment name. environmentAdapter, environmentRoster and
// environmentMqtt are the values of TARNWICK_ADAPTER, TARNWICK_ROSTER and
// TARNWICK_MQTT, empty when unset. The help
// text names the program after the running QCoreApplication, when there is
// one.
CommandLine parseCommandLine(const QStringList& arguments, const QString& environmentAdapter,
                             const QString& compiledAddress,
                             const QString& environmentRoster = QString(),
                             const QString& environmentMqtt = QString());

// For main(), before the application object exists: parses argv and the
// environment against the compiled-in address inside a short-lived
// QCoreApplication, and prints the help, the version or the refusal. The
// headless program reads its command line as if --headless were given.
enum class Front { Window, Headless };
CommandLine readCommandLine(int argc, char** argv, Front front = Front::Window);

}  // namespace tarnwick
