// tarnwick-simadapter: runs the simulated 1-Wire HTTP adapter on loopback until
// SIGINT or SIGTERM. SIGUSR1 lets stalled pages complete.
#include <signal.h>

#include <QCoreApplication>
#include <cstdio>

#include "SimAdapter.h"
#include "SimCommandLine.h"

#ifndef TARNWICK_VERSION
#error "TARNWICK_VERSION must be defined by the build"
#endif

int main(int argc, char** argv) {
    using namespace tarnwick::sim;
    SimCommandLine command;
    {
        // A core application only: it names the program on the help text's usage line.
        const QCoreApplication probe(argc, argv);
        command =
            parseSimCommandLine(QCoreApplication::arguments(), QStringLiteral(TARNWICK_VERSION));
    }
    if (command.outcome != SimCommandLine::Outcome::Run) {
        const bool show = command.outcome == SimCommandLine::Outcome::ShowText;
        std::fputs(command.message.c_str(), show ? stdout : stderr);
        return command.exitStatus;
    }

    // Handle the signals on this thread alone; the server threads inherit the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    Adapter adapter(command.options);
    if (const auto failure = adapter.tryStart(command.host, command.port)) {
        std::fprintf(stderr, "tarnwick-simadapter: %s\n", failure->message.c_str());
        return failure->cause == Adapter::StartFailure::Cause::Log ? kCannotOpenLogExitStatus
                                                                   : kCannotListenExitStatus;
    }
    std::printf("listening on http://%s:%d\n", command.host.c_str(), adapter.port());
    std::fflush(stdout);

    for (;;) {
        int sig = 0;
        if (sigwait(&stopSignals, &sig) != 0) continue;
        if (sig != SIGUSR1) break;
        adapter.releaseStalls();
    }
    adapter.stop();
    return 0;
}
