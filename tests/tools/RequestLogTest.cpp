// The request log's line format.
#include <gtest/gtest.h>

#include "RequestLog.h"

namespace tarnwick::test {

TEST(RequestLog, LineTimeIsUtcWithMilliseconds) {
    sim::RequestRecord r;
    r.wall = std::chrono::system_clock::time_point(std::chrono::milliseconds(1700000000123));
    r.target = "/a?b\r\nc";
    EXPECT_EQ(sim::formatLogLine(r), "2023-11-14T22:13:20.123Z /a?b  c");
}

}  // namespace tarnwick::test
