// The logger without a window: the acquisition cycle and the log, with the
// run's status told as lines (standard error in the program, where the
// journal reads their priority from sd-daemon's "<N>" prefix) and the service
// manager told when it is ready and that it is alive. Each finished pass goes
// to the pass recorder, as the window's does.
#pragma once

#include <QString>
#include <functional>

#include "AcquisitionCycle.h"
#include "Clock.h"
#include "EscapingApplication.h"
#include "EventPump.h"
#include "LogControl.h"
#include "PageBrowser.h"
#include "PassRecorder.h"
#include "ReadingsPublisher.h"
#include "RunSettings.h"
#include "ServiceNotifier.h"
#include "SignalWatch.h"
#include "WallClock.h"

namespace tarnwick {

class HeadlessLogger : private CycleView {
  public:
    // Priorities of the lines, as sd-daemon's prefixes number them.
    static constexpr int kError = 3;
    static constexpr int kWarning = 4;
    static constexpr int kNotice = 5;
    static constexpr int kInfo = 6;

    using LineWriter = std::function<void(int priority, const QString& line)>;

    // Every reference must outlive the logger; `sync` hands the log's data
    // to the storage device.
    HeadlessLogger(const RunSettings& settings, PageBrowser& browser, EventPump& pump,
                   const Clock& clock, const WallClock& wallClock, ServiceNotifier& notifier,
                   ReadingsPublisher& publisher, AlarmOutlet& alarmOutlet,
                   PassObserver& passObserver, LineWriter lines, DataSync& sync = systemDataSync());
    ~HeadlessLogger();
    HeadlessLogger(const HeadlessLogger&) = delete;
    HeadlessLogger& operator=(const HeadlessLogger&) = delete;

    // Opens the log (appending), says it has started and runs passes until
    // stop() or fail(); then tells the service manager it is stopping and
    // closes the log whole and synced. Returns the exit status: 0 after
    // stop(), kFailureExitStatus when the log cannot be opened or after fail().
    int run();

    // Ends the run: the cycle stops at once, in the wait it stands in.
    // `why` (e.g. the signal's name) goes into the last line.
    void stop(const QString& why);
    // Lets go of the log file: the next record goes to the file its path
    // names then (after log rotation).
    void reopenLog();
    // Ends the run after an error that escaped a handler; `what` is told at
    // error priority.
    void fail(const QString& what);

    // SIGTERM and SIGINT end the run, SIGHUP reopens the log, as `watch`
    // reports them from the event loop.
    void takeSignals(SignalWatch& watch);
    // An error that escapes a handler ends the run through fail().
    void takeEscapes(EscapeRoute& route);

    const AcquisitionCycle& cycle() const { return cycle_; }

  private:
    void showAddress(const QString& url) override;
    void showPage(const QByteArray&) override {}
    void makeVisible() override {}
    void showSensor(int, const QString&) override {}
    void passCompleted(const QStringList& words) override;
    void showAdapterFailure(const std::optional<QString>& reason) override;

    const RunSettings& settings_;
    AcquisitionCycle cycle_;
    LogControl log_;
    ServiceNotifier& notifier_;
    LineWriter lines_;
    PassRecorder recorder_;
    bool ready_ = false;
    int exitStatus_ = 0;
    QString stoppedBy_;
};

}  // namespace tarnwick
