// What a run is told from outside, read once at start from the command line
// and the environment, for the window (tarnwick) and the logger without one
// (tarnwick-headless) alike: the adapter, the roster, the log, how often it is
// synced and the broker the readings go to. Parsed, and the roster and
// credentials files read and checked, before any window system is touched, so
// that help, version and a refusal need no display.
//
// Each option is one row of a table (RunSettings.cpp): its names, its help,
// the environment variable read when it is not given, and the check that
// puts its value into RunSettings.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

#include "AcquisitionCycle.h"
#include "BrokerSettings.h"
#include "LogControl.h"
#include "MetricsAddress.h"
#include "Roster.h"
#include "SensorRoster.h"

namespace tarnwick {

// The environment variable that names the adapter for one run.
inline constexpr char kAdapterVariable[] = "TARNWICK_ADAPTER";
// The key of the user's settings file (~/.config/Tarnwick/Tarnwick.conf,
// section [Settings]) that names the adapter when neither the command line
// nor the environment does: where a desktop launch finds it.
inline constexpr char kAdapterSetting[] = "Adapter";
// The environment variables of the alarm options (/etc/default/tarnwick).
inline constexpr char kAdapterAlarmVariable[] = "TARNWICK_ADAPTER_ALARM";
inline constexpr char kAlarmCommandVariable[] = "TARNWICK_ALARM_COMMAND";
// The environment variable of --metrics.
inline constexpr char kMetricsVariable[] = "TARNWICK_METRICS";

// True for a dotted-decimal IPv4 address (four numbers 0-255 without leading
// zeros), optionally followed by ":port" with a port from 1 to 65535.
bool isAdapterAddress(const QString& text);

// The program that reads the command line: the window, or the logger without
// one (which reads it as if --headless were given).
enum class Front { Window, Headless };

struct RunSettings {
    QString adapterAddress = compiledAdapterAddress();
    SensorRoster roster = {};
    // Absolute; empty: logging starts off (the window), refused (headless).
    QString logFile = {};
    bool headless = false;
    // nullopt: nothing is published.
    std::optional<BrokerSettings> broker = {};
    qint64 syncIntervalMs = LogControl::kSyncIntervalMs;
    // The adapter silent this long is an alarm (with a roster file); 0: never.
    qint64 adapterAlarmMs = 60'000;
    // Run on each alarm's change, without a shell; empty: none.
    QString alarmCommand = {};
    // The window tells alarms through the desktop's notification service.
    bool notifications = true;
    // Serve the run's figures to Prometheus here; nullopt: no endpoint.
    std::optional<MetricsAddress> metrics = {};
    // Not an option: the cycle's bounds and back-off, which tests shorten.
    CycleTiming timing = {};
};

struct RunCommandLine {
    enum class Outcome {
        Run,       // start with settings
        ShowText,  // print message on standard output, end with exitStatus
        Refuse,    // print message on standard error, end with exitStatus
    };
    Outcome outcome = Outcome::Run;
    RunSettings settings = {};
    QString message = {};
    int exitStatus = 0;
};

// The value of an environment variable, or of a key of the user's settings
// file; empty when unset.
using Environment = std::function<QString(const char* name)>;
// The process's own environment.
QString processEnvironment(const char* name);

// The user's settings file: a key of its [Settings] section, and its name.
struct UserSettings {
    Environment value = {};
    QString file = {};
};
// The running user's (QSettings' Tarnwick/Tarnwick.conf in the config folder).
UserSettings userSettingsFile();

// Parses arguments (program name first) against `environment` and the
// user's settings file, reading the roster and credentials files they name.
// Each value comes from the command line, else the environment, else the
// settings file (the adapter), else its default: `compiledAddress` for the
// adapter. The help text names the program after the running
// QCoreApplication, when there is one.
RunCommandLine parseRunSettings(const QStringList& arguments, const Environment& environment,
                                const QString& compiledAddress = compiledAdapterAddress(),
                                const UserSettings& userSettings = {});

// For main(), before the application object exists: parses argv, the
// process's environment and the user's settings file inside a short-lived
// QCoreApplication, and prints the help, the version or the refusal (each
// line with the journal's error priority, "<3>", for the headless logger).
RunCommandLine readRunSettings(int argc, char** argv, Front front);

}  // namespace tarnwick
