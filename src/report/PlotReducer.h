// Reduces a series of any length to a bounded number of points for a chart:
// time is cut into columns, and each sensor keeps its minimum and maximum per
// column (with their times), so that peaks stay visible whatever the zoom of
// the picture. Columns start one second wide and double in width whenever
// there would be more than `maxColumns`, so the length of the time range need
// not be known in advance and memory stays bounded.
//
// A sensor's line is broken where readings are missing: a missing or
// power-on reading, or a record that does not carry the sensor, between two
// columns that have temperatures. Every line is broken across a hole in time:
// a pause without records much longer than the log's own cadence, that is
// longer than RecordCadence::kHoleCadences times the median interval between
// records and than RecordCadence::kMinHoleSeconds (a logger stopped, or held by a modal box).
// Within one column a hole is narrower than what the column can show and does not break the line.
// The median is that of all the records added so far, so a chart redrawn as records arrive applies
// the same rule as one drawn at the end.
//
// Records that share a second (the logger's passes are not exactly a second
// apart) keep their order in the file and are spread within that second:
// the k-th of n records that follow each other in one second is drawn at
// k/n of it, so that a line runs on instead of rising and falling on the spot.
#pragma once

#include <array>
#include <vector>

#include "RecordCadence.h"
#include "Selection.h"

namespace tarnwick {

struct PlotPoint {
    WallSeconds time;
    int steps;              // the reading in its sensor's steps (Reading::steps)
    double fraction = 0.0;  // of the second after `time`: k/n for the k-th of n in that second
};

// A sensor's line: runs of points to be joined, with a gap between runs.
struct PlotLine {
    int slot = 0;
    int instance = 0;  // of the report's instances
    std::vector<std::vector<PlotPoint>> segments;
};

class PlotReducer {
  public:
    PlotReducer(const Selection& selection, int maxColumns);

    void add(const LogRecord& record);

    // One line per selected sensor that has at least one temperature.
    std::vector<PlotLine> lines() const;
    WallSeconds columnSeconds() const { return width_; }
    int columns() const { return static_cast<int>(columns_.size()); }
    // The median interval between records, and the longest pause that does
    // not yet break the lines.
    WallSeconds medianInterval() const { return cadence_.median(); }
    WallSeconds longestJoinedPause() const { return cadence_.longestJoinedPause(); }

  private:
    // Where in its second a minimum or maximum was read: the k-th (from 0)
    // of n records; n is 0 while more may come in that second.
    struct Place {
        int rank = 0;
        int of = 0;
    };
    struct Cell {
        int min = 0, max = 0;
        WallSeconds minTime = 0, maxTime = 0;
        Place minPlace, maxPlace;
        bool any = false;
        bool breakBefore = false;  // the line does not join the column before
    };
    struct Column {
        std::array<Cell, kMaxSensors> cells;
        WallSeconds pauseBefore = 0;  // from the record before to the column's first
        bool anyRecord = false;
    };
    qint64 columnIndex(WallSeconds t) const;
    Column& columnAt(qint64 index);
    void halve();
    void closeSecond();
    PlotPoint point(WallSeconds time, int steps, const Place& place) const;

    Selection selection_;
    int maxColumns_;
    bool started_ = false;
    WallSeconds origin_ = 0;
    WallSeconds width_ = 1;
    qint64 firstIndex_ = 0;
    std::vector<Column> columns_;
    // The column of the record before; columns_ is not changed while it is set.
    Column* current_ = nullptr;
    qint64 currentIndex_ = 0;
    WallSeconds currentStart_ = 0;
    WallSeconds lastTime_ = 0;
    int inSecond_ = 0;  // records so far in lastTime_'s second, one after another
    RecordCadence cadence_;
    std::array<bool, kMaxSensors> gapPending_{};
    std::array<qint64, kMaxSensors> lastColumn_{};
    std::array<bool, kMaxSensors> hasLast_{};
};

}  // namespace tarnwick
