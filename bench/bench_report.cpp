// Figures for tarnwick-report on generated logs.
//
//   bench_report                 a year at one pass a second (31.5 million lines,
//                                12 sensors) in /tmp, deleted afterwards: lines per
//                                second for the summary and the CSV, peak memory
//                                against a one-day log, and the time of a PNG plot
//                                beside the summary's (the least CPU time of three
//                                runs each, and their ratio; the goal is at most 1.5),
//                                and once each the alarm periods and the daily
//                                figures by a roster with alarm settings
//   bench_report year SENSORS    the same with 12 or 16 sensors
//   bench_report generate FILE DAYS SENSORS [LOCALE]
//                                only write a log (one pass a second) and stop
//
// The log is written like the logger writes it: each line is checked against
// formatRecord(generalDateTime(...)) at intervals while it is generated.
// Run it niced; it takes a few minutes and about 3.5 GB of /tmp.
// TARNWICK_REPORT_PROGRAM names another build's tarnwick-report to measure.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QStringList>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "RecordFormat.h"
#include "SensorRoster.h"
#include "Timestamp.h"

#ifndef TARNWICK_REPORT_PATH
#error "TARNWICK_REPORT_PATH must be defined by the build"
#endif

namespace {

using Clock = std::chrono::steady_clock;
using tarnwick::generalDateTime;

// A plausible house: ten rooms, one outdoor sensor, one freezer, four more
// rooms when sixteen are active. Daily swing, slow drift, sensor noise, a
// few failed readings, a sensor unplugged for three hours on the third day,
// and the logger stopped for an hour on the fifth day, its first record after
// that carrying the sensors' power-on value.
class House {
  public:
    explicit House(int sensors) : sensors_(sensors), random_(20261208) {
        for (int i = 0; i < sensors; ++i) drift_.push_back(0.0);
    }

    // The words of the pass at second `s` of the log, or false when the
    // logger was not running.
    bool pass(long long s, std::vector<int>& words) {
        const long long day = s / 86400;
        const long long inDay = s % 86400;
        if (day % 7 == 4 && inDay >= 13 * 3600 && inDay < 14 * 3600) {
            powerOn_ = true;
            return false;
        }
        words.resize(sensors_);
        const double phase = 2 * M_PI * (inDay - 15 * 3600) / 86400.0;
        for (int i = 0; i < sensors_; ++i) {
            drift_[i] += noise_(random_) * 0.001;
            drift_[i] *= 0.9999;
            double celsius;
            if (i == 10)
                celsius =
                    -1.0 + 7.0 * std::cos(phase) + 4.0 * std::sin(2 * M_PI * s / (7 * 86400.0));
            else if (i == 11)
                celsius = -18.0 + 1.5 * std::cos(2 * M_PI * inDay / 2400.0);
            else
                celsius = 18.5 + 0.4 * i + 1.5 * std::cos(phase - 0.2 * i);
            celsius += drift_[i] * 5 + noise_(random_) * 0.05;
            int sixteenths = static_cast<int>(std::lround(celsius * 16));
            words[i] = sixteenths & 0xFFFF;
            if (failure_(random_) < 0.001) words[i] = 0;  // failed check
            if (i == 4 && day % 7 == 2 && inDay >= 9 * 3600 && inDay < 12 * 3600)
                words[i] = 0;                 // unplugged
            if (powerOn_) words[i] = 0x0550;  // "5005"
        }
        powerOn_ = false;
        return true;
    }

