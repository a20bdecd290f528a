#include "PlotReducer.h"

#include <algorithm>
#include <tuple>

namespace tarnwick {

namespace {
qint64 floorDiv(qint64 a, qint64 b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
}  // namespace

PlotReducer::PlotReducer(const Selection& selection, int maxColumns)
    : selection_(selection), maxColumns_(std::max(maxColumns, 2)) {}

qint64 PlotReducer::columnIndex(WallSeconds t) const { return floorDiv(t - origin_, width_); }

PlotReducer::Column& PlotReducer::columnAt(qint64 index) {
    if (columns_.empty()) {
        firstIndex_ = index;
        columns_.emplace_back();
    } else if (index < firstIndex_) {
        columns_.insert(columns_.begin(), static_cast<std::size_t>(firstIndex_ - index), Column{});
        firstIndex_ = index;
    } else if (index >= firstIndex_ + static_cast<qint64>(columns_.size())) {
        columns_.resize(static_cast<std::size_t>(index - firstIndex_ + 1));
    }
    return columns_[static_cast<std::size_t>(index - firstIndex_)];
}

void PlotReducer::halve() {
    // Columns 2k and 2k+1 become column k of twice the width.
    const qint64 newFirst = floorDiv(firstIndex_, 2);
    const qint64 newLast = floorDiv(firstIndex_ + static_cast<qint64>(columns_.size()) - 1, 2);
    std::vector<Column> merged(static_cast<std::size_t>(newLast - newFirst + 1));
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const qint64 index = firstIndex_ + static_cast<qint64>(i);
        Column& into = merged[static_cast<std::size_t>(floorDiv(index, 2) - newFirst)];
        const Column& part = columns_[i];
        if (!into.anyRecord) {
            // The pause before the left part stays; one before the right part is now inside.
            into.anyRecord = part.anyRecord;
            into.pauseBefore = part.pauseBefore;
        }
        for (int slot = 0; slot < kMaxSensors; ++slot) {
            const Cell& from = part.cells[slot];
            if (!from.any) continue;
            Cell& cell = into.cells[slot];
            if (!cell.any) {
                cell = from;  // keeps a break before the left part
                continue;
            }
            // The right half joins the left one: a break between them is now inside.
            if (from.min < cell.min) {
                cell.min = from.min;
                cell.minTime = from.minTime;
                cell.minPlace = from.minPlace;
            }
            if (from.max > cell.max) {
                cell.max = from.max;
                cell.maxTime = from.maxTime;
                cell.maxPlace = from.maxPlace;
            }
        }
    }
    columns_ = std::move(merged);
    current_ = nullptr;
    firstIndex_ = newFirst;
    width_ *= 2;
    for (qint64& index : lastColumn_) index = floorDiv(index, 2);
}

void PlotReducer::closeSecond() {
    // The points of the second that ends are all in the column of its records.
    if (!current_) return;
    for (const int slot : selection_.sensorSlots) {
        Cell& cell = current_->cells[slot];
        if (cell.minPlace.of == 0) cell.minPlace.of = inSecond_;
        if (cell.maxPlace.of == 0) cell.maxPlace.of = inSecond_;
    }
}

PlotPoint PlotReducer::point(WallSeconds time, int steps, const Place& place) const {
    const int of = place.of == 0 ? inSecond_ : place.of;
    return {time, steps, of > 1 ? static_cast<double>(place.rank) / of : 0.0};
}

void PlotReducer::add(const LogRecord& record) {
    const WallSeconds t = record.time;
    const bool first = !started_;
    const bool sameSecond = !first && t == lastTime_;
    if (!first && !sameSecond) closeSecond();
    const Place place{sameSecond ? inSecond_ : 0, 0};
    inSecond_ = place.rank + 1;
    if (first) {
        started_ = true;
        origin_ = t;
    } else if (t >= lastTime_) {
        cadence_.add(t - lastTime_);
    }
    const WallSeconds pause = first ? 0 : std::max<WallSeconds>(t - lastTime_, 0);
    lastTime_ = t;

    // Most records fall into the column of the record before.
    if (!current_ || t < currentStart_ || t >= currentStart_ + width_) {
        qint64 index = columnIndex(t);
        const auto span = [this](qint64 i) -> qint64 {
            if (columns_.empty()) return 1;
            const qint64 last = firstIndex_ + static_cast<qint64>(columns_.size()) - 1;
            return std::max(i, last) - std::min(i, firstIndex_) + 1;
        };
        while (span(index) > maxColumns_) {
            halve();
            index = columnIndex(t);
        }
        current_ = &columnAt(index);
        currentIndex_ = index;
        currentStart_ = origin_ + index * width_;
    }
    Column& column = *current_;
    const qint64 index = currentIndex_;
    if (!column.anyRecord) {
        column.anyRecord = true;
        column.pauseBefore = pause;
    }
    for (const int slot : selection_.sensorSlots) {
        const Reading& r = record.readings[slot];
        if (!selection_.counts(r)) {
            gapPending_[slot] = true;
            continue;
        }
        Cell& cell = column.cells[slot];
        if (!cell.any) {
            cell.any = true;
            cell.min = cell.max = r.steps;
            cell.minTime = cell.maxTime = t;
            cell.minPlace = cell.maxPlace = place;
            cell.breakBefore = gapPending_[slot] && hasLast_[slot] && lastColumn_[slot] != index;
        } else if (r.steps < cell.min) {
            cell.min = r.steps;
            cell.minTime = t;
            cell.minPlace = place;
        } else if (r.steps > cell.max) {
            cell.max = r.steps;
            cell.maxTime = t;
            cell.maxPlace = place;
        }
        gapPending_[slot] = false;
        hasLast_[slot] = true;
        lastColumn_[slot] = index;
    }
}

std::vector<PlotLine> PlotReducer::lines() const {
    const WallSeconds longestJoined = longestJoinedPause();
    std::vector<PlotLine> lines;
    for (const int slot : selection_.sensorSlots) {
        PlotLine line;
        line.slot = slot;
        WallSeconds pause = 0;  // the longest since the sensor's last column
        for (const Column& column : columns_) {
            pause = std::max(pause, column.pauseBefore);
            const Cell& cell = column.cells[slot];
            if (!cell.any) continue;
            const bool joined = !cell.breakBefore && pause <= longestJoined;
            pause = 0;
            if (line.segments.empty() || !joined) line.segments.emplace_back();
            std::vector<PlotPoint>& points = line.segments.back();
            PlotPoint a = point(cell.minTime, cell.min, cell.minPlace);
            PlotPoint b = point(cell.maxTime, cell.max, cell.maxPlace);
            if (std::tie(b.time, b.fraction) < std::tie(a.time, a.fraction)) std::swap(a, b);
            points.push_back(a);
            if (b.time != a.time || b.fraction != a.fraction || b.steps != a.steps)
                points.push_back(b);
        }
        if (!line.segments.empty()) lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace tarnwick
