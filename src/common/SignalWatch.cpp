#include "SignalWatch.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace tarnwick {

namespace {

// The pipe the handler writes to: [0] read by the event loop, [1] written.
int pipeEnds[2] = {-1, -1};

extern "C" void onSignal(int signal) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe already holds signals enough to act on.
    [[maybe_unused]] const ssize_t n = ::write(pipeEnds[1], &number, 1);
    errno = saved;
}

}  // namespace

SignalWatch::SignalWatch(std::initializer_list<int> caught, QObject* parent)
    : QObject(parent), caught_(caught) {
    Q_ASSERT(pipeEnds[0] < 0);
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) qFatal("cannot make the signal pipe");
    notifier_ = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readPipe(); });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : caught_) ::sigaction(signal, &action, nullptr);
}

SignalWatch::~SignalWatch() {
    for (const int signal : caught_) std::signal(signal, SIG_DFL);
    delete notifier_;
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void SignalWatch::readPipe() {
    unsigned char numbers[16];
    ssize_t n;
    while ((n = ::read(pipeEnds[0], numbers, sizeof numbers)) > 0) {
        for (ssize_t i = 0; i < n; ++i) emit received(numbers[i]);
    }
}

}  // namespace tarnwick
