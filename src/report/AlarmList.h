// The alarm periods in the logs, judged record by record by the rules the
// live fronts use (SensorAlarm, src/alarms) with the roster's alarm settings
// as they are now: each record's words, its time on the delay clock (in UTC
// by the time zone's rules, so that a change of summer time is no pause) and
// as the time told.
//
// A hole in the log (RecordCadence: the logger was not running) is no
// reading: every period still open ends with the last record before it, and
// the rules start again after it with every sensor ok, as a new run of the
// logger does. A period still open after the last record read is ongoing.
//
// Periods are handed on in the order they start (sensor number within one
// second) as soon as they and every one that started before have ended, so
// that years of logs need only the periods still open in memory.
//
// Several instances' logs are judged each by its own roster, and each has
// its own holes: their records come in time order, one timeline.
#pragma once

#include <QTimeZone>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "AlarmRules.h"
#include "OutputBuffer.h"
#include "RecordCadence.h"
#include "ReportOptions.h"
#include "TableFormat.h"
#include "WallClockZone.h"

namespace tarnwick {

struct AlarmPeriod {
    int instance = 0;  // of the report's instances
    int slot = 0;
    AlarmState state = AlarmState::Ok;  // low, high or fault
    WallSeconds start = 0;
    // The record that cleared it, or the last one read before a hole or the
    // end of the logs.
    WallSeconds end = 0;
    bool ongoing = false;
    // From start to end by the clock: a change of summer time in between
    // counts as it passed.
    qint64 seconds = 0;
    // In the sensor's steps: the lowest reading of a low alarm, the highest
    // of a high one; none for a fault.
    std::optional<int> extreme;
};

class AlarmPeriods {
  public:
    using Handler = std::function<void(const AlarmPeriod&)>;

    // The sensors of each instance's roster in its selection; none for the
    // compiled-in roster.
    AlarmPeriods(const std::vector<ReportInstance>& instances, const QTimeZone& zone,
                 Handler onPeriod);

    // A record of the `instance`th.
    void add(int instance, const LogRecord& record);
    // After the last record: the periods still open, as ongoing.
    void finish();

  private:
    struct Entry {
        AlarmPeriod period;
        qint64 startUtc = 0;
        bool ended = false;
    };
    struct Watched {
        SensorAlarm alarm;
        std::optional<qint64> open;  // its period's number in entries_
    };
    // One instance's sensors, and where its logs have got to.
    struct Source {
        std::vector<RosterSensor> sensors;
        std::vector<Watched> watched;
        RecordCadence cadence;
        bool started = false;
        qint64 lastUtc = 0;
        WallSeconds lastWall = 0;
    };

    static void restart(Source& source);
    void transition(int instance, Watched& watched, const AlarmEvent& event,
                    const Reading& reading);
    // At the record last added, or at the one before a hole (wall time, UTC).
    void end(Watched& watched, WallSeconds wall, qint64 utc, bool ongoing);
    void flush();

    std::vector<Source> sources_;
    WallClockZone zone_;
    Handler onPeriod_;
    // Periods not yet handed on, in the order they started; entries_.front()
    // is number firstEntry_.
    std::deque<Entry> entries_;
    qint64 firstEntry_ = 0;
};

// The periods as a table: text or CSV.
//   text: Start  End  Duration  Sensor  Name  State  Extreme °C
//   CSV:  start,end,seconds,sensor,name,rom,state,extreme °C
class AlarmList {
  public:
    // Writes to `out` (not owned).
    AlarmList(std::FILE* out, const ReportOptions& options, TableFormat format);

    // A record of the `instance`th of the options' instances.
    void add(int instance, const LogRecord& record) { periods_.add(instance, record); }
    // Writes the ongoing periods and what is buffered; false when writing
    // failed at any time.
    bool finish();

  private:
    void write(const AlarmPeriod& period);

    OutputBuffer out_;
    std::vector<SensorLabels> labels_;  // of each instance
    Unit unit_;
    TableFormat format_;
    qsizetype nameWidth_ = 0;
    qsizetype numberWidth_ = 6;
    qint64 count_ = 0;
    qint64 ongoing_ = 0;
    AlarmPeriods periods_;
};

// "0:04:30", "2d 03:00:00".
std::string durationText(qint64 seconds);

}  // namespace tarnwick
