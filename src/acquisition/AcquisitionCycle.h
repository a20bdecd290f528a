// The acquisition cycle: pass after pass, lock the adapter, start a
// conversion on every active sensor, read every scratchpad back, check it,
// release the lock, show a reading and hand the pass's words to the record
// writer. It waits for each page by pumping events, so every user action runs
// inside one of those waits.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

#include "PageBrowser.h"
#include "Roster.h"

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
    // End of a pass: the words of the sensors this pass read, slot order.
    virtual void passCompleted(const QStringList& words) = 0;
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
};

class AcquisitionCycle {
  public:
    AcquisitionCycle(PageBrowser& browser, EventPump& pump, Clock& clock, CycleView& view,
                     CycleTiming timing = {});

    void setAdapterAddress(const QString& address) { address_ = address; }
    void setIdentifiers(const IdentifierTable& ids) { ids_ = ids; }

    // The active sensor count, 12 or 16; read afresh at the start of each
    // sensor loop.
    std::int16_t activeCount() const { return activeCount_; }
    void setActiveCount(std::int16_t count) { activeCount_ = count; }

    // Runs passes until stop(); returns normally then.
    void run();
    // One pass. Throws CycleStopped if stop() comes during it.
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

  private:
    void requestPage(const QString& url);
    void readSensor(int slot);
    void pause(qint64 ms);

    PageBrowser& browser_;
    EventPump& pump_;
    Clock& clock_;
    CycleView& view_;
    CycleTiming timing_;

    QString address_;
    IdentifierTable ids_;
    SlotTexts replies_;
    SlotTexts words_;
    QString lockId_;
    QString currentUrl_;
    std::int16_t activeCount_ = 12;
    bool stopped_ = false;
    std::uint64_t passes_ = 0;
};

}  // namespace tarnwick
