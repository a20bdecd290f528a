// The acquisition cycle: pass after pass, lock the adapter, start a
// conversion on every active sensor, read every scratchpad back, check it,
// release the lock, show a reading and hand the pass's words to the record
// writer. It waits for each page by pumping events, so every user action runs
// inside one of those waits.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "Clock.h"
#include "EventPump.h"
#include "PageBrowser.h"
#include "Roster.h"
#include "SensorRoster.h"

namespace tarnwick {

// What the cycle shows and asks of the main window.
class CycleView {
  public:
    virtual ~CycleView() = default;
    // The address of the page request under way (the address line).
    virtual void showAddress(const QString& url) = 0;
    // The page that has just been loaded.
    virtual void showPage(const QByteArray& html) = 0;
    // Shows the window if it is not visible yet; a visible window is left as
    // the user has it (not raised, not restored, not focused).
    virtual void makeVisible() = 0;
    // A sensor's number (slot + 1) and its temperature word.
    virtual void showSensor(int number, const QString& word) = 0;
    // End of a pass: the words of the sensors this pass read, slot order,
    // one per active slot that holds a sensor (none for an empty slot):
    // words[i] is the word of the cycle's roster().sensors()[i].
    virtual void passCompleted(const QStringList& words) = 0;
    // The adapter has stopped answering (`reason` says how the first page of
    // the failed pass went wrong), or answers again (nullopt). Called after
    // each failed pass, before passCompleted(), and at the first good page
    // after a failed pass.
    virtual void showAdapterFailure(const std::optional<QString>& reason) = 0;
};

// Thrown out of a page wait once the main window has been unloaded, so the
// cycle unwinds from wherever it stands.
struct CycleStopped {};

struct CycleTiming {
    // A sensor that keeps answering "FFFF" is read again only this long.
    qint64 ffffBoundMs = 2'000;
    // ... after this pause, in which events are still handled: a sensor
    // converts for up to 750 ms, and reading it as fast as the adapter answers
    // only loads the adapter.
    qint64 ffffPauseMs = 20;
    // After a failed pass the next one waits this long first, twice as long
    // after each further failed pass, at most maxBackOffMs.
    qint64 firstBackOffMs = 1'000;
    qint64 maxBackOffMs = 10'000;
};

class AcquisitionCycle {
  public:
    AcquisitionCycle(PageBrowser& browser, EventPump& pump, const Clock& clock, CycleView& view,
                     CycleTiming timing = {});

    void setAdapterAddress(const QString& address) { address_ = address; }
    // The sensors to poll: their ROM codes in their slots, and what the
    // roster says of each (name, offset, family) for whoever shows or sends
    // their readings. A slot that holds no sensor is skipped.
    void setRoster(const SensorRoster& roster) { roster_ = roster; }
    const SensorRoster& roster() const { return roster_; }

    // The active sensor count, kDefaultActiveCount or kAllActiveCount; read
    // afresh at the start of each sensor loop.
    std::int16_t activeCount() const { return activeCount_; }
    void setActiveCount(std::int16_t count) { activeCount_ = count; }

    // Runs passes until stop(); returns normally then.
    void run();
    // One pass, after the back-off wait that a failed pass before it calls
    // for. Throws CycleStopped if stop() comes during it.
    //
    // A pass in which no page brought the field it was requested for (every
    // request failed, or the lock and read pages came without LockID_0 and
    // ResultData_0, as when another client holds the lock) is a failed pass.
    // A sensor whose read brought no ResultData_0 in this pass gets kMissingWord:
    // a reply from an earlier pass is never used again.
    void runPass();
    // Ends the cycle: the page wait under way (if any) returns and no further
    // step is taken.
    void stop();
    bool stopped() const { return stopped_; }

    const QString& lockId() const { return lockId_; }
    const SlotTexts& replies() const { return replies_; }
    const SlotTexts& words() const { return words_; }
    const QString& currentUrl() const { return currentUrl_; }
    std::uint64_t passCount() const { return passes_; }
    // Why the adapter is not answering, while passes fail; nullopt otherwise.
    const std::optional<QString>& adapterFailure() const { return adapterFailure_; }
    // The wait before the next pass: 0 after a good pass.
    qint64 backOffMs() const { return backOffMs_; }

  private:
    // Loads the page; false when the load failed (the reason is kept).
    bool requestPage(const QString& url);
    // The field of the page just loaded; notes a good page or a failure.
    std::optional<QString> takeField(bool loaded, const QString& field, const char* page);
    // The ROM code of the sensor in `slot`; empty when it holds none.
    QString romAt(int slot) const;
    void readSensor(int slot);
    void pause(qint64 ms);
    void waitBeforePass();

    PageBrowser& browser_;
    EventPump& pump_;
    const Clock& clock_;
    CycleView& view_;
    CycleTiming timing_;

    QString address_;
    SensorRoster roster_;
    SlotTexts replies_;
    SlotTexts words_;
    QString lockId_;
    QString currentUrl_;
    std::int16_t activeCount_ = kDefaultActiveCount;
    bool stopped_ = false;
    std::uint64_t passes_ = 0;
    bool goodPageThisPass_ = false;
    QString passFailure_;  // the first failure of this pass
    std::optional<QString> adapterFailure_;
    qint64 backOffMs_ = 0;
};

}  // namespace tarnwick
