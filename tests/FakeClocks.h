// Clocks a test sets by hand, handed in where the program hands in its real
// ones.
#pragma once

#include <QDateTime>

#include "Clock.h"
#include "WallClock.h"

namespace tarnwick::test {

struct FakeClock : Clock {
    qint64 monotonicMs() const override { return now; }
    qint64 now = 0;
};

struct FakeWallClock : WallClock {
    QDateTime localNow() const override { return now; }
    QDateTime now{QDate(2026, 12, 7), QTime(7, 12, 49)};
};

}  // namespace tarnwick::test
