// What one sensor's readings over a stretch of records add up to, for the
// summary (the whole stretch) and the daily table (one day): the records that
// carry it, its failed and power-on readings, and over the temperatures the
// selection counts the lowest and highest (each with the first time it was
// reached) and the sum for the mean, in the sensor's steps.
#pragma once

#include <QtGlobal>
#include <algorithm>

#include "LogRecord.h"

namespace tarnwick {

struct ReadingTally {
    qint64 records = 0;   // records that carry the sensor
    qint64 readings = 0;  // temperatures in the figures
    qint64 missing = 0;
    qint64 powerOn = 0;
    int min = 0;
    int max = 0;
    qint64 sum = 0;
    WallSeconds first = 0;  // the earliest and latest record that carries it
    WallSeconds last = 0;
    WallSeconds minTime = 0;
    WallSeconds maxTime = 0;

    // A reading the record of `time` carries (not Absent); `counted`: the
    // selection counts it among the temperatures.
    void add(const Reading& r, WallSeconds time, bool counted) {
        if (records == 0) first = last = time;
        ++records;
        first = std::min(first, time);
        last = std::max(last, time);
        if (r.kind == ReadingKind::Missing) ++missing;
        if (r.kind == ReadingKind::PowerOn) ++powerOn;
        if (!counted) return;
        if (readings == 0 || r.steps < min) {
            min = r.steps;
            minTime = time;
        }
        if (readings == 0 || r.steps > max) {
            max = r.steps;
            maxTime = time;
        }
        ++readings;
        sum += r.steps;
    }
};

}  // namespace tarnwick
