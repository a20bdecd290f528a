#include "ReportChart.h"

#include <QCategoryAxis>
#include <QChart>
#include <QDateTime>
#include <QGraphicsScene>
#include <QImage>
#include <QKeyEvent>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QSvgGenerator>
#include <QTimeZone>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <utility>

namespace tarnwick {

namespace {

constexpr double kMsPerSecond = 1000.0;
constexpr qint64 kMinute = 60;
constexpr qint64 kHour = 3600;
constexpr qint64 kDay = kSecondsPerDay;

// Sixteen colours that stay apart from each other on white.
const QColor kColours[kMaxSensors] = {
    QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e), QColor(0x2c, 0xa0, 0x2c),
    QColor(0xd6, 0x27, 0x28), QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
    QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f), QColor(0xbc, 0xbd, 0x22),
    QColor(0x17, 0xbe, 0xcf), QColor(0x00, 0x00, 0x80), QColor(0x80, 0x80, 0x00),
    QColor(0x00, 0x80, 0x80), QColor(0xff, 0x00, 0xff), QColor(0x80, 0x00, 0x00),
    QColor(0x00, 0x00, 0x00),
};

// The colour of an instance's sensor: the second instance's start half way
// along the colours, the third's a quarter, the fourth's three quarters ...
QColor colour(int instance, int slot) {
    int shift = 0;
    for (int bit = kMaxSensors / 2; instance > 0; bit /= 2, instance /= 2)
        if (instance % 2 == 1) shift += bit;
    return kColours[(slot + shift) % kMaxSensors];
}

QDateTime wallTime(double ms) {
    // Wall-clock seconds are laid out like UTC, which has no daylight saving jumps.
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::floor(ms)), QTimeZone::utc());
}

// The time axis: labels at whole times, recomputed whenever the range changes.
void relabel(QCategoryAxis* axis, double min, double max) {
    const QStringList old = axis->categoriesLabels();
    for (const QString& label : old) axis->remove(label);
    axis->setStartValue(min);
    for (const auto& [at, label] : timeTicks(min, max, 10)) axis->append(label, at);
}

}  // namespace

std::vector<std::pair<double, QString>> timeTicks(double minMs, double maxMs, int maxTicks) {
    std::vector<std::pair<double, QString>> ticks;
    if (!(maxMs > minMs)) return ticks;
    const qint64 from = static_cast<qint64>(std::ceil(minMs / kMsPerSecond));
    const qint64 to = static_cast<qint64>(std::floor(maxMs / kMsPerSecond));
    const qint64 span = std::max<qint64>(to - from, 1);

    // Fixed steps, aligned to whole multiples since midnight (and Mondays for weeks).
    const qint64 steps[] = {
        1,        2,           5,           10,           15,           30,
        kMinute,  2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute,
        kHour,    2 * kHour,   3 * kHour,   6 * kHour,    12 * kHour,   kDay,
        2 * kDay, 7 * kDay};
    for (const qint64 step : steps) {
        if (span / step + 1 > maxTicks) continue;
        // 1970-01-01 was a Thursday: Mondays are 4 days after a multiple of 7.
        const qint64 offset = step == 7 * kDay ? 4 * kDay : 0;
        qint64 t = from - offset;
        t = (t >= 0 ? (t + step - 1) / step : -((-t) / step)) * step + offset;
        const QString format = step < kMinute ? QStringLiteral("HH:mm:ss")
                               : step < kDay  ? QStringLiteral("MM-dd HH:mm")
                                              : QStringLiteral("yyyy-MM-dd");
        for (; t <= to; t += step)
            ticks.emplace_back(t * kMsPerSecond, wallTime(t * kMsPerSecond).toString(format));
        return ticks;
    }
    // Months and years: at the first of a month.
    const QDate first = wallTime(minMs).date();
    const int months = static_cast<int>(span / (30 * kDay)) + 1;
    int stepMonths = 1;
    for (const int m : {1, 2, 3, 6, 12, 24, 60, 120, 240, 600, 1200}) {
        stepMonths = m;
        if (months / m + 1 <= maxTicks) break;
    }
    QDate d(first.year(), 1, 1);
    while (d.addMonths(stepMonths) <= first) d = d.addMonths(stepMonths);
    const QString format = stepMonths < 12 ? QStringLiteral("yyyy-MM") : QStringLiteral("yyyy");
    for (; ticks.size() < 1000; d = d.addMonths(stepMonths)) {
        const double at = static_cast<double>(toWallSeconds(d, QTime(0, 0))) * kMsPerSecond;
        if (at > maxMs) break;
        if (at >= minMs) ticks.emplace_back(at, d.toString(format));
    }
    return ticks;
}

ChartLines::ChartLines(QChart* chart, Unit unit, const SensorLabels& labels)
    : ChartLines(chart, unit, std::vector<SensorLabels>{labels}) {}

