// Waiting in a GoogleTest test for what the event loop brings about. A wait
// that runs out fails the test that waited, with what was seen last:
//   ASSERT_TRUE(eventually([&] { return paints > 0; }));
//   ASSERT_TRUE(eventuallyEquals([&] { return label->text(); }, QString("done")));
// (Qt Test's QTRY_* macros report to Qt Test, which a GoogleTest run never reads.)
#pragma once

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QTest>
#include <iomanip>
#include <limits>
#include <sstream>
#include <string>
#include <type_traits>

namespace tarnwick::test {

inline constexpr int kWaitMs = 5000;

namespace detail {
// Lets events through until `holds()` or the deadline; whether it held.
template <typename Predicate>
bool waitUntil(Predicate&& holds, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!holds()) {
        if (deadline.hasExpired()) return false;
        QTest::qWait(10);
    }
    return true;
}

// A value for a failure message; times in milliseconds keep all their digits.
template <typename T>
std::string describe(const T& value) {
    if constexpr (std::is_floating_point_v<T>) {
        std::ostringstream text;
        text << std::setprecision(std::numeric_limits<T>::max_digits10) << value;
        return text.str();
    } else {
        return ::testing::PrintToString(value);
    }
}
}  // namespace detail

// Success once `holds()` is true; failure if it is still false after `timeoutMs`.
template <typename Predicate>
::testing::AssertionResult eventually(Predicate&& holds, int timeoutMs = kWaitMs) {
    if (detail::waitUntil(holds, timeoutMs)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "still false after " << timeoutMs << " ms";
}

// Success once `value()` equals `expected`; failure naming the last value
// if it does not within `timeoutMs`.
template <typename Value, typename Expected>
::testing::AssertionResult eventuallyEquals(Value&& value, const Expected& expected,
                                            int timeoutMs = kWaitMs) {
    if (detail::waitUntil([&] { return value() == expected; }, timeoutMs))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "after " << timeoutMs << " ms: " << detail::describe(value()) << ", expected "
           << detail::describe(expected);
}

}  // namespace tarnwick::test
