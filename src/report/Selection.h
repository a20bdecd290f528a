// What part of the logs a report covers.
#pragma once

#include <optional>
#include <vector>

#include "LogRecord.h"

namespace tarnwick {

struct Selection {
    std::vector<int> sensorSlots;     // roster slots, ascending
    std::optional<WallSeconds> from;  // first second included
    std::optional<WallSeconds> to;    // last second included
    bool keepPowerOn = false;         // power-on readings count as temperatures

    bool includes(WallSeconds t) const { return (!from || t >= *from) && (!to || t <= *to); }
    // Whether the reading is a temperature that goes into the figures.
    bool counts(const Reading& r) const {
        return r.kind == ReadingKind::Valid || (keepPowerOn && r.kind == ReadingKind::PowerOn);
    }
};

}  // namespace tarnwick
