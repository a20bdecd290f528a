// Wall-clock time: the local date and time, as log records and the status
// bar show it. The program hands one wall clock to whoever shows or records
// the time (src/app composes the real one); tests hand in a clock they set.
#pragma once

#include <QDateTime>

namespace tarnwick {

class WallClock {
  public:
    virtual ~WallClock() = default;
    virtual QDateTime localNow() const = 0;
};

}  // namespace tarnwick
