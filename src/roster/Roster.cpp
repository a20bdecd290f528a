#include "Roster.h"

#ifndef TARNWICK_ADAPTER_ADDRESS
#error "TARNWICK_ADAPTER_ADDRESS must be defined by the build"
#endif

namespace tarnwick {

IdentifierTable compiledRoster() {
    IdentifierTable t;
    const char* const ids[kMaxSensors] = {
        "9C000000B4A89828", "06000000A4EC7428", "B900000027CA8F28", "E6000000B4E6AC28",
        "6E00000027CD1E28", "40000000B491CF28", "A1000000180B0528", "47000000A4F3AD28",
        "88000000B4A59328", "EC00000027A23328", "EE000000B4913B28", "A1000000A4D34C28",
        "84000000B4D33B28", "92000000A4F27928", "F9000000A4DF6628", "42000000B49D7028",
    };
    for (int i = 0; i < kMaxSensors; ++i) t[i] = QString::fromLatin1(ids[i]);
    return t;
}

QString compiledAdapterAddress() { return QStringLiteral(TARNWICK_ADAPTER_ADDRESS); }

std::int16_t sensorCountForCheckValue(int checkValue) {
    return checkValue == 1 ? kAllActiveCount : kDefaultActiveCount;
}

}  // namespace tarnwick
