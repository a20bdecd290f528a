#include "AcquisitionCycle.h"

#include <algorithm>

#include "CRCRoutines.h"
#include "PageUrl.h"
#include "TemperatureWord.h"

namespace tarnwick {

namespace {
const QString kLockField = QStringLiteral("LockID_0");
const QString kResultField = QStringLiteral("ResultData_0");
const QString kAllOnes = QStringLiteral("FFFF");
const QString kMissing = QString::fromUtf16(kMissingWord);

int slotsFor(std::int16_t count) { return std::clamp<int>(count, 0, kSlotCount - 1); }
}  // namespace

AcquisitionCycle::AcquisitionCycle(PageBrowser& browser, EventPump& pump, const Clock& clock,
                                   CycleView& view, CycleTiming timing)
    : browser_(browser), pump_(pump), clock_(clock), view_(view), timing_(timing) {}

void AcquisitionCycle::run() {
    try {
        while (!stopped_) runPass();
    } catch (const CycleStopped&) {
    }
}

void AcquisitionCycle::stop() {
    stopped_ = true;
    browser_.stop();
}

bool AcquisitionCycle::requestPage(const QString& url) {
    if (stopped_) throw CycleStopped{};
    currentUrl_ = url;
    view_.showAddress(url);
    browser_.navigate(url);
    while (browser_.readyState() != PageBrowser::kComplete) {
        pump_.waitForEvents();
        if (stopped_) throw CycleStopped{};
    }
    view_.showPage(browser_.pageSource());
    if (const std::optional<QString> reason = browser_.failureReason()) {
        if (passFailure_.isEmpty()) passFailure_ = *reason;
        return false;
    }
    return true;
}

std::optional<QString> AcquisitionCycle::takeField(bool loaded, const QString& field,
                                                   const char* page) {
    std::optional<QString> value = loaded ? browser_.fieldValue(field) : std::nullopt;
    if (!value) {
        if (loaded && passFailure_.isEmpty())
            passFailure_ = QStringLiteral("the %1 page has no %2").arg(page, field);
        return value;
    }
    goodPageThisPass_ = true;
    backOffMs_ = 0;
    if (adapterFailure_) {
        adapterFailure_.reset();
        view_.showAdapterFailure(std::nullopt);
    }
    return value;
}

void AcquisitionCycle::waitBeforePass() {
    if (backOffMs_ <= 0) return;
    // Events are handled while waiting, as in a page wait: the window
    // answers, and Stop Program or closing the window ends the cycle at once.
    if (stopped_) throw CycleStopped{};
    pause(backOffMs_);
}

void AcquisitionCycle::pause(qint64 ms) {
    const qint64 until = clock_.monotonicMs() + ms;
    for (qint64 left = ms; left > 0; left = until - clock_.monotonicMs()) {
        pump_.waitForEvents(left);
        if (stopped_) throw CycleStopped{};
    }
}

QString AcquisitionCycle::romAt(int slot) const {
    const RosterSensor* sensor = roster_.atSlot(slot);
    return sensor ? sensor->rom : QString();
}

void AcquisitionCycle::readSensor(int slot) {
    const QString url = readPageUrl(address_, romAt(slot), lockId_);
    // Only a reply of this pass counts; without one the word is kMissingWord.
    replies_[slot].clear();
    qint64 firstAllOnes = -1;
    for (;;) {
        const bool loaded = requestPage(url);
        view_.makeVisible();
        const std::optional<QString> reply = takeField(loaded, kResultField, "read");
        if (reply) replies_[slot] = *reply;
        words_[slot] = replies_[slot].mid(2, 4);
        // A read that brought nothing ends the re-reads: the last reply of
        // this pass stands, and the adapter is not asked again at once.
        if (!reply || words_[slot] != kAllOnes) break;
        // A converting sensor answers all ones; read it again, without a new
        // conversion, but not for ever: an unplugged sensor answers nothing else.
        const qint64 now = clock_.monotonicMs();
        if (firstAllOnes < 0) firstAllOnes = now;
        if (now - firstAllOnes > timing_.ffffBoundMs) break;
        pause(timing_.ffffPauseMs);
    }
    if (!CRCRoutines::AcceptReply(replies_[slot])) words_[slot] = kMissing;
    view_.showSensor(slot + 1, words_[slot]);
}

void AcquisitionCycle::runPass() {
    waitBeforePass();
    goodPageThisPass_ = false;
    passFailure_.clear();

    const bool locked = requestPage(lockPageUrl(address_));
    view_.makeVisible();
    if (std::optional<QString> lock = takeField(locked, kLockField, "lock")) lockId_ = *lock;

    const int converting = slotsFor(activeCount_);
    for (int i = 0; i < converting; ++i) {
        const QString rom = romAt(i);
        if (rom.isEmpty()) continue;
        requestPage(conversionPageUrl(address_, rom, lockId_));
    }

    const int reading = slotsFor(activeCount_);
    for (int i = 0; i < reading; ++i) {
        if (roster_.atSlot(i)) readSensor(i);
    }

    requestPage(releasePageUrl(address_, lockId_));
    view_.makeVisible();

    // The record carries the sensors this pass's read loop covered, even if
    // the count was changed while the pass was under way; an empty slot has
    // no word in it.
    QStringList words;
    words.reserve(reading);
    for (int i = 0; i < reading; ++i)
        if (roster_.atSlot(i)) words << words_[i];
    ++passes_;
    if (!goodPageThisPass_) {
        backOffMs_ = std::clamp(backOffMs_ * 2, timing_.firstBackOffMs, timing_.maxBackOffMs);
        adapterFailure_ = passFailure_;
        view_.showAdapterFailure(adapterFailure_);
    }
    view_.passCompleted(words);
}

}  // namespace tarnwick