ChartLines::ChartLines(QChart* chart, Unit unit, const std::vector<SensorLabels>& labels)
    : chart_(chart),
      unit_(unit),
      labels_(labels),
      series_(labels.size()),
      limits_(labels.size(), PerSensor<std::array<QLineSeries*, 2>>{}) {}

void ChartLines::show(const std::vector<PlotLine>& lines) {
    extent_ = {};
    std::vector<PerSensor<const PlotLine*>> bySensor(labels_.size(), PerSensor<const PlotLine*>{});
    for (const PlotLine& line : lines)
        bySensor[static_cast<std::size_t>(line.instance)][static_cast<std::size_t>(line.slot)] =
            &line;
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        for (int slot = 0; slot < kMaxSensors; ++slot)
            showLine(static_cast<int>(i), slot, bySensor[i][static_cast<std::size_t>(slot)]);
    }
    showLimits();
}

void ChartLines::showLine(int instance, int slot, const PlotLine* line) {
    QAbstractAxis* x = chart_->axes(Qt::Horizontal).value(0);
    QAbstractAxis* y = chart_->axes(Qt::Vertical).value(0);
    const SensorLabels& labels = labels_[static_cast<std::size_t>(instance)];
    std::vector<QLineSeries*>& pieces =
        series_[static_cast<std::size_t>(instance)][static_cast<std::size_t>(slot)];
    const std::size_t count = line ? line->segments.size() : 0;
    while (pieces.size() > count) {
        chart_->removeSeries(pieces.back());
        delete pieces.back();
        pieces.pop_back();
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::vector<PlotPoint>& segment = line->segments[i];
        if (i == pieces.size()) {
            auto* series = new QLineSeries;
            QPen pen(colour(instance, slot));
            pen.setWidthF(1.5);
            series->setPen(pen);
            series->setName(labels.legend(slot));
            chart_->addSeries(series);
            series->attachAxis(x);
            series->attachAxis(y);
            // One legend entry per sensor, however many pieces its line has.
            if (i > 0) {
                for (QLegendMarker* marker : chart_->legend()->markers(series))
                    marker->setVisible(false);
            }
            pieces.push_back(series);
        }
        QList<QPointF> points;
        points.reserve(static_cast<qsizetype>(segment.size()));
        for (const PlotPoint& p : segment) {
            const QPointF point((static_cast<double>(p.time) + p.fraction) * kMsPerSecond,
                                degrees(labels.celsius(slot, p.steps), unit_));
            points.append(point);
            extent_.add(point);
        }
        pieces[i]->replace(points);
        // A reading alone between two gaps would draw nothing as a line.
        pieces[i]->setPointsVisible(segment.size() == 1);
        pieces[i]->setMarkerSize(4);
    }
}

void ChartLines::showLimits() {
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        for (int slot = 0; slot < kMaxSensors; ++slot) showLimits(static_cast<int>(i), slot);
    }
}

void ChartLines::showLimits(int instance, int slot) {
    const double minX = extent_.minX, maxX = extent_.maxX;
    const SensorLabels& labels = labels_[static_cast<std::size_t>(instance)];
    const bool drawn =
        !series_[static_cast<std::size_t>(instance)][static_cast<std::size_t>(slot)].empty();
    const std::optional<TenThousandthsC> limits[2] = {labels.lowLimit(slot),
                                                      labels.highLimit(slot)};
    for (int which = 0; which < 2; ++which) {
        QLineSeries*& series =
            limits_[static_cast<std::size_t>(instance)][static_cast<std::size_t>(slot)]
                   [static_cast<std::size_t>(which)];
        if (!drawn || !limits[which]) {
            if (series) chart_->removeSeries(series);
            delete std::exchange(series, nullptr);
            continue;
        }
        if (!series) {
            series = new QLineSeries;
            QPen pen(colour(instance, slot));
            pen.setWidthF(1.0);
            pen.setStyle(Qt::DashLine);
            series->setPen(pen);
            series->setName(labels.legend(slot) + (which == 0 ? QStringLiteral(" low limit")
                                                              : QStringLiteral(" high limit")));
            chart_->addSeries(series);
            series->attachAxis(chart_->axes(Qt::Horizontal).value(0));
            series->attachAxis(chart_->axes(Qt::Vertical).value(0));
            for (QLegendMarker* marker : chart_->legend()->markers(series))
                marker->setVisible(false);
        }
        const double y = degrees(static_cast<double>(*limits[which]), unit_);
        series->replace(QList<QPointF>{QPointF(minX, y), QPointF(maxX, y)});
        // The view takes the limits in, so that a reading's distance to them shows.
        extent_.add(QPointF(minX, y));
    }
}

void ChartLines::Extent::add(const QPointF& p) {
    if (!any) {
        minX = maxX = p.x();
        minY = maxY = p.y();
        any = true;
        return;
    }
    minX = std::min(minX, p.x());
    maxX = std::max(maxX, p.x());
    minY = std::min(minY, p.y());
    maxY = std::max(maxY, p.y());
}

