// The program's steady clock: milliseconds since it was made, from the
// system's monotonic clock.
#pragma once

#include <QElapsedTimer>

#include "Clock.h"

namespace tarnwick {

class SteadyClock : public Clock {
  public:
    SteadyClock() { timer_.start(); }
    qint64 monotonicMs() const override { return timer_.elapsed(); }

  private:
    QElapsedTimer timer_;
};

}  // namespace tarnwick
