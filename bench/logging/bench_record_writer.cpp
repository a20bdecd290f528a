// Throughput of the record writer: how many 16-word records per second
// LogControl::writeRecord appends to a file in /tmp, and how long building a
// record (timestamp and line) takes without the write. The times stamped on the
// records are made before the clock starts, since turning a moment into a local
// date and time is the caller's cost (measured on its own at the end).

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <vector>

#include "LogControl.h"
#include "RecordFormat.h"
#include "SteadyClock.h"
#include "Timestamp.h"

namespace {

using Clock = std::chrono::steady_clock;

// Hands out the prepared times one after the other.
class PreparedTimes : public tarnwick::WallClock {
  public:
    explicit PreparedTimes(const std::vector<QDateTime>& times) : times_(times) {}
    QDateTime localNow() const override { return times_[next_++ % times_.size()]; }

  private:
    const std::vector<QDateTime>& times_;
    mutable std::size_t next_ = 0;
};

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main() {
    const QStringList words{"0191", "018F", "0000", "0190", "0191", "0192", "018E", "0193",
                            "0191", "0190", "018F", "0192", "01A0", "01A1", "01A2", "01A3"};
    const QLocale locale("en_US");
    const QDateTime start = QDateTime::currentDateTime();
    constexpr int kRecords = 200000;
    std::vector<QDateTime> times;
    times.reserve(kRecords);
    for (int i = 0; i < kRecords; ++i) times.push_back(start.addSecs(i));

    // Building the record alone: timestamp plus line, no write.
    {
        qsizetype bytes = 0;
        const Clock::time_point t0 = Clock::now();
        for (int i = 0; i < kRecords; ++i) {
            bytes +=
                tarnwick::formatRecord(tarnwick::generalDateTime(times[i], locale), words).size();
        }
        const double s = secondsSince(t0);
        std::printf(
            "formatting only: %d records in %.3f s = %.0f records/s (%.2f us each, %lld bytes)\n",
            kRecords, s, kRecords / s, s * 1e6 / kRecords, static_cast<long long>(bytes));
    }

    QTemporaryDir dir(QStringLiteral("/tmp/tarnwick-bench-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a folder in /tmp\n");
        return 1;
    }
    const QString path = dir.filePath(QStringLiteral("bench.log"));
    const tarnwick::SteadyClock steady;
    const PreparedTimes wall(times);
    tarnwick::LogControl log(steady, wall);
    if (const auto message = log.start(path)) {
        std::fprintf(stderr, "%s\n", qPrintable(*message));
        return 1;
    }

    int written = 0;
    const Clock::time_point t0 = Clock::now();
    for (int i = 0; i < kRecords; ++i) {
        if (log.writeRecord(words, locale).written) ++written;
    }
    const double s = secondsSince(t0);
    log.stop();
    const qint64 size = QFile(path).size();
    std::printf(
        "record writer: %d records in %.3f s = %.0f records/s (%.2f us each, file %lld bytes)\n",
        written, s, written / s, s * 1e6 / written, static_cast<long long>(size));

    // What the caller pays to read the clock as local date and time per record.
    {
        qint64 seconds = 0;
        const Clock::time_point t1 = Clock::now();
        for (int i = 0; i < kRecords; ++i) seconds += QDateTime::currentDateTime().time().second();
        const double s1 = secondsSince(t1);
        std::printf("clock read (QDateTime::currentDateTime): %.2f us each (checksum %lld)\n",
                    s1 * 1e6 / kRecords, static_cast<long long>(seconds));
    }
    return written == kRecords ? 0 : 1;
}
