#include "engine/capture/ssSEBuffer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

struct Slot {
    int64_t sequence = -1;
};

// A ring with its slot records installed in order.
struct Ring {
    Ring(int n, int reserve) : slots(size_t(n)), ring(n, reserve)
    {
        for (int i = 0; i < n; ++i)
            ring.RegisterSlot(&slots[size_t(i)], i);
    }
    // Acquires and publishes one slot carrying `sequence`; false when no slot came.
    bool publish(int64_t sequence, int waitMs = 0)
    {
        Slot* slot = nullptr;
        if (ring.AcquireWrite(&slot, waitMs) != 0)
            return false;
        slot->sequence = sequence;
        ring.Commit(0);
        return true;
    }
    int64_t read(int reader)
    {
        Slot* slot = nullptr;
        return ring.Read(reader, &slot, 0) == 0 ? slot->sequence : -1;
    }
    std::vector<Slot> slots;
    ssSEBuffer ring;
};

} // namespace

TEST(ssSEBuffer, OneWriterTwoReadersAtTheirOwnPaceLoseAndRepeatNothing)
{
    constexpr int64_t kCount = 100'000;
    Ring r(64, 1);
    ASSERT_EQ(r.ring.AddReader(), 1);

    std::thread writer([&] {
        for (int64_t i = 0; i < kCount;)
            if (r.publish(i, 100))
                ++i;
    });
    auto reader = [&](int id, int64_t* received, int64_t* faults) {
        int64_t expected = 0;
        while (expected < kCount) {
            Slot* slot = nullptr;
            if (r.ring.Read(id, &slot, 100) != 0)
                continue;
            if (slot->sequence != expected)
                ++*faults;
            expected = slot->sequence + 1;
            ++*received;
            // Reader 1 is the slower one: it pauses now and then.
            if (id == 1 && expected % 500 == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    };
    int64_t received[2] = {}, faults[2] = {};
    std::thread fast(reader, 0, &received[0], &faults[0]);
    std::thread slow(reader, 1, &received[1], &faults[1]);
    writer.join();
    fast.join();
    slow.join();
    for (int id = 0; id < 2; ++id) {
        EXPECT_EQ(received[id], kCount) << "reader " << id;
        EXPECT_EQ(faults[id], 0) << "reader " << id;
    }
}

TEST(ssSEBuffer, StalledReaderBlocksTheWriterOnlyWhenItsFreeSlotsAreGone)
{
    Ring r(8, 1);
    ASSERT_EQ(r.ring.AddReader(), 1);
    EXPECT_EQ(r.ring.Headroom(0), 7);
    // Reader 1 stalls; reader 0 keeps up with the writer.
    for (int64_t i = 0; i < 7; ++i) {
        ASSERT_TRUE(r.publish(i)) << i;
        EXPECT_EQ(r.read(0), i);
    }
    EXPECT_EQ(r.ring.Headroom(0), 7);
    EXPECT_EQ(r.ring.Headroom(1), 0);
    Slot* slot = nullptr;
    EXPECT_EQ(r.ring.AcquireWrite(&slot, 0), ssWaitTimedOut);
    EXPECT_EQ(r.read(0), -1); // reader 0 has nothing left, but nothing is lost either

    // One read by the stalled reader frees exactly one slot.
    EXPECT_EQ(r.read(1), 0);
    EXPECT_TRUE(r.publish(7));
    EXPECT_FALSE(r.publish(8));
    EXPECT_EQ(r.read(0), 7);
    for (int64_t i = 1; i <= 7; ++i)
        EXPECT_EQ(r.read(1), i);
}

TEST(ssSEBuffer, DiscardedAcquisitionGivesTheSlotBackAtOnce)
{
    Ring r(4, 1);
    Slot* slot = nullptr;
    ASSERT_EQ(r.ring.AcquireWrite(&slot, 0), 0);
    EXPECT_EQ(slot, &r.slots[0]);
    slot->sequence = 99;
    r.ring.Commit(1);
    EXPECT_EQ(r.read(0), -1); // nothing was published
    // All three free slots are still there, and the discarded one comes first.
    ASSERT_EQ(r.ring.AcquireWrite(&slot, 0), 0);
    EXPECT_EQ(slot, &r.slots[0]);
    r.ring.Commit(1);
    EXPECT_TRUE(r.publish(1));
    EXPECT_TRUE(r.publish(2));
    EXPECT_TRUE(r.publish(3));
    EXPECT_FALSE(r.publish(4));
}

TEST(ssSEBuffer, ResetEmptiesTheRingAndFreesAllButTheReserve)
{
    Ring r(6, 2);
    ASSERT_EQ(r.ring.AddReader(), 1);
    for (int64_t i = 0; i < 4; ++i)
        ASSERT_TRUE(r.publish(i));
    EXPECT_EQ(r.read(0), 0);
    EXPECT_EQ(r.ring.Headroom(1), 0);

    r.ring.Reset();
    EXPECT_EQ(r.read(0), -1);
    EXPECT_EQ(r.read(1), -1);
    Slot* slot = nullptr;
    EXPECT_EQ(r.ring.Peek(0, &slot), -1);
    EXPECT_EQ(r.ring.Headroom(0), 4);
    EXPECT_EQ(r.ring.Headroom(1), 4);
    ASSERT_EQ(r.ring.AcquireWrite(&slot, 0), 0);
    EXPECT_EQ(slot, &r.slots[0]);
    slot->sequence = 100;
    r.ring.Commit(0);
    for (int64_t i = 1; i < 4; ++i)
        ASSERT_TRUE(r.publish(100 + i));
    EXPECT_FALSE(r.publish(200));
    ASSERT_EQ(r.ring.Peek(1, &slot), 0);
    EXPECT_EQ(slot, &r.slots[0]);
    EXPECT_EQ(r.read(1), 100); // Peek did not consume it
}

TEST(ssSEBuffer, ReadLatestSkipsToTheNewestSlotNoOtherReaderStillNeeds)
{
    Ring r(16, 1);
    ASSERT_EQ(r.ring.AddReader(), 1); // reader 1 shows previews
    for (int64_t i = 0; i < 4; ++i)
        ASSERT_TRUE(r.publish(i));
    Slot* slot = nullptr;
    // Reader 0 still needs every slot: the preview takes one step only.
    ASSERT_EQ(r.ring.ReadLatest(1, &slot, 0), 0);
    EXPECT_EQ(slot->sequence, 0);
    for (int64_t i = 0; i < 4; ++i)
        EXPECT_EQ(r.read(0), i);
    for (int64_t i = 4; i < 7; ++i)
        ASSERT_TRUE(r.publish(i));
    for (int64_t i = 4; i < 7; ++i)
        EXPECT_EQ(r.read(0), i);
    // Reader 0 is done with slots 1..6: the preview jumps to the newest.
    ASSERT_EQ(r.ring.ReadLatest(1, &slot, 0), 0);
    EXPECT_EQ(slot->sequence, 6);
    EXPECT_EQ(r.ring.ReadLatest(1, &slot, 0), -1);
    EXPECT_EQ(r.ring.Headroom(1), 15);
}

TEST(ssSEBuffer, ReadersJoinAtTheWriterAndAreLimitedToSixteen)
{
    Ring r(8, 1);
    ASSERT_TRUE(r.publish(0));
    ASSERT_TRUE(r.publish(1));
    const int late = r.ring.AddReader();
    ASSERT_EQ(late, 1);
    EXPECT_EQ(r.read(late), -1); // nothing committed before it joined
    ASSERT_TRUE(r.publish(2));
    EXPECT_EQ(r.read(late), 2);
    for (int i = 2; i < ssSEBuffer::kMaxReaders; ++i)
        EXPECT_EQ(r.ring.AddReader(), i);
    EXPECT_EQ(r.ring.AddReader(), -1);
    EXPECT_EQ(r.ring.GetReaderCount(), ssSEBuffer::kMaxReaders);
    Slot* slot = nullptr;
    EXPECT_EQ(r.ring.Read(ssSEBuffer::kMaxReaders, &slot, 0), -1);
    EXPECT_EQ(r.ring.GetSlot(8), nullptr);
}

TEST(ssSEBuffer, AFollowerNeverHoldsTheWriterUpAndTheRecordItHoldsIsNeverWritten)
{
    Ring r(4, 1);
    Slot spare;
    EXPECT_EQ(r.ring.AddFollower(), -1); // no spare yet
    r.ring.RegisterSpare(&spare);
    const int follower = r.ring.AddFollower();
    ASSERT_EQ(follower, 1);
    EXPECT_EQ(r.ring.AddFollower(), -1); // one spare, one follower

    ASSERT_TRUE(r.publish(0));
    Slot* held = nullptr;
    ASSERT_EQ(r.ring.ReadLatest(follower, &held, 0), 0);
    EXPECT_EQ(held->sequence, 0);

    // The follower pauses for many laps; reader 0 keeps up and the writer is never refused.
    EXPECT_EQ(r.read(0), 0);
    for (int64_t i = 1; i <= 40; ++i) {
        ASSERT_TRUE(r.publish(i)) << i;
        ASSERT_EQ(r.read(0), i);
        ASSERT_EQ(held->sequence, 0) << "the held record was written at " << i;
    }
    // Back, it gets the newest frame and nothing older after it.
    Slot* latest = nullptr;
    ASSERT_EQ(r.ring.ReadLatest(follower, &latest, 0), 0);
    EXPECT_EQ(latest->sequence, 40);
    EXPECT_EQ(r.ring.Unread(follower), 0);
    EXPECT_NE(r.ring.ReadLatest(follower, &latest, 0), 0);
    ASSERT_TRUE(r.publish(41));
    ASSERT_EQ(r.ring.ReadLatest(follower, &latest, 0), 0);
    EXPECT_EQ(latest->sequence, 41);
}

TEST(ssSEBuffer, AFollowerReadingEveryFrameSeesThemInOrderWhileReaderZeroHoldsTheWriter)
{
    Ring r(4, 1);
    Slot spare;
    r.ring.RegisterSpare(&spare);
    const int follower = r.ring.AddFollower();
    // Reader 0 stalls: the writer stops at its free slots, the follower changes nothing.
    int published = 0;
    while (r.publish(published))
        ++published;
    EXPECT_EQ(published, 3);
    for (int64_t i = 0; i < published; ++i)
        EXPECT_EQ(r.read(follower), i);
    EXPECT_FALSE(r.publish(99));
    for (int64_t i = 0; i < published; ++i)
        EXPECT_EQ(r.read(0), i);
    EXPECT_TRUE(r.publish(3));
    EXPECT_EQ(r.read(follower), 3);
    EXPECT_EQ(r.read(0), 3);
}
