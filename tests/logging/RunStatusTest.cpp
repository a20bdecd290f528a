// The run's status: what is told (a concern starting to fail or well again,
// not a new reason while it fails), the words, and the headline's precedence.
#include <gtest/gtest.h>

#include <QStringList>

#include "../TestPrinters.h"
#include "RunStatus.h"

namespace tarnwick::test {
namespace {

using Concern = RunStatus::Concern;

LogControl::RecordResult failedRecord(const char* reason) {
    return {.attempted = true, .written = false, .shownNumber = 0, .error = reason};
}
LogControl::RecordResult writtenRecord() {
    return {.attempted = true, .written = true, .shownNumber = 1, .error = {}};
}

TEST(RunStatusTest, TellsEachChangeOnceAndHeadlinesByPrecedence) {
    QStringList told;
    RunStatus status([&](const RunStatus::Change& c) { told << RunStatus::describe(c); });
    const struct {
        std::function<bool()> step;
        bool changed;
        const char* headline;  // nullptr: all is well
    } steps[] = {
        {[&] { return status.noteRecord(writtenRecord()); }, false, nullptr},
        {[&] { return status.set(Concern::Adapter, "Connection refused"); }, true,
         "Adapter not answering: Connection refused"},
        {[&] { return status.set(Concern::Adapter, "Connection refused"); }, false,
         "Adapter not answering: Connection refused"},
        // A new reason shows, but is not told again.
        {[&] { return status.set(Concern::Adapter, "timed out"); }, true,
         "Adapter not answering: timed out"},
        {[&] { return status.noteRecord(failedRecord("No space left on device")); }, true,
         "Log write failed: No space left on device"},
        {[&] { return status.set(Concern::Broker, "connection refused"); }, true,
         "Log write failed: No space left on device"},
        {[&] { return status.set(Concern::Adapter, std::nullopt); }, true,
         "Log write failed: No space left on device"},
        {[&] { return status.noteRecord(writtenRecord()); }, true,
         "Broker not answering: connection refused"},
        {[&] { return status.set(Concern::Adapter, "timed out"); }, true,
         "Adapter not answering: timed out"},
        {[&] { return status.set(Concern::Broker, std::nullopt); }, true,
         "Adapter not answering: timed out"},
        {[&] { return status.set(Concern::Alarm, "sensor 1 (F) high: 6.00 °C, above 5 °C"); },
         true, "Adapter not answering: timed out"},
        {[&] { return status.set(Concern::Broker, "refused"); }, true,
         "Adapter not answering: timed out"},
        {[&] { return status.set(Concern::Adapter, std::nullopt); }, true,
         "Alarm: sensor 1 (F) high: 6.00 °C, above 5 °C"},
        {[&] { return status.set(Concern::AlarmCommand, "exit status 3"); }, true,
         "Alarm: sensor 1 (F) high: 6.00 °C, above 5 °C"},
        {[&] { return status.set(Concern::Alarm, std::nullopt); }, true,
         "Alarm command failed: exit status 3"},
        {[&] { return status.set(Concern::AlarmCommand, std::nullopt); }, true,
         "Broker not answering: refused"},
        {[&] { return status.set(Concern::Broker, std::nullopt); }, true, nullptr},
        {[&] { return status.noteRecord(failedRecord("Input/output error")); }, true,
         "Log write failed: Input/output error"},
        // Logging switched off ends a log write failure too.
        {[&] { return status.noteRecord({}); }, true, nullptr},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        EXPECT_EQ(steps[i].step(), steps[i].changed) << "step " << i;
        EXPECT_EQ(status.headline(),
                  steps[i].headline ? std::optional<QString>(steps[i].headline) : std::nullopt)
            << "step " << i;
    }
    EXPECT_EQ(told,
              QStringList({"Adapter not answering: Connection refused",
                           "Log write failed: No space left on device",
                           "Broker not answering: connection refused", "Adapter answering again",
                           "Log written again", "Adapter not answering: timed out",
                           "Broker answering again",
                           "Alarm: sensor 1 (F) high: 6.00 °C, above 5 °C",
                           "Broker not answering: refused", "Adapter answering again",
                           "Alarm command failed: exit status 3", "No alarm",
                           "Alarm command works again", "Broker answering again",
                           "Log write failed: Input/output error", "Log written again"}));
}

}  // namespace
}  // namespace tarnwick::test
