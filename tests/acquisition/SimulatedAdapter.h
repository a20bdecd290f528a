// The simulated adapter as the browser and cycle tests use it.
#pragma once

#include <QStringList>

#include "SimAdapter.h"

namespace tarnwick::test {

// Its address as the cycle takes it: loopback and the port it listens on.
inline QString address(const sim::Adapter& sim) {
    return QStringLiteral("127.0.0.1:%1").arg(sim.port());
}

// Sensors that convert at once.
inline sim::Options quickBus() {
    sim::Options o;
    o.conversionMs = 0;
    return o;
}

// The request targets the adapter has seen, in order.
inline QStringList targets(const sim::Adapter& sim) {
    QStringList out;
    for (const auto& r : sim.requests()) out << QString::fromStdString(r.target);
    return out;
}

}  // namespace tarnwick::test