  private:
    int sensors_;
    std::mt19937 random_;
    std::normal_distribution<double> noise_{0.0, 1.0};
    std::uniform_real_distribution<double> failure_{0.0, 1.0};
    std::vector<double> drift_;
    bool powerOn_ = false;
};

// The four characters the logger writes for a 16-bit value: low byte, then high.
std::string wordText(int value) {
    char text[5];
    std::snprintf(text, sizeof text, "%02X%02X", value & 0xFF, value >> 8 & 0xFF);
    return text;
}

// Writes `days` days starting 2026-01-01 00:00:00 at one pass a second. Returns
// the number of lines, or -1 on a write error or a line that differs from the
// logger's own writer.
long long generate(const char* path, int days, int sensors, const QLocale& locale) {
    std::FILE* out = std::fopen(path, "wb");
    if (!out) return -1;
    const QDate first(2026, 1, 1);
    // Time-of-day texts as the logger writes them, worked out once.
    std::vector<std::string> timeTexts(86400);
    {
        const QString dateText = generalDateTime(QDateTime(first, QTime(0, 0)), locale);
        for (int s = 1; s < 86400; ++s) {
            const QString full = generalDateTime(
                QDateTime(first, QTime::fromMSecsSinceStartOfDay(s * 1000)), locale);
            timeTexts[s] = full.mid(dateText.size()).toStdString();  // " 7:12:49 AM"
        }
    }
    std::vector<std::string> words(65536);
    for (int v = 0; v < 65536; ++v) words[v] = wordText(v);

    House house(sensors);
    std::vector<int> values;
    std::string buffer;
    buffer.reserve(1 << 21);
    long long lines = 0;
    for (int day = 0; day < days; ++day) {
        const QDate date = first.addDays(day);
        const std::string dateText =
            generalDateTime(QDateTime(date, QTime(0, 0)), locale).toStdString();
        for (int s = 0; s < 86400; ++s) {
            if (!house.pass(static_cast<long long>(day) * 86400 + s, values)) continue;
            const std::size_t start = buffer.size();
            buffer += dateText;
            buffer += timeTexts[s];
            buffer += ", ";
            for (int i = 0; i < sensors; ++i) {
                if (i > 0) buffer += " , ";
                buffer += words[values[i]];
            }
            buffer += "\r\n";
            if (lines % 99991 == 0) {
                QStringList list;
                for (int v : values) list << QString::fromStdString(words[v]);
                const QByteArray expected = tarnwick::formatRecord(
                    tarnwick::generalDateTime(
                        QDateTime(date, QTime::fromMSecsSinceStartOfDay(s * 1000)), locale),
                    list);
                if (expected.toStdString() != buffer.substr(start)) {
                    std::fprintf(stderr, "line %lld differs from the logger's writer\n", lines);
                    std::fclose(out);
                    return -1;
                }
            }
            ++lines;
            if (buffer.size() >= (1 << 21)) {
                if (std::fwrite(buffer.data(), 1, buffer.size(), out) != buffer.size()) return -1;
                buffer.clear();
            }
        }
    }
    const bool ok = std::fwrite(buffer.data(), 1, buffer.size(), out) == buffer.size();
    return std::fclose(out) == 0 && ok ? lines : -1;
}

struct Run {
    double seconds = 0;
    double cpuSeconds = 0;
    long maxRssKb = 0;
    int status = -1;
};

// Runs tarnwick-report with `arguments`, its standard output to /dev/null.
Run runReport(const std::vector<std::string>& arguments) {
    Run run;
    const char* program = std::getenv("TARNWICK_REPORT_PROGRAM");
    if (!program || !*program) program = TARNWICK_REPORT_PATH;
    const Clock::time_point start = Clock::now();
    std::fflush(stdout);  // the child must not write our buffer a second time
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv{const_cast<char*>(program)};
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (!std::freopen("/dev/null", "w", stdout)) _exit(127);
        execv(program, argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.maxRssKb = usage.ru_maxrss;
    run.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                     (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The run with the least CPU time of `times`: on a shared machine the others
// only add what other programs cost it.
Run leastOf(int times, const std::vector<std::string>& arguments) {
    Run best = runReport(arguments);
    for (int i = 1; i < times && best.status == 0; ++i) {
        const Run run = runReport(arguments);
        if (run.status != 0 || run.cpuSeconds < best.cpuSeconds) best = run;
    }
    return best;
}

// A roster of the compiled-in sensors with the alarm settings a house might
// have: a kitchen that must not get warm, the outdoor sensor's frost, the
// freezer's door left open; every sensor's faults.
bool writeAlarmRoster(const std::string& path, int sensors) {
    const tarnwick::SensorRoster compiled;
    std::string text;
    for (int i = 0; i < sensors; ++i) {
        text += compiled.sensors()[static_cast<std::size_t>(i)].rom.toStdString();
        if (i == 0) text += ", Kitchen, high=20, delay=5m";
        if (i == 10) text += ", Outdoor, low=-5, delay=10m";
        if (i == 11) text += ", Freezer, high=-16, delay=15m";
        text += '\n';
    }
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (!out) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    return std::fclose(out) == 0 && ok;
}

int year(int sensors) {
    const QString dir = QDir::tempPath();
    const std::string yearLog = (dir + "/bench_report_year.log").toStdString();
    const std::string dayLog = (dir + "/bench_report_day.log").toStdString();
    const std::string plot = (dir + "/bench_report_year.png").toStdString();
    const std::string roster = (dir + "/bench_report_roster.conf").toStdString();
    const QLocale locale("en_US");

    Clock::time_point start = Clock::now();
    const long long dayLines = generate(dayLog.c_str(), 1, sensors, locale);
    const long long lines = generate(yearLog.c_str(), 365, sensors, locale);
    if (lines < 0 || dayLines < 0) {
        std::fprintf(stderr, "could not generate the logs in %s\n", qPrintable(dir));
        std::remove(yearLog.c_str());
        std::remove(dayLog.c_str());
        return 1;
    }
    std::printf("generated %lld lines (%d sensors) in %.1f s\n", lines, sensors,
                std::chrono::duration<double>(Clock::now() - start).count());

    const std::vector<std::string> common{"--locale", "en_US", "--unit", "C"};
    auto with = [&](std::vector<std::string> extra, const std::string& log) {
        std::vector<std::string> a = common;
        a.insert(a.end(), extra.begin(), extra.end());
        a.push_back(log);
        return a;
    };
    const Run daySummary = runReport(with({}, dayLog));
    const Run summary = leastOf(3, with({}, yearLog));
    const Run csv = runReport(with({"--csv", "/dev/null"}, yearLog));
    const Run csvSensors = runReport(with({"--csv", "/dev/null", "--sensors", "1,2,3"}, yearLog));
    const Run png = leastOf(3, with({"--plot", plot}, yearLog));
    Run alarms, daily;
    if (writeAlarmRoster(roster, sensors)) {
        alarms = runReport(with({"--roster", roster, "--alarms"}, yearLog));
        daily = runReport(with({"--roster", roster, "--daily"}, yearLog));
    }

    const auto report = [&](const char* what, const Run& r, long long n) {
        std::printf(
            "%-30s %7.2f s wall %6.2f M lines/s | %7.2f s CPU %6.2f M lines/s | "
            "peak RSS %6.1f MB | exit %d\n",
            what, r.seconds, n / r.seconds / 1e6, r.cpuSeconds, n / r.cpuSeconds / 1e6,
            r.maxRssKb / 1024.0, r.status);
    };
    report("summary, one day", daySummary, dayLines);
    report("summary, a year", summary, lines);
    report("CSV, a year (all columns)", csv, lines);
    report("CSV, a year (--sensors 1,2,3)", csvSensors, lines);
    report("PNG plot, a year", png, lines);
    report("alarm periods, a year", alarms, lines);
    report("daily figures, a year", daily, lines);
    std::printf("plot / summary (CPU)           %7.2f (goal: at most 1.5)\n",
                png.cpuSeconds / summary.cpuSeconds);

    std::remove(yearLog.c_str());
    std::remove(dayLog.c_str());
    std::remove(plot.c_str());
    std::remove(roster.c_str());
    return daySummary.status | summary.status | csv.status | csvSensors.status | png.status |
           alarms.status | daily.status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 5 && std::strcmp(argv[1], "generate") == 0) {
        const QLocale locale(argc >= 6 ? QString::fromLocal8Bit(argv[5]) : QStringLiteral("en_US"));
        const long long lines = generate(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), locale);
        if (lines < 0) return 1;
        std::printf("%lld lines\n", lines);
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "year") == 0)
        return year(argc >= 3 ? std::atoi(argv[2]) : 12);
    if (argc == 1) return year(12);
    std::fprintf(stderr,
                 "usage: bench_report [year [12|16] | generate FILE DAYS SENSORS [LOCALE]]\n");
    return 2;
}
