#include "EscapingApplication.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "ExitStatus.h"

namespace tarnwick {

namespace {
EscapeRoute* running = nullptr;
}

EscapeRoute::EscapeRoute() { running = this; }

EscapeRoute::~EscapeRoute() {
    if (running == this) running = nullptr;
}

EscapeRoute* EscapeRoute::current() { return running; }

void EscapeRoute::setEscapeHandler(Handler handler) { handler_ = std::move(handler); }

void EscapeRoute::escaped(const QString& what) {
    if (handler_) {
        handler_(what);
        return;
    }
    // Nothing is running that could end the program in order (no window, no
    // log): say what happened and end it.
    std::fprintf(stderr, "tarnwick: %s\n", qPrintable(what));
    std::exit(kFailureExitStatus);
}

}  // namespace tarnwick
