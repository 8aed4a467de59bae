#include "engine/base/ssEBuffer.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <thread>
#include <vector>

namespace {

// A ring of capacity 8 whose slots point at the cells of `cells`, installed in order.
struct Ring8 {
    Ring8()
    {
        for (int i = 0; i < 8; ++i)
            ring.SetSlot(&cells[static_cast<size_t>(i)], i);
    }

    // Takes and publishes slots until the producer is refused; returns how many it took.
    int FillUntilRefused(int firstValue = 0)
    {
        int taken = 0;
        int* slot = nullptr;
        while (ring.GetWriteSlot(&slot, 0) == 0) {
            *slot = firstValue + taken++;
            ring.CommitWrite(0);
        }
        return taken;
    }

    std::array<int, 8> cells{};
    ssEBuffer ring{8};
};

} // namespace

TEST(ssEBuffer, ProducerGetsCapacityMinusReserveSlots)
{
    Ring8 r;
    int* slot = nullptr;
    EXPECT_EQ(r.FillUntilRefused(), 6);
    EXPECT_EQ(r.ring.GetWriteSlot(&slot, 0), ssWaitTimedOut);
    EXPECT_EQ(r.ring.GetCount(), 6);
    EXPECT_FALSE(r.ring.HasRoom());

    int* read = nullptr;
    ASSERT_EQ(r.ring.Read(&read, 0), 0);
    EXPECT_EQ(*read, 0);
    EXPECT_EQ(read, &r.cells[0]);

    // One read frees exactly one more slot.
    EXPECT_EQ(r.FillUntilRefused(100), 1);
    EXPECT_EQ(r.ring.GetCount(), 6);
}

TEST(ssEBuffer, ReadsComeInWriteOrderAcrossTheWrap)
{
    Ring8 r;
    int next = 0;
    int expected = 0;
    int* slot = nullptr;
    for (int round = 0; round < 5; ++round) {
        next += r.FillUntilRefused(next);
        while (r.ring.Read(&slot, 0) == 0)
            EXPECT_EQ(*slot, expected++);
    }
    EXPECT_EQ(expected, next);
    EXPECT_GT(next, 8);
}

TEST(ssEBuffer, CancelledWriteLeavesCountAndFreesTheSlot)
{
    Ring8 r;
    int* slot = nullptr;
    ASSERT_EQ(r.ring.GetWriteSlot(&slot, 0), 0);
    EXPECT_EQ(r.ring.CommitWrite(1), 0);
    EXPECT_EQ(r.ring.GetCount(), 0);
    int* read = nullptr;
    EXPECT_EQ(r.ring.Read(&read, 0), ssWaitTimedOut);
    // The slot handed back is available again: still six in all.
    EXPECT_EQ(r.FillUntilRefused(), 6);
}

TEST(ssEBuffer, ReadOnEmptyRingTimesOut)
{
    Ring8 r;
    int* read = nullptr;
    EXPECT_EQ(r.ring.Read(&read, 0), ssWaitTimedOut);
    EXPECT_EQ(read, nullptr);
    EXPECT_EQ(r.ring.Peek(&read), -1);
    EXPECT_EQ(r.ring.PeekWait(&read, 0), ssWaitTimedOut);
}

TEST(ssEBuffer, FlushEmptiesAndRestoresTheFreeSlots)
{
    Ring8 r;
    r.FillUntilRefused();
    int* read = nullptr;
    ASSERT_EQ(r.ring.Read(&read, 0), 0);
    ASSERT_EQ(r.ring.Read(&read, 0), 0);

    EXPECT_EQ(r.ring.Flush(), 0);
    EXPECT_EQ(r.ring.GetCount(), 0);
    EXPECT_EQ(r.ring.Read(&read, 0), ssWaitTimedOut);

    // Both indices are back at 0: the first slot written after a flush is slot 0 again.
    int* slot = nullptr;
    ASSERT_EQ(r.ring.GetWriteSlot(&slot, 0), 0);
    EXPECT_EQ(slot, &r.cells[0]);
    r.ring.CommitWrite(1);
    EXPECT_EQ(r.FillUntilRefused(), 6);
    ASSERT_EQ(r.ring.Read(&read, 0), 0);
    EXPECT_EQ(read, &r.cells[0]);
}

TEST(ssEBuffer, PeekLeavesTheSlotForRead)
{
    Ring8 r;
    r.FillUntilRefused(40);
    int* peeked = nullptr;
    ASSERT_EQ(r.ring.Peek(&peeked), 0);
    EXPECT_EQ(*peeked, 40);
    ASSERT_EQ(r.ring.PeekWait(&peeked, 1), 0);
    EXPECT_EQ(*peeked, 40);
    ASSERT_EQ(r.ring.PeekWait(&peeked, 1), 0);
    EXPECT_EQ(r.ring.GetCount(), 6);

    // Every slot is still read once, in order, without waiting.
    int* read = nullptr;
    for (int i = 0; i < 6; ++i) {
        ASSERT_EQ(r.ring.Read(&read, 0), 0);
        EXPECT_EQ(*read, 40 + i);
    }
    EXPECT_EQ(r.ring.Read(&read, 0), ssWaitTimedOut);
}

