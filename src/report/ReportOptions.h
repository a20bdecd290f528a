// The command line of tarnwick-report.
#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <vector>

#include "Degrees.h"
#include "Selection.h"
#include "SensorLabels.h"
#include "SensorRoster.h"

namespace tarnwick {

// Exit statuses: a finished run, a failure while running (a log that cannot
// be read, an output that cannot be written), a command line in error.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;

// The logs of one logger read with its own roster: an instance of the service
// (--instance NAME), or the LOGs given on the command line.
struct ReportInstance {
    QString name;  // the instance's; empty for the LOGs given
    QStringList logs;
    SensorRoster roster;
    // Headed with the name when several instances are read.
    SensorLabels labels;
    // The report's time range, with the sensors chosen of this instance.
    Selection selection;
};

struct ReportOptions {
    QStringList logs;  // with --instance, those of every instance
    Unit unit = Unit::Celsius;
    Selection selection;  // all sixteen sensors unless --sensors
    bool sensorsGiven = false;
    SensorLabels labels = SensorLabels::compiled();
    SensorRoster roster;  // the compiled-in one unless a roster file was read
    QLocale locale;       // the locale the logs were written under
    QString csvPath;      // empty: no CSV; "-": standard output
    QString influxPath;   // empty: no line protocol; "-": standard output
    // Instead of the summary (and, with --csv, of the records): the alarm
    // periods, the days' figures.
    bool alarms = false;
    bool daily = false;
    QString plotPath;  // empty: no plot file
    bool plotSvg = false;
    bool show = false;
    QString followPath;  // with --show --follow: the log written last
    // What is read, in the order given: one per --instance, else the LOGs
    // with the roster (and selection) above.
    std::vector<ReportInstance> instances;
    // Whether the instances were named by --instance.
    bool named() const { return !instances.empty() && !instances.front().name.isEmpty(); }
};

// Where an instance's settings are unless --instance NAME=FILE says:
// /etc/tarnwick/NAME.conf.
QString instanceSettingsFile(const QString& name);
// Where an instance logs unless its settings say: /var/lib/tarnwick/NAME/tarnwick.log.
QString instanceLogFile(const QString& name);
// `log` and its rotated files beside it (the same name followed by .N or
// .N.gz), those that exist, newest first; `log` itself when none does.
QStringList rotatedSeries(const QString& log);

struct ParsedArguments {
    enum Outcome { Run, Help, Version, Error };
    Outcome outcome = Error;
    ReportOptions options;
    QString text;  // help or version text, or the error message
};

// `arguments` includes the program name first, as QCoreApplication gives it;
// `environmentRoster` is the value of TARNWICK_ROSTER, empty when unset. The
// roster file they name (or the one in the config folders) is read and
// checked here: a roster in error is a command line in error.
ParsedArguments parseArguments(const QStringList& arguments, const QString& version,
                               const QString& environmentRoster = QString());

}  // namespace tarnwick
