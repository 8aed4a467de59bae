#pragma once

#include "engine/base/ssCriticalSection.h"
#include "engine/base/ssEvent.h"
#include "engine/base/ssTypedSlot.h"

#include <atomic>
#include <cstdint>

// The frame ring: a fixed set of caller-owned slot records that one writer fills and up to 16
// readers consume, each at its own pace. A slot is handed to the writer again only after every
// reader has consumed it, and R slots stay between the writer and the slowest reader so that the
// slot a reader took last is not overwritten while it is still in use.
//
// Results: 0 success, ssWaitTimedOut (or another wait error) when a wait ran out, -1 when the ring
// refused (nothing to read, no room).
class ssSEBuffer {
public:
    static constexpr int kMaxReaders = 16;

    ssSEBuffer(int slotCount, int reserve);
    ~ssSEBuffer();
    ssSEBuffer(const ssSEBuffer&) = delete;
    ssSEBuffer& operator=(const ssSEBuffer&) = delete;

    // Stores a slot record; the first N - R registered slots become free for the writer.
    void RegisterSlot(void* slot, int index);
    void* GetSlot(int index);
    int GetSlotCount() const { return SlotCount_; }

    // Adds a reader that sees what is committed from now on; returns its number, or -1 when 16
    // readers exist already.
    int AddReader();
    // One more slot record, kept outside the ring for a follower (AddFollower).
    void RegisterSpare(void* slot);
    // Adds a reader that never holds the writer up (a preview that may pause): when the writer
    // comes round to a slot it has not read, that slot is taken from it unread, and when the
    // writer comes to the slot it took last, a spare record takes that slot's place in the ring.
    // Returns its number, or -1 when 16 readers exist already or no spare is left for it.
    int AddFollower();
    int GetReaderCount() const { return ReaderCount_.load(); }

    // An event signalled besides the ring's own whenever slots become free for the writer (a
    // reader took them, a reset, a slot registered), for a writer that rests on an event of its
    // own until there is work. Null: none.
    void SetWriterWake(ssEvent* event) { WriterWake_.store(event); }

    // Writer: waits for a free slot and gives it; nothing is published before Commit.
    int AcquireWrite(void** slot, int milliseconds);
    // Writer: publishes the acquired slot to every reader, or with discard hands it back unused.
    int Commit(int discard);

    // Reader: waits for the next published slot and consumes it.
    int Read(int reader, void** slot, int milliseconds);
    // Reader: like Read, but also skips the following published slots that no other reader still
    // needs, and gives the newest slot consumed.
    int ReadLatest(int reader, void** slot, int milliseconds);
    // Reader: the next published slot without consuming it.
    int Peek(int reader, void** slot);
    // Slots the writer may still fill before this reader holds it up.
    int Headroom(int reader);
    // Published slots this reader has not consumed yet.
    int Unread(int reader);

    // Slots published since the ring was made (Reset does not count back).
    uint64_t CommitCount() const { return Commits_.load(std::memory_order_relaxed); }

    // Empties the ring: N - R free slots, nothing unread, indexes 0. Slot records stay.
    void Reset();

    template <typename T> int AcquireWrite(T** slot, int milliseconds)
    {
        return ssTypedSlot(slot, [&](void** p) { return AcquireWrite(p, milliseconds); });
    }
    template <typename T> int Read(int reader, T** slot, int milliseconds)
    {
        return ssTypedSlot(slot, [&](void** p) { return Read(reader, p, milliseconds); });
    }
    template <typename T> int ReadLatest(int reader, T** slot, int milliseconds)
    {
        return ssTypedSlot(slot, [&](void** p) { return ReadLatest(reader, p, milliseconds); });
    }
    template <typename T> int Peek(int reader, T** slot)
    {
        return ssTypedSlot(slot, [&](void** p) { return Peek(reader, p); });
    }

private:
    bool ValidReader(int reader) const { return reader >= 0 && reader < ReaderCount_.load(); }
    // Consumes the slot at the reader's read index; true when that freed it for the writer.
    bool ConsumeLocked(int reader, void** slot);
    // Readers that hold the writer up (every reader but the followers).
    int HoldersLocked() const;
    // Signals the writer's free-slot event once per freed slot, and its wake event.
    void SignalFreed(int slots);
    // Before the writer fills the slot at the write index: followers lose it unread, and a
    // record a follower still uses is swapped for a free spare.
    void ClearWriteSlotOfFollowersLocked();

    int32_t SlotCount_;
    void** Slots_;
    int32_t Unread_[kMaxReaders] = {};
    int32_t WriteIndex_ = 0;
    int32_t ReadIndex_[kMaxReaders] = {};
    int32_t* Pending_;
    ssCriticalSection Lock_;
    ssEvent* ReaderEvents_[kMaxReaders];
    ssEvent* WriterEvent_;
    std::atomic<ssEvent*> WriterWake_{nullptr};
    std::atomic<int32_t> ReaderCount_{1};
    std::atomic<uint64_t> Commits_{0};
    int32_t Reserve_;
    bool Follower_[kMaxReaders] = {};
    void* Held_[kMaxReaders] = {};   // the record a follower took last
    void* Spares_[kMaxReaders] = {}; // one record per follower outside the ring
    int32_t SpareCount_ = 0;
};
