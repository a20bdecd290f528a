#include "PlotReducer.h"

#include <algorithm>

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
        for (int slot = 0; slot < kMaxSensors; ++slot) {
            const Cell& from = columns_[i][slot];
            if (!from.any) continue;
            Cell& cell = into[slot];
            if (!cell.any) {
                cell = from;  // keeps a break before the left part
                continue;
            }
            // The right half joins the left one: a break between them is now inside.
            if (from.min < cell.min) {
                cell.min = from.min;
                cell.minTime = from.minTime;
            }
            if (from.max > cell.max) {
                cell.max = from.max;
                cell.maxTime = from.maxTime;
            }
        }
    }
    columns_ = std::move(merged);
    firstIndex_ = newFirst;
    width_ *= 2;
    for (qint64& index : lastColumn_) index = floorDiv(index, 2);
}

void PlotReducer::add(const LogRecord& record) {
    const WallSeconds t = record.time;
    if (!started_) {
        started_ = true;
        origin_ = t;
    } else if (t - lastTime_ > kGapSeconds) {
        gapPending_.fill(true);
    }
    lastTime_ = t;

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
    Column* column = nullptr;
    for (const int slot : selection_.sensorSlots) {
        const Reading& r = record.readings[slot];
        if (!selection_.counts(r)) {
            gapPending_[slot] = true;
            continue;
        }
        if (!column) column = &columnAt(index);
        Cell& cell = (*column)[slot];
        if (!cell.any) {
            cell.any = true;
            cell.min = cell.max = r.sixteenths;
            cell.minTime = cell.maxTime = t;
            cell.breakBefore = gapPending_[slot] && hasLast_[slot] && lastColumn_[slot] != index;
        } else {
            if (r.sixteenths < cell.min) {
                cell.min = r.sixteenths;
                cell.minTime = t;
            }
            if (r.sixteenths > cell.max) {
                cell.max = r.sixteenths;
                cell.maxTime = t;
            }
        }
        gapPending_[slot] = false;
        hasLast_[slot] = true;
        lastColumn_[slot] = index;
    }
}

std::vector<PlotLine> PlotReducer::lines() const {
    std::vector<PlotLine> lines;
    for (const int slot : selection_.sensorSlots) {
        PlotLine line;
        line.slot = slot;
        for (const Column& column : columns_) {
            const Cell& cell = column[slot];
            if (!cell.any) continue;
            if (line.segments.empty() || cell.breakBefore) line.segments.emplace_back();
            std::vector<PlotPoint>& points = line.segments.back();
            PlotPoint a{cell.minTime, cell.min};
            PlotPoint b{cell.maxTime, cell.max};
            if (b.time < a.time) std::swap(a, b);
            points.push_back(a);
            if (b.time != a.time || b.sixteenths != a.sixteenths) points.push_back(b);
        }
        if (!line.segments.empty()) lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace tarnwick
