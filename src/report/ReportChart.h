// The chart of a report: one line per sensor, wall-clock time across, degrees
// up, a legend, gaps where readings are missing, and the roster's alarm
// limits as dashed lines in the colour of their sensor. With several
// instances, one line per sensor of each, the colours of the second shifted
// half way along those of the first, of the third a quarter.
#pragma once

#include <QChartView>
#include <QLineSeries>
#include <QPointF>
#include <QString>
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "Degrees.h"
#include "LogFollower.h"
#include "PlotReducer.h"
#include "ReportOptions.h"
#include "SensorLabels.h"

namespace tarnwick {

// Tick positions and labels for a time axis between `minMs` and `maxMs`
// (milliseconds of wall-clock time since 1970-01-01): whole seconds, minutes,
// hours, days, Mondays, months or years, at most `maxTicks` of them.
std::vector<std::pair<double, QString>> timeTicks(double minMs, double maxMs, int maxTicks);

// A new chart (the caller owns it) with `title` at the top.
QChart* buildChart(const std::vector<PlotLine>& lines, Unit unit, const SensorLabels& labels,
                   const QString& title);
// The same for lines of several instances, `labels` each one's.
QChart* buildChart(const std::vector<PlotLine>& lines, Unit unit,
                   const std::vector<SensorLabels>& labels, const QString& title);
// The labels of each of the options' instances.
std::vector<SensorLabels> instanceLabels(const ReportOptions& options);

// A chart's lines as its series: one per sensor and stretch between gaps,
// kept from one show() to the next where they are still needed.
class ChartLines {
  public:
    // `chart` (not owned) has its time and temperature axes.
    ChartLines(QChart* chart, Unit unit, const SensorLabels& labels);
    // For lines of several instances, `labels` each one's.
    ChartLines(QChart* chart, Unit unit, const std::vector<SensorLabels>& labels);
    void show(const std::vector<PlotLine>& lines);
    // The axes' ranges to the data shown.
    void fitView();

  private:
    struct Extent {
        double minX = 0, maxX = 0, minY = 0, maxY = 0;
        bool any = false;
        void add(const QPointF& p);
    };

    // Each sensor's of one instance.
    template <typename T>
    using PerSensor = std::array<T, kMaxSensors>;

    QChart* chart_;
    Unit unit_;
    std::vector<SensorLabels> labels_;
    void showLine(int instance, int slot, const PlotLine* line);
    void showLimits();
    void showLimits(int instance, int slot);

    std::vector<PerSensor<std::vector<QLineSeries*>>> series_;
    // Each sensor's low and high limit, dashed in its colour across the time shown.
    std::vector<PerSensor<std::array<QLineSeries*, 2>>> limits_;
    Extent extent_;  // of the points shown
};

// A chart that follows a log (--follow): the records the logger appends are
// added to the chart's data, and the lines are drawn again. The view keeps to
// all the data unless the user has zoomed in.
class LiveChart {
  public:
    using NoteHandler = LogFollower::NoteHandler;

    // `reducer` holds the data read so far; `log` has been read to its end, following.
    LiveChart(std::unique_ptr<PlotReducer> reducer, std::unique_ptr<LogReader> log,
              const ReportOptions& options, const QString& title, NoteHandler onNote);

    // Owned by whoever shows it (a QChartView).
    QChart* chart() const { return chart_; }
    LogFollower& follower() { return follower_; }

  private:
    void redraw();

    std::unique_ptr<PlotReducer> reducer_;
    Selection selection_;
    QChart* chart_;
    ChartLines lines_;
    LogFollower follower_;
};

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
