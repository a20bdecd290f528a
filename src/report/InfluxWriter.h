// Records as InfluxDB line protocol, one line per temperature:
//   temperature[,adapter=<instance>],sensor=<ROM identifier>[,name=<name>] celsius=<degrees> <UTC
//   time in ns>
// in degrees Celsius with four decimals whatever the report's unit, the
// adapter tag for the logs of a service instance (--instance), the name tag
// only where a name is known, no line for a missing reading. Records of one
// instance that share a second (the logger's passes are not exactly a second
// apart) are spread within it, the k-th of n at k/n of the second, so that a
// line never overwrites the one of the same sensor before it.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "OutputBuffer.h"
#include "ReportOptions.h"
#include "WallClockZone.h"

namespace tarnwick {

// A tag key or value, or a field key, escaped as the line protocol asks:
// a backslash before each comma, equals sign, blank and backslash. A line
// end, which the protocol cannot carry, becomes a blank.
std::string lineProtocolKey(std::string_view text);
// A measurement name: commas, blanks and backslashes escaped.
std::string lineProtocolMeasurement(std::string_view text);

class InfluxWriter {
  public:
    // `zone` gives the rules by which the log's local times become UTC.
    InfluxWriter(std::FILE* out, const Selection& selection, const SensorLabels& labels,
                 const QTimeZone& zone);
    // The selected sensors of each instance, tagged with its name where it has one.
    InfluxWriter(std::FILE* out, const std::vector<ReportInstance>& instances,
                 const QTimeZone& zone);

    // The records of one second are held until a later one comes.
    void add(const LogRecord& record) { add(0, record); }
    // A record of the `instance`th.
    void add(int instance, const LogRecord& record);
    // Writes what is buffered; false when writing failed at any time.
    bool finish();

  private:
    void writeRun();
    void write(int instance, const LogRecord& record, qint64 utc, int nanoseconds);

    OutputBuffer out_;
    std::vector<ReportInstance> instances_;
    WallClockZone zone_;
    // Of each instance's sensors: up to "celsius=".
    std::vector<std::array<std::string, kMaxSensors>> prefixes_;
    // The records of the latest second, in the order read, and their instances.
    std::vector<LogRecord> run_;
    std::vector<int> runInstances_;
};

}  // namespace tarnwick
