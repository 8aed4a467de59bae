#include "engine/output/ssPacketTiming.h"
#include "engine/output/ssSdiTimecode.h"

#include <gtest/gtest.h>

TEST(SdiTimecode, StartTimecodeIsAddedWithCarryAndWrapsAtMidnight)
{
    // 1.5 s at 25 fps past 00:00:59:20 is 00:01:01:07, not 00:00:60:32.
    ssTimecodeParts tc = ssSdiTimecodeAt(1.5, 0.04, 25, {0, 0, 59, 20});
    EXPECT_EQ(tc.hours, 0);
    EXPECT_EQ(tc.minutes, 1);
    EXPECT_EQ(tc.seconds, 1);
    EXPECT_EQ(tc.frames, 7);
    tc = ssSdiTimecodeAt(3600.0 * 2, 0.04, 25, {23, 30, 0, 0});
    EXPECT_EQ(tc.hours, 1);
    EXPECT_EQ(tc.minutes, 30);
    // Elapsed hours beyond a day wrap as well; nonsense times count as zero.
    EXPECT_EQ(ssSdiTimecodeAt(3600.0 * 300, 0.04, 25, {}).hours, 12);
    EXPECT_EQ(ssSdiTimecodeAt(-5.0, 0.04, 25, {1, 2, 3, 4}).frames, 4);
}

TEST(PacketTiming, WindowsDecideEarlyTakeAndLate)
{
    for (double tol : {ssComputerSyncTolerance, ssSdiSyncTolerance}) {
        EXPECT_EQ(ssClassifyPacket(-tol, tol), ssPacketDue::Early);
        EXPECT_EQ(ssClassifyPacket(-tol + 1e-6, tol), ssPacketDue::Take);
        EXPECT_EQ(ssClassifyPacket(tol - 1e-6, tol), ssPacketDue::Take);
        EXPECT_EQ(ssClassifyPacket(tol, tol), ssPacketDue::Late);
    }
    // A linked channel 80 ms behind its master drops; 70 ms behind plays.
    EXPECT_EQ(ssClassifyPacket(0.080, ssSdiSyncTolerance), ssPacketDue::Late);
    EXPECT_EQ(ssClassifyPacket(0.070, ssSdiSyncTolerance), ssPacketDue::Take);
    EXPECT_EQ(ssClassifyPacket(0.020, ssComputerSyncTolerance), ssPacketDue::Late);
    EXPECT_EQ(ssClassifyPacket(-0.020, ssComputerSyncTolerance), ssPacketDue::Early);
}
