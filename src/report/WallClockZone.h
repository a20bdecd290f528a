// The log's times are local wall-clock times without a zone. This turns them
// into UTC under a time zone's rules, record after record.
#pragma once

#include <QTimeZone>
#include <optional>

#include "Timestamp.h"

namespace tarnwick {

class WallClockZone {
  public:
    explicit WallClockZone(const QTimeZone& zone);

    // Seconds since 1970-01-01 UTC of the next record's wall time.
    // - A wall time that occurs twice (in the hour repeated when summer time
    //   ends) is taken as its first occurrence, unless the record before was
    //   already later than that: then as the second. A log written through
    //   the night of the change thus keeps its records in order.
    // - A wall time that does not occur (skipped when summer time begins) is
    //   read with the offset from before the change.
    qint64 toUtc(WallSeconds wall);

  private:
    int offsetAt(qint64 utc) const;
    void learnSpan(qint64 utc, int offset);

    QTimeZone zone_;
    std::optional<qint64> previous_;
    // Wall times in [spanFrom_, spanTo_) occur once, at offset spanOffset_.
    WallSeconds spanFrom_ = 0;
    WallSeconds spanTo_ = 0;
    int spanOffset_ = 0;
};

}  // namespace tarnwick
