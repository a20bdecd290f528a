#include "SensorLabels.h"

#include "Roster.h"

namespace tarnwick {

SensorLabels SensorLabels::compiled() {
    SensorLabels labels;
    const IdentifierTable roster = compiledRoster();
    for (int slot = 0; slot < kMaxSensors; ++slot)
        labels.roms_[static_cast<std::size_t>(slot)] = roster[static_cast<std::size_t>(slot)];
    return labels;
}

QString SensorLabels::heading(int slot) const {
    const QString n = name(slot);
    return n.isEmpty() ? rom(slot) : n;
}

QString SensorLabels::legend(int slot) const {
    return QStringLiteral("%1  %2").arg(slot + 1).arg(heading(slot));
}

}  // namespace tarnwick
