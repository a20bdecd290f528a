// The compiled-in roster and adapter address.
#include <gtest/gtest.h>

#include "../TestPrinters.h"
#include "Roster.h"

namespace tarnwick::test {

TEST(Roster, SixteenIdentifiersInSeventeenSlots) {
    const IdentifierTable ids = compiledRoster();
    ASSERT_EQ(ids.size(), 17u);
    EXPECT_EQ(ids[0], "9C000000B4A89828");
    EXPECT_EQ(ids[11], "A1000000A4D34C28");
    EXPECT_EQ(ids[12], "84000000B4D33B28");
    EXPECT_EQ(ids[15], "42000000B49D7028");
    EXPECT_TRUE(ids[16].isEmpty());
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(ids[i].size(), 16);
        EXPECT_TRUE(ids[i].endsWith("28"));
    }
}

TEST(Roster, CheckValueToCount) {
    EXPECT_EQ(sensorCountForCheckValue(0), 12);
    EXPECT_EQ(sensorCountForCheckValue(1), 16);
    EXPECT_EQ(sensorCountForCheckValue(2), 12) << "grayed counts as unchecked";
}

}  // namespace tarnwick::test
