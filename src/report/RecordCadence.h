// How often the logger wrote its records: the intervals between records in
// whole seconds, their median, and from it what counts as a hole in the log
// (the logger stopped, or held by a modal box) rather than its own cadence.
#pragma once

#include <algorithm>
#include <array>

#include "Timestamp.h"

namespace tarnwick {

class RecordCadence {
  public:
    // A pause is a hole when it is longer than kHoleCadences times the median
    // interval and than kMinHoleSeconds.
    static constexpr WallSeconds kHoleCadences = 3;
    static constexpr WallSeconds kMinHoleSeconds = 5;

    // The interval from one record to the next (0 or more seconds).
    void add(WallSeconds interval) {
        ++intervals_[static_cast<std::size_t>(
            std::min<WallSeconds>(interval, kIntervalBuckets - 1))];
        ++count_;
    }
    // Whether any interval has been added: before, nothing is a hole.
    bool known() const { return count_ > 0; }
    // The median of the intervals added so far; 0 before any.
    WallSeconds median() const {
        qint64 below = 0;
        for (std::size_t seconds = 0; seconds < intervals_.size(); ++seconds) {
            below += intervals_[seconds];
            if (2 * below >= count_) return static_cast<WallSeconds>(seconds);
        }
        return 0;
    }
    // The longest pause that is not yet a hole.
    WallSeconds longestJoinedPause() const {
        return std::max(kMinHoleSeconds, kHoleCadences * median());
    }

  private:
    // Whole seconds; the last bucket counts all longer intervals.
    static constexpr int kIntervalBuckets = 3601;
    std::array<qint64, kIntervalBuckets> intervals_{};
    qint64 count_ = 0;
};

}  // namespace tarnwick
