// Fault rules in their command-line form.
#include <gtest/gtest.h>

#include "FaultRule.h"

namespace tarnwick::test {
using sim::Fault;
using sim::PageKind;

TEST(FaultRule, ParsesFromText) {
    const auto missing = sim::parseFaultRule("read:missing-field:first=3,count=1");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->kind, PageKind::Read);
    EXPECT_EQ(missing->fault, Fault::MissingField);
    EXPECT_EQ(missing->first, 3);
    EXPECT_EQ(missing->count, 1);

    const auto slow = sim::parseFaultRule("lock:delay:ms=300");
    ASSERT_TRUE(slow);
    EXPECT_EQ(slow->delayMs, 300);
    EXPECT_EQ(slow->count, -1);

    const auto oneSensor = sim::parseFaultRule("read:all-ff:address=9c000000b4a89828");
    ASSERT_TRUE(oneSensor);
    EXPECT_EQ(oneSensor->address, "9C000000B4A89828");

    for (const char* bad : {"", "read", "read:", "nope:stall", "read:nope", "read:stall:first=0",
                            "read:stall:first", "read:stall:colour=1", "read:stall:count=x",
                            "read:all-ff:address=12", "lock:delay:ms=-5"})
        EXPECT_FALSE(sim::parseFaultRule(bad)) << bad;
}

}  // namespace tarnwick::test
