#include "engine/output/ssPacketTiming.h"
#include "engine/output/ssSdiTimecode.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

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

TEST(PacketTiming, ALinkedChannelDropsLatePacketsUntilOneIsWithinTheWindow)
{
    struct Packet {
        double time;
    };
    // Packets live in preallocated storage, as PCM blocks do; the queue holds pointers.
    std::vector<Packet> blocks(20);
    std::deque<Packet*> queue;
    // The master is at 1.000 s; packets 10 ms apart starting 80 ms behind it.
    for (int i = 0; i < 20; ++i) {
        blocks[size_t(i)].time = 0.920 + 0.010 * i;
        queue.push_back(&blocks[size_t(i)]);
    }
    const double master = 1.000;
    auto take = [&](double tolerance) {
        return ssTakeDuePacket<Packet>([&]() -> Packet* { return queue.empty() ? nullptr : queue.front(); },
                                       [&] { queue.pop_front(); },
                                       [&](const Packet& p) { return master - p.time; }, tolerance);
    };
    Packet* p = take(ssSdiSyncTolerance);
    ASSERT_NE(p, nullptr);
    // 80 ms late was dropped; 70 ms is within 73.6 ms and is played.
    EXPECT_DOUBLE_EQ(p->time, 0.930);
    EXPECT_EQ(queue.size(), 18u);

    // Computer audio: a packet more than 16 ms ahead stays queued and silence plays.
    queue.assign({&blocks[0]});
    blocks[0].time = 1.020;
    EXPECT_EQ(take(ssComputerSyncTolerance), nullptr);
    EXPECT_EQ(queue.size(), 1u);
    blocks[0].time = 1.010;
    EXPECT_EQ(take(ssComputerSyncTolerance), &blocks[0]);
    EXPECT_TRUE(queue.empty());
    EXPECT_EQ(take(ssComputerSyncTolerance), nullptr);
}
