#include "TSoftDet.h"
#include "modClassIDGenerator.h"

#include <gtest/gtest.h>

// Alone in its executable: nothing of the device model has been created in
// this process before, as at the start of a run of the program.
TEST(FirstDebugIdentity, FirstDeviceOfARunIsThirteenAfterItsTwelveVariables)
{
    TSoftDet d;
    EXPECT_EQ(d.ClassDebugID(), 13);
    EXPECT_EQ(d.InTempVar()->ClassDebugID(), 1);
    EXPECT_EQ(d.OutBootVar()->ClassDebugID(), 12);

    TSoftDet second;
    EXPECT_EQ(second.InTempVar()->ClassDebugID(), 14);
    EXPECT_EQ(second.ClassDebugID(), 26);
    EXPECT_EQ(modClassIDGenerator::NextID(), 27);
}
