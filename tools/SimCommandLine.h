// tarnwick-simadapter's command line: the options, their help text (made
// from each option's description) and their values checked into Options.
#pragma once

#include <QString>
#include <QStringList>
#include <string>

#include "SimAdapter.h"

namespace tarnwick::sim {

// Exit statuses of tarnwick-simadapter, besides 0 and the shared usage status.
inline constexpr int kCannotListenExitStatus = 1;   // the address or port cannot be had
inline constexpr int kCannotOpenLogExitStatus = 3;  // the --log file cannot be opened

struct SimCommandLine {
    enum class Outcome {
        Run,       // start the adapter on host:port with options
        ShowText,  // print message on standard output, end with exitStatus
        Refuse,    // print message on standard error, end with exitStatus
    };
    Outcome outcome = Outcome::Run;
    Options options;
    std::string host = "127.0.0.1";
    int port = 8642;
    std::string message;
    int exitStatus = 0;
};

// Parses the arguments (program name first). The help text names the program
// after the running QCoreApplication, when there is one.
SimCommandLine parseSimCommandLine(const QStringList& arguments, const QString& version);

}  // namespace tarnwick::sim
