#include "WallClockZone.h"

#include <QDateTime>
#include <algorithm>
#include <limits>

namespace tarnwick {

namespace {

QDateTime utcTime(qint64 seconds) { return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC); }

constexpr qint64 kFar = std::numeric_limits<qint64>::max() / 4;

}  // namespace

WallClockZone::WallClockZone(const QTimeZone& zone) : zone_(zone) {}

int WallClockZone::offsetAt(qint64 utc) const { return zone_.offsetFromUtc(utcTime(utc)); }

void WallClockZone::learnSpan(qint64 utc, int offset) {
    // The wall times between the transitions around `utc` that the
    // neighbouring offsets do not reach as well.
    spanFrom_ = -kFar;
    spanTo_ = kFar;
    const QTimeZone::OffsetData before = zone_.previousTransition(utcTime(utc + 1));
    if (before.atUtc.isValid()) {
        const qint64 at = before.atUtc.toSecsSinceEpoch();
        spanFrom_ = at + std::max(offset, offsetAt(at - 1));
    }
    const QTimeZone::OffsetData after = zone_.nextTransition(utcTime(utc));
    if (after.atUtc.isValid()) {
        const qint64 at = after.atUtc.toSecsSinceEpoch();
        spanTo_ = at + std::min(offset, after.offsetFromUtc);
    }
    spanOffset_ = offset;
}

qint64 WallClockZone::toUtc(WallSeconds wall) {
    qint64 utc;
    if (wall >= spanFrom_ && wall < spanTo_) {
        utc = wall - spanOffset_;
    } else {
        // The offsets in force a day either side cover every instant this wall
        // time can stand for (offsets stay within 14 hours of UTC).
        int offsets[3] = {offsetAt(wall - kSecondsPerDay), offsetAt(wall),
                          offsetAt(wall + kSecondsPerDay)};
        std::sort(std::begin(offsets), std::end(offsets));
        int fits[3];
        int count = 0;
        for (int i = 0; i < 3; ++i) {
            if ((i == 0 || offsets[i] != offsets[i - 1]) &&
                offsetAt(wall - offsets[i]) == offsets[i])
                fits[count++] = offsets[i];
        }
        if (count == 1) {
            utc = wall - fits[0];
            learnSpan(utc, fits[0]);
        } else if (count == 0) {
            utc = wall - offsetAt(wall - kSecondsPerDay);  // a skipped time
        } else {
            // Repeated: the larger offset is the earlier occurrence.
            const qint64 first = wall - fits[count - 1];
            utc = previous_ && first < *previous_ ? wall - fits[0] : first;
        }
    }
    previous_ = utc;
    return utc;
}

}  // namespace tarnwick
