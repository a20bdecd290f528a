// The run's figures as the metrics endpoint serves them: each sensor's
// temperature and whether it reads, its failed readings and its alarm state,
// the passes, the log's records written and failed, whether the adapter
// answers and when the last complete pass ended. The cycle's thread keeps them
// up to date as a PassObserver and an AlarmOutlet; a scrape takes a copy under
// a mutex held only for that copy, so serving one never holds up the cycle.
// Qt Core only: the endpoint (MetricsEndpoint) is the one part that knows the
// Prometheus library.
#pragma once

#include <QString>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "AlarmEvent.h"
#include "PassObserver.h"
#include "WallClock.h"

namespace tarnwick {

struct SensorFigures {
    int number = 0;  // slot + 1
    QString rom;
    QString name;
    // Degrees Celsius after the offset; nullopt while the last reading failed
    // or was the power-on word, so that its series goes stale rather than
    // repeat an old value.
    std::optional<double> celsius;
    std::uint64_t readFailures = 0;  // failed or power-on readings since the start
    // Read at least once: a sensor that the active count leaves out has no
    // series at all.
    bool polled = false;
    AlarmState alarm = AlarmState::Ok;
};

struct MetricsSnapshot {
    QString version;
    QString adapter;
    std::vector<SensorFigures> sensors;  // slot order
    std::uint64_t passes = 0;
    std::uint64_t recordsWritten = 0;
    std::uint64_t recordWriteFailures = 0;
    // nullopt until the first pass or the first word of the adapter.
    std::optional<bool> adapterUp;
    // Milliseconds since the epoch at the end of the last pass in which the
    // adapter answered; nullopt before one.
    std::optional<qint64> lastCompletePassMs;
};

class RunMetrics : public PassObserver, public AlarmOutlet {
  public:
    // `wallClock` dates the passes; it must outlive this.
    RunMetrics(const WallClock& wallClock, QString version);

    void runStarted(const SensorRoster& roster, const QString& adapter) override;
    void passFinished(const SensorRoster& roster, const QStringList& words,
                      const LogControl::RecordResult& record) override;
    void adapterChanged(const std::optional<QString>& reason) override;
    void alarmChanged(const AlarmEvent& event) override;

    // A copy of the figures as they stand; any thread.
    MetricsSnapshot snapshot() const;

  private:
    SensorFigures* sensor(int number, const QString& rom);

    const WallClock& wallClock_;
    mutable std::mutex mutex_;
    MetricsSnapshot figures_;
};

}  // namespace tarnwick
