// tarnwick-simadapter: runs the simulated 1-Wire HTTP adapter on loopback until
// SIGINT or SIGTERM, silent in the stretches --silent gives. SIGUSR1 lets
// stalled pages complete.
#include <signal.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <ctime>

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

    // The silences of the schedule: the listening socket closed and opened
    // again on the same port, between the signals.
    const std::vector<Silence>& silences = command.options.silences;
    const int port = adapter.port();
    for (;;) {
        const long long elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - adapter.origin())
                                      .count();
        const bool silent = silentAt(silences, elapsed);
        if (silent && adapter.running()) {
            adapter.stop();
            std::printf("silent at %lld ms\n", elapsed);
            std::fflush(stdout);
        } else if (!silent && !adapter.running()) {
            if (const auto failure = adapter.tryStart(command.host, port)) {
                std::fprintf(stderr, "tarnwick-simadapter: %s\n", failure->message.c_str());
                return kCannotListenExitStatus;
            }
            std::printf("listening again at %lld ms\n", elapsed);
            std::fflush(stdout);
        }
        int sig = 0;
        if (const auto next = nextSilenceChange(silences, elapsed)) {
            const long long waitMs = *next - elapsed;
            const timespec wait{static_cast<time_t>(waitMs / 1000),
                                static_cast<long>(waitMs % 1000) * 1000000L};
            sig = sigtimedwait(&stopSignals, nullptr, &wait);
            if (sig < 0) continue;  // the next change is due (or an interruption)
        } else if (sigwait(&stopSignals, &sig) != 0) {
            continue;
        }
        if (sig != SIGUSR1) break;
        adapter.releaseStalls();
    }
    adapter.stop();
    return 0;
}