void ChartLines::fitView() {
    double minX = extent_.minX, maxX = extent_.maxX;
    double minY = extent_.minY, maxY = extent_.maxY;
    if (!extent_.any) {
        minX = 0;
        maxX = kDay * kMsPerSecond;
        minY = 0;
        maxY = 1;
    }
    // The time axis spans the data, and a few seconds around a single time.
    if (maxX == minX) {
        minX -= 5 * kMsPerSecond;
        maxX += 5 * kMsPerSecond;
    }
    if (maxY - minY < 0.5) {
        minY -= 0.25;
        maxY += 0.25;
    }
    auto* x = static_cast<QValueAxis*>(chart_->axes(Qt::Horizontal).value(0));
    auto* y = static_cast<QValueAxis*>(chart_->axes(Qt::Vertical).value(0));
    x->setRange(minX, maxX);
    y->setRange(minY, maxY);
    y->applyNiceNumbers();
}

QChart* buildChart(const std::vector<PlotLine>& lines, Unit unit, const SensorLabels& labels,
                   const QString& title) {
    return buildChart(lines, unit, std::vector<SensorLabels>{labels}, title);
}

std::vector<SensorLabels> instanceLabels(const ReportOptions& options) {
    std::vector<SensorLabels> labels;
    for (const ReportInstance& instance : options.instances) labels.push_back(instance.labels);
    return labels;
}

QChart* buildChart(const std::vector<PlotLine>& lines, Unit unit,
                   const std::vector<SensorLabels>& labels, const QString& title) {
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->legend()->setAlignment(Qt::AlignRight);
    auto* x = new QCategoryAxis;
    x->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    x->setTitleText(QStringLiteral("Local time"));
    x->setLabelsAngle(-30);
    auto* y = new QValueAxis;
    y->setTitleText(QStringLiteral("Temperature (%1)").arg(QString::fromUtf8(unitSymbol(unit))));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    QObject::connect(x, &QValueAxis::rangeChanged, x,
                     [x](qreal min, qreal max) { relabel(x, min, max); });

    ChartLines chartLines(chart, unit, labels);
    chartLines.show(lines);
    chartLines.fitView();
    relabel(x, x->min(), x->max());
    return chart;
}

LiveChart::LiveChart(std::unique_ptr<PlotReducer> reducer, std::unique_ptr<LogReader> log,
                     const ReportOptions& options, const QString& title, NoteHandler onNote)
    : reducer_(std::move(reducer)),
      selection_(options.instances.front().selection),
      chart_(buildChart({}, options.unit, options.instances.front().labels, title)),
      lines_(chart_, options.unit, options.instances.front().labels),
      follower_(
          std::move(log), options.locale,
          [this](const LogRecord& record) {
              if (!selection_.includes(record.time)) return;
              reducer_->add(record);
          },
          [this] { redraw(); }, std::move(onNote)) {
    redraw();
}

void LiveChart::redraw() {
    lines_.show(reducer_->lines());
    // Zoomed in, the user looks at something: the view stays where it is.
    if (!chart_->isZoomed()) lines_.fitView();
}

std::optional<QString> saveChart(QChart* chart, const QString& path, bool svg, int width,
                                 int height) {
    QGraphicsScene scene;
    scene.addItem(chart);
    chart->setGeometry(0, 0, width, height);
    const QRectF area(0, 0, width, height);
    std::optional<QString> failure;
    if (svg) {
        QSvgGenerator generator;
        generator.setFileName(path);
        generator.setSize(QSize(width, height));
        generator.setViewBox(area);
        generator.setTitle(chart->title());
        QPainter painter;
        if (!painter.begin(&generator)) {
            failure = QStringLiteral("cannot write %1").arg(path);
        } else {
            scene.render(&painter, area, area);
            painter.end();
        }
    } else {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        scene.render(&painter, area, area);
        painter.end();
        if (!image.save(path, "PNG")) failure = QStringLiteral("cannot write %1").arg(path);
    }
    scene.removeItem(chart);
    return failure;
}

ZoomableChartView::ZoomableChartView(QChart* chart) : QChartView(chart) {
    setRubberBand(QChartView::RectangleRubberBand);
    setRenderHint(QPainter::Antialiasing);
    setFocusPolicy(Qt::StrongFocus);
}

void ZoomableChartView::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta != 0) chart()->zoom(delta > 0 ? 1.25 : 0.8);
    event->accept();
}

void ZoomableChartView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Plus:
            chart()->zoomIn();
            break;
        case Qt::Key_Minus:
            chart()->zoomOut();
            break;
        case Qt::Key_0:
            chart()->zoomReset();
            break;
        case Qt::Key_Left:
            chart()->scroll(-width() / 10.0, 0);
            break;
        case Qt::Key_Right:
            chart()->scroll(width() / 10.0, 0);
            break;
        case Qt::Key_Up:
            chart()->scroll(0, height() / 10.0);
            break;
        case Qt::Key_Down:
            chart()->scroll(0, -height() / 10.0);
            break;
        default:
            QChartView::keyPressEvent(event);
            return;
    }
    event->accept();
}

}  // namespace tarnwick
