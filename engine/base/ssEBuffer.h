#pragma once

#include "engine/base/ssCriticalSection.h"
#include "engine/base/ssEvent.h"
#include "engine/base/ssTypedSlot.h"

#include <atomic>
#include <cstdint>

// Fixed ring of pointer slots between exactly one producing and one consuming thread. The owner
// allocates the buffers and installs their pointers with SetSlot; only pointers circulate, so no
// allocation happens per item. Two slots are held back from the producer so the slot the consumer
// took last is never overwritten while the consumer still uses it.
//
// Wait results: 0 success, ssWaitTimedOut when the wait ran out, -1 when the ring refused.
class ssEBuffer {
public:
    static constexpr int32_t kReserve = 2;

    explicit ssEBuffer(int capacity);
    ~ssEBuffer();
    ssEBuffer(const ssEBuffer&) = delete;
    ssEBuffer& operator=(const ssEBuffer&) = delete;

    // Installs a buffer pointer; slots below capacity minus reserve also become free for the
    // producer, so installing every slot in order hands it capacity minus 2 slots.
    void SetSlot(void* buffer, int index);

    // Producer: waits up to the given time for a free slot and gives it; nothing is published
    // until CommitWrite.
    int GetWriteSlot(void** slot, int milliseconds);

    // Producer: with cancel 0 publishes the slot taken last; otherwise hands it back unused.
    int CommitWrite(int cancel);

    // Consumer: waits up to the given time for a filled slot, gives it and frees the one before.
    int Read(void** slot, int milliseconds);

    // Consumer: gives the next filled slot without taking it; -1 when there is none.
    int Peek(void** slot);

    // Consumer: like Peek, but waits up to the given time for a filled slot. The slot stays
    // readable: the next Read returns it without waiting.
    int PeekWait(void** slot, int milliseconds);

    // True when more than the reserve is free.
    bool HasRoom();

    // Empties the ring and makes capacity minus reserve slots free again; the installed pointers
    // stay. Only while producer and consumer are idle.
    int Flush();

    int GetCapacity() const { return capacity_; }
    int GetCount();

    // Events signalled besides the ring's own, for threads that rest on an event of their own
    // until there is work: the producer's whenever slots become free for it (a read, a flush, a
    // slot installed), the consumer's whenever a slot is published. Null: none. Cleared before the
    // events are destroyed.
    void SetWakeEvents(ssEvent* producer, ssEvent* consumer);

    // One integer the owner keeps with the ring (the playback engine stores a stream's channel
    // count on its sample queues).
    int GetUserData() const { return userData_.load(std::memory_order_relaxed); }
    void SetUserData(int value) { userData_.store(value, std::memory_order_relaxed); }

    // Typed forms of the slot calls, so owners need no casts.
    template <typename T> int GetWriteSlot(T** slot, int milliseconds)
    {
        return ssTypedSlot(slot, [&](void** p) { return GetWriteSlot(p, milliseconds); });
    }
    template <typename T> int Read(T** slot, int milliseconds)
    {
        return ssTypedSlot(slot, [&](void** p) { return Read(p, milliseconds); });
    }
    template <typename T> int Peek(T** slot)
    {
        return ssTypedSlot(slot, [&](void** p) { return Peek(p); });
    }
    template <typename T> int PeekWait(T** slot, int milliseconds)
    {
        return ssTypedSlot(slot, [&](void** p) { return PeekWait(p, milliseconds); });
    }

private:
    int32_t capacity_;
    void** slots_;
    int32_t count_ = 0;
    int32_t writeIndex_ = 0;
    int32_t readIndex_ = 0;
    ssCriticalSection lock_;
    ssEvent* outEvent_;
    ssEvent* inEvent_;
    int32_t reserve_ = kReserve;
    std::atomic<ssEvent*> producerWake_{nullptr};
    std::atomic<ssEvent*> consumerWake_{nullptr};
    std::atomic<int> userData_{0};
};
