#include "AcquisitionCycle.h"

#include <algorithm>

#include "CRCRoutines.h"
#include "PageUrl.h"

namespace tarnwick {

namespace {
const QString kLockField = QStringLiteral("LockID_0");
const QString kResultField = QStringLiteral("ResultData_0");
const QString kAllOnes = QStringLiteral("FFFF");
const QString kRejected = QStringLiteral("0000");

int slotsFor(std::int16_t count) { return std::clamp<int>(count, 0, kSlotCount - 1); }
}  // namespace

AcquisitionCycle::AcquisitionCycle(PageBrowser& browser, EventPump& pump, Clock& clock,
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

void AcquisitionCycle::requestPage(const QString& url) {
    if (stopped_) throw CycleStopped{};
    currentUrl_ = url;
    view_.showAddress(url);
    browser_.navigate(url);
    while (browser_.readyState() != PageBrowser::kComplete) {
        pump_.waitForEvents();
        if (stopped_) throw CycleStopped{};
    }
    view_.showPage(browser_.pageSource());
}

void AcquisitionCycle::pause(qint64 ms) {
    const qint64 until = clock_.monotonicMs() + ms;
    for (qint64 left = ms; left > 0; left = until - clock_.monotonicMs()) {
        pump_.waitForEvents(left);
        if (stopped_) throw CycleStopped{};
    }
}

void AcquisitionCycle::readSensor(int slot) {
    const QString url = readPageUrl(address_, ids_[slot], lockId_);
    qint64 firstAllOnes = -1;
    for (;;) {
        requestPage(url);
        view_.makeVisible();
        if (std::optional<QString> reply = browser_.fieldValue(kResultField))
            replies_[slot] = *reply;
        words_[slot] = replies_[slot].mid(2, 4);
        if (words_[slot] != kAllOnes) break;
        // A converting sensor answers all ones; read it again, without a new
        // conversion, but not for ever: an unplugged sensor answers nothing else.
        const qint64 now = clock_.monotonicMs();
        if (firstAllOnes < 0) firstAllOnes = now;
        if (now - firstAllOnes > timing_.ffffBoundMs) break;
        pause(timing_.ffffPauseMs);
    }
    if (!CRCRoutines::AcceptReply(replies_[slot])) words_[slot] = kRejected;
    view_.showSensor(slot + 1, words_[slot]);
}

void AcquisitionCycle::runPass() {
    requestPage(lockPageUrl(address_));
    view_.makeVisible();
    if (std::optional<QString> lock = browser_.fieldValue(kLockField)) lockId_ = *lock;

    const int converting = slotsFor(activeCount_);
    for (int i = 0; i < converting; ++i) {
        if (ids_[i].isEmpty()) continue;
        requestPage(conversionPageUrl(address_, ids_[i], lockId_));
    }

    const int reading = slotsFor(activeCount_);
    for (int i = 0; i < reading; ++i) {
        if (ids_[i].isEmpty()) continue;
        readSensor(i);
    }

    requestPage(releasePageUrl(address_, lockId_));
    view_.makeVisible();

    // The record carries the sensors this pass's read loop covered, even if
    // the count was changed while the pass was under way.
    QStringList words;
    words.reserve(reading);
    for (int i = 0; i < reading; ++i) words << words_[i];
    ++passes_;
    view_.passCompleted(words);
}

}  // namespace tarnwick
