#include "MetricsExposition.h"

#include <prometheus/metric_family.h>
#include <prometheus/text_serializer.h>

#include <sstream>

namespace tarnwick {

namespace {

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;

using Labels = std::vector<ClientMetric::Label>;

// The alarm kinds of a sensor, each a series of its own.
constexpr AlarmState kAlarmKinds[] = {AlarmState::Fault, AlarmState::Low, AlarmState::High};

std::string text(const QString& value) { return value.toStdString(); }

Labels sensorLabels(const QString& adapter, const SensorFigures& sensor) {
    return {{"adapter", text(adapter)}, {"name", text(sensor.name)}, {"rom", text(sensor.rom)}};
}

ClientMetric gauge(Labels labels, double value) {
    ClientMetric metric;
    metric.label = std::move(labels);
    metric.gauge.value = value;
    return metric;
}

ClientMetric counter(Labels labels, std::uint64_t value) {
    ClientMetric metric;
    metric.label = std::move(labels);
    metric.counter.value = static_cast<double>(value);
    return metric;
}

MetricFamily family(const char* name, const char* help, MetricType type) {
    return {.name = name, .help = help, .type = type, .metric = {}};
}

}  // namespace

std::vector<MetricFamily> metricFamilies(const MetricsSnapshot& snapshot) {
    const Labels adapter = {{"adapter", text(snapshot.adapter)}};

    MetricFamily build =
        family("tarnwick_build_info", "The logger's version, always 1.", MetricType::Gauge);
    build.metric.push_back(gauge({{"version", text(snapshot.version)}}, 1));

    MetricFamily temperature = family(
        "tarnwick_sensor_temperature_celsius",
        "The sensor's last reading in degrees Celsius after its offset; absent while it fails.",
        MetricType::Gauge);
    MetricFamily up =
        family("tarnwick_sensor_up",
               "1 while the sensor's last reading is valid, 0 while it fails.", MetricType::Gauge);
    MetricFamily failures = family("tarnwick_sensor_read_failures_total",
                                   "Readings of the sensor that failed or gave the power-on word.",
                                   MetricType::Counter);
    MetricFamily alarm =
        family("tarnwick_sensor_alarm", "1 while the sensor is in the alarm of that kind, else 0.",
               MetricType::Gauge);
    for (const SensorFigures& sensor : snapshot.sensors) {
        if (!sensor.polled) continue;
        const Labels labels = sensorLabels(snapshot.adapter, sensor);
        if (sensor.celsius) temperature.metric.push_back(gauge(labels, *sensor.celsius));
        up.metric.push_back(gauge(labels, sensor.celsius ? 1 : 0));
        failures.metric.push_back(counter(labels, sensor.readFailures));
        for (const AlarmState kind : kAlarmKinds) {
            Labels withKind = labels;
            withKind.push_back({"kind", text(alarmStateName(kind))});
            alarm.metric.push_back(gauge(std::move(withKind), sensor.alarm == kind ? 1 : 0));
        }
    }

    MetricFamily passes =
        family("tarnwick_passes_total", "Passes over the sensors finished.", MetricType::Counter);
    passes.metric.push_back(counter(adapter, snapshot.passes));
    MetricFamily written = family("tarnwick_log_records_written_total",
                                  "Records written whole to the log.", MetricType::Counter);
    written.metric.push_back(counter(adapter, snapshot.recordsWritten));
    MetricFamily writeFailures =
        family("tarnwick_log_write_failures_total", "Records that could not be written to the log.",
               MetricType::Counter);
    writeFailures.metric.push_back(counter(adapter, snapshot.recordWriteFailures));

    std::vector<MetricFamily> families = {
        std::move(build), std::move(temperature), std::move(up),      std::move(failures),
        std::move(alarm), std::move(passes),      std::move(written), std::move(writeFailures)};
    if (snapshot.adapterUp) {
        MetricFamily adapterUp =
            family("tarnwick_adapter_up", "1 while the adapter answers, 0 while it does not.",
                   MetricType::Gauge);
        adapterUp.metric.push_back(gauge(adapter, *snapshot.adapterUp ? 1 : 0));
        families.push_back(std::move(adapterUp));
    }
    if (snapshot.lastCompletePassMs) {
        MetricFamily last = family("tarnwick_last_complete_pass_timestamp_seconds",
                                   "When the last pass with the adapter answering ended, in "
                                   "seconds since the Unix epoch.",
                                   MetricType::Gauge);
        last.metric.push_back(gauge(adapter, *snapshot.lastCompletePassMs / 1000.0));
        families.push_back(std::move(last));
    }
    return families;
}

std::string metricsText(const MetricsSnapshot& snapshot) {
    std::ostringstream out;
    prometheus::TextSerializer().Serialize(out, metricFamilies(snapshot));
    return out.str();
}

}  // namespace tarnwick
