// The chart of a report: one line per sensor, wall-clock time across, degrees
// up, a legend, and gaps where readings are missing.
#pragma once

#include <QChartView>
#include <QString>
#include <optional>
#include <vector>

#include "Degrees.h"
#include "PlotReducer.h"
#include "SensorLabels.h"

namespace tarnwick {

// Tick positions and labels for a time axis between `minMs` and `maxMs`
// (milliseconds of wall-clock time since 1970-01-01): whole seconds, minutes,
// hours, days, Mondays, months or years, at most `maxTicks` of them.
std::vector<std::pair<double, QString>> timeTicks(double minMs, double maxMs, int maxTicks);

// A new chart (the caller owns it) with `title` at the top.
QChart* buildChart(const std::vector<PlotLine>& lines, Unit unit, const SensorLabels& labels,
                   const QString& title);

// Writes the chart as PNG or SVG, `width` x `height` pixels. The reason on failure.
std::optional<QString> saveChart(QChart* chart, const QString& path, bool svg, int width,
                                 int height);

// A chart view that zooms with the rubber band (drag), the wheel and the
// keys + and -, scrolls with the arrow keys and goes back with 0 or a right click.
class ZoomableChartView : public QChartView {
  public:
    explicit ZoomableChartView(QChart* chart);

  protected:
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace tarnwick
