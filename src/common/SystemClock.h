// The program's wall clock: the system's local date and time.
#pragma once

#include "WallClock.h"

namespace tarnwick {

class SystemClock : public WallClock {
  public:
    QDateTime localNow() const override { return QDateTime::currentDateTime(); }
};

}  // namespace tarnwick
