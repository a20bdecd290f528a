// The metric families of a snapshot of the run's figures, named by
// Prometheus' conventions (the base unit in the name, _total for counters),
// each sensor's labelled with the adapter, its ROM code and its name in the
// roster; and their text exposition format, as a scrape of /metrics reads.
#pragma once

#include <string>
#include <vector>

#include "RunMetrics.h"

namespace prometheus {
struct MetricFamily;
}

namespace tarnwick {

std::vector<prometheus::MetricFamily> metricFamilies(const MetricsSnapshot& snapshot);
std::string metricsText(const MetricsSnapshot& snapshot);

}  // namespace tarnwick