TEST(ssEBuffer, PeekWaitSeesASlotPublishedWhileWaiting)
{
    Ring8 r;
    std::thread producer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        int* slot = nullptr;
        if (r.ring.GetWriteSlot(&slot, 60000) == 0) {
            *slot = 7;
            r.ring.CommitWrite(0);
        }
    });
    int* peeked = nullptr;
    EXPECT_EQ(r.ring.PeekWait(&peeked, 60000), 0);
    producer.join();
    ASSERT_NE(peeked, nullptr);
    EXPECT_EQ(*peeked, 7);
    int* read = nullptr;
    EXPECT_EQ(r.ring.Read(&read, 0), 0);
    EXPECT_EQ(read, peeked);
}

TEST(ssEBuffer, KeepsTheOwnersInteger)
{
    ssEBuffer ring(48);
    EXPECT_EQ(ring.GetUserData(), 0);
    ring.SetUserData(6);
    EXPECT_EQ(ring.GetUserData(), 6);
    EXPECT_EQ(ring.GetCapacity(), 48);
}

TEST(ssEBuffer, SmallOrBadRingsRefuseSafely)
{
    int cell = 0;
    ssEBuffer tiny(2);
    tiny.SetSlot(&cell, 0);
    tiny.SetSlot(&cell, 1);
    tiny.SetSlot(&cell, 2); // out of range: ignored
    tiny.SetSlot(&cell, -1);
    int* slot = nullptr;
    EXPECT_EQ(tiny.GetWriteSlot(&slot, 0), ssWaitTimedOut);
    EXPECT_EQ(tiny.Flush(), 0);
    EXPECT_EQ(tiny.GetWriteSlot(&slot, 0), ssWaitTimedOut);

    ssEBuffer empty(0);
    EXPECT_EQ(empty.GetWriteSlot(&slot, 0), ssWaitTimedOut);
    EXPECT_EQ(empty.Read(&slot, 0), ssWaitTimedOut);
    EXPECT_EQ(empty.Flush(), 0);
    EXPECT_FALSE(empty.HasRoom());
}

// One producer and one consumer pass a million numbered items through preallocated slots: every
// item arrives, once, in order, and the payload written before the commit is the one read.
TEST(ssEBuffer, TwoThreadStressKeepsEveryItemInOrder)
{
    constexpr int kItems = 1000000;
    constexpr int kCapacity = 1024;
    std::vector<int64_t> cells(kCapacity);
    ssEBuffer ring(kCapacity);
    for (int i = 0; i < kCapacity; ++i)
        ring.SetSlot(&cells[static_cast<size_t>(i)], i);

    std::thread producer([&] {
        for (int64_t i = 0; i < kItems; ++i) {
            int64_t* slot = nullptr;
            while (ring.GetWriteSlot(&slot, 1000) != 0) {
            }
            *slot = i;
            ring.CommitWrite(0);
        }
    });

    int64_t expected = 0;
    int64_t mismatches = 0;
    while (expected < kItems) {
        int64_t* slot = nullptr;
        if (ring.Read(&slot, 1000) != 0)
            continue;
        if (*slot != expected)
            ++mismatches;
        ++expected;
    }
    producer.join();
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(ring.GetCount(), 0);
    int64_t* slot = nullptr;
    EXPECT_EQ(ring.Read(&slot, 0), ssWaitTimedOut);
}

// Installing the buffers again (as an owner does after a format change) leaves more free-slot
// signals than free slots, so a signalled producer can still find the ring full: it is refused,
// its slot pointer is left alone, and the signal stays for the next attempt.
TEST(ssEBuffer, ARefusedWriteSlotKeepsItsPointerAndItsSignal)
{
    Ring8 r;
    for (int i = 0; i < 2; ++i)
        r.ring.SetSlot(&r.cells[static_cast<size_t>(i)], i);
    EXPECT_EQ(r.FillUntilRefused(), 7);
    int sentinel = 0;
    int* slot = &sentinel;
    EXPECT_EQ(r.ring.GetWriteSlot(&slot, 0), -1);
    EXPECT_EQ(slot, &sentinel);
    EXPECT_EQ(r.ring.GetWriteSlot(&slot, 0), -1); // the signal was given back, not lost
    EXPECT_EQ(slot, &sentinel);
    int* read = nullptr;
    ASSERT_EQ(r.ring.Read(&read, 0), 0);
    EXPECT_EQ(*read, 0);
    EXPECT_EQ(r.ring.GetWriteSlot(&slot, 0), 0);
    EXPECT_EQ(slot, &r.cells[7]);
}
