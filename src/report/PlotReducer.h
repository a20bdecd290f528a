// Reduces a series of any length to a bounded number of points for a chart:
// time is cut into columns, and each sensor keeps its minimum and maximum per
// column (with their times), so that peaks stay visible whatever the zoom of
// the picture. Columns start one second wide and double in width whenever
// there would be more than `maxColumns`, so the length of the time range need
// not be known in advance and memory stays bounded.
//
// A sensor's line is broken where readings are missing: a missing or
// power-on reading, a record that does not carry the sensor, or a pause of
// more than kGapSeconds without any record, between two columns that have
// temperatures. Within one column such a hole is narrower than what the
// column can show and does not break the line.
#pragma once

#include <array>
#include <vector>

#include "Selection.h"

namespace tarnwick {

struct PlotPoint {
    WallSeconds time;
    int sixteenths;
};

// A sensor's line: runs of points to be joined, with a gap between runs.
struct PlotLine {
    int slot = 0;
    std::vector<std::vector<PlotPoint>> segments;
};

class PlotReducer {
  public:
    static constexpr WallSeconds kGapSeconds = 300;

    PlotReducer(const Selection& selection, int maxColumns);

    void add(const LogRecord& record);

    // One line per selected sensor that has at least one temperature.
    std::vector<PlotLine> lines() const;
    WallSeconds columnSeconds() const { return width_; }
    int columns() const { return static_cast<int>(columns_.size()); }

  private:
    struct Cell {
        int min = 0, max = 0;
        WallSeconds minTime = 0, maxTime = 0;
        bool any = false;
        bool breakBefore = false;  // the line does not join the column before
    };
    using Column = std::array<Cell, kMaxSensors>;

    qint64 columnIndex(WallSeconds t) const;
    Column& columnAt(qint64 index);
    void halve();

    Selection selection_;
    int maxColumns_;
    bool started_ = false;
    WallSeconds origin_ = 0;
    WallSeconds width_ = 1;
    qint64 firstIndex_ = 0;
    std::vector<Column> columns_;
    WallSeconds lastTime_ = 0;
    std::array<bool, kMaxSensors> gapPending_{};
    std::array<qint64, kMaxSensors> lastColumn_{};
    std::array<bool, kMaxSensors> hasLast_{};
};

}  // namespace tarnwick
