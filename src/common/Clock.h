// Steady time: milliseconds that only go forward, for waits and intervals.
// The program hands one clock to whoever measures time (src/app composes the
// real one); tests hand in a clock they move by hand.
#pragma once

#include <QtGlobal>

namespace tarnwick {

class Clock {
  public:
    virtual ~Clock() = default;
    virtual qint64 monotonicMs() const = 0;
};

}  // namespace tarnwick
