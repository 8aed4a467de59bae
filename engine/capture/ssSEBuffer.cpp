#include "engine/capture/ssSEBuffer.h"

#include <algorithm>
#include <cstdio>

ssSEBuffer::ssSEBuffer(int slotCount, int reserve)
    : SlotCount_(std::max(slotCount, 1)), Reserve_(std::clamp(reserve, 0, std::max(slotCount, 1)))
{
    Slots_ = new void*[size_t(SlotCount_)]();
    Pending_ = new int32_t[size_t(SlotCount_)]();
    char name[64];
    for (int i = 0; i < kMaxReaders; ++i) {
        std::snprintf(name, sizeof name, "OutEvent%d%p", i, static_cast<void*>(this));
        ReaderEvents_[i] = new ssEvent(name);
    }
    std::snprintf(name, sizeof name, "InEvent%p", static_cast<void*>(this));
    WriterEvent_ = new ssEvent(name);
}

ssSEBuffer::~ssSEBuffer()
{
    for (ssEvent* event : ReaderEvents_)
        delete event;
    delete WriterEvent_;
    delete[] Pending_;
    delete[] Slots_;
}

void ssSEBuffer::RegisterSlot(void* slot, int index)
{
    if (index < 0 || index >= SlotCount_)
        return;
    Lock_.Lock();
    Slots_[index] = slot;
    Lock_.Unlock();
    if (index < SlotCount_ - Reserve_)
        SignalFreed(1);
}

void ssSEBuffer::SignalFreed(int slots)
{
    if (slots <= 0)
        return;
    for (int i = 0; i < slots; ++i)
        WriterEvent_->Signal();
    if (ssEvent* wake = WriterWake_.load())
        wake->Signal();
}

void* ssSEBuffer::GetSlot(int index)
{
    if (index < 0 || index >= SlotCount_)
        return nullptr;
    Lock_.Lock();
    void* slot = Slots_[index];
    Lock_.Unlock();
    return slot;
}

int ssSEBuffer::AddReader()
{
    Lock_.Lock();
    const int reader = ReaderCount_.load();
    if (reader >= kMaxReaders) {
        Lock_.Unlock();
        return -1;
    }
    // A late reader starts where the writer is: it must not take older slots for new ones.
    Unread_[reader] = 0;
    ReadIndex_[reader] = WriteIndex_;
    ReaderEvents_[reader]->Drain();
    ReaderCount_.store(reader + 1);
    Lock_.Unlock();
    return reader;
}

void ssSEBuffer::RegisterSpare(void* slot)
{
    Lock_.Lock();
    if (slot && SpareCount_ < kMaxReaders)
        Spares_[SpareCount_++] = slot;
    Lock_.Unlock();
}

int ssSEBuffer::AddFollower()
{
    Lock_.Lock();
    const int reader = ReaderCount_.load();
    const int followers = ReaderCount_.load() - HoldersLocked();
    if (reader >= kMaxReaders || followers >= SpareCount_) {
        Lock_.Unlock();
        return -1;
    }
    Unread_[reader] = 0;
    ReadIndex_[reader] = WriteIndex_;
    ReaderEvents_[reader]->Drain();
    Follower_[reader] = true;
    Held_[reader] = nullptr;
    ReaderCount_.store(reader + 1);
    Lock_.Unlock();
    return reader;
}

int ssSEBuffer::HoldersLocked() const
{
    int holders = 0;
    const int readers = ReaderCount_.load();
    for (int r = 0; r < readers; ++r)
        holders += Follower_[r] ? 0 : 1;
    return holders;
}

void ssSEBuffer::ClearWriteSlotOfFollowersLocked()
{
    const int readers = ReaderCount_.load();
    for (int r = 0; r < readers; ++r) {
        if (!Follower_[r])
            continue;
        if (Unread_[r] >= SlotCount_) {
            // A whole lap unread: its oldest slot is the one about to be written.
            ReadIndex_[r] = (ReadIndex_[r] + 1) % SlotCount_;
            --Unread_[r];
            if (ReaderEvents_[r]->GetCount() > 0)
                ReaderEvents_[r]->Wait(0);
        }
        if (Held_[r] != Slots_[WriteIndex_])
            continue;
        // At most one record per follower is held and there is one spare per follower, so a
        // spare nobody holds exists.
        for (int i = 0; i < SpareCount_; ++i) {
            bool held = false;
            for (int f = 0; f < readers; ++f)
                held = held || (Follower_[f] && Held_[f] == Spares_[i]);
            if (!held) {
                std::swap(Spares_[i], Slots_[WriteIndex_]);
                break;
            }
        }
    }
}

int ssSEBuffer::AcquireWrite(void** slot, int milliseconds)
{
    const int waited = WriterEvent_->Wait(milliseconds);
    if (waited != 0)
        return waited;
    Lock_.Lock();
    const int readers = ReaderCount_.load();
    for (int r = 0; r < readers; ++r) {
        if (!Follower_[r] && SlotCount_ - Unread_[r] < Reserve_) {
            Lock_.Unlock();
            // The free-slot signal is not used up by a refusal.
            WriterEvent_->Signal();
            return -1;
        }
    }
    ClearWriteSlotOfFollowersLocked();
    *slot = Slots_[WriteIndex_];
    Lock_.Unlock();
    return 0;
}

int ssSEBuffer::Commit(int discard)
{
    if (discard) {
        WriterEvent_->Signal();
        return 0;
    }
    Lock_.Lock();
    const int readers = ReaderCount_.load();
    Pending_[WriteIndex_] = HoldersLocked();
    WriteIndex_ = (WriteIndex_ + 1) % SlotCount_;
    for (int r = 0; r < readers; ++r)
        ++Unread_[r];
    Commits_.fetch_add(1, std::memory_order_relaxed);
    Lock_.Unlock();
    for (int r = 0; r < readers; ++r)
        ReaderEvents_[r]->Signal();
    return 0;
}

bool ssSEBuffer::ConsumeLocked(int reader, void** slot)
{
    const int index = ReadIndex_[reader];
    *slot = Slots_[index];
    ReadIndex_[reader] = (index + 1) % SlotCount_;
    --Unread_[reader];
    if (Follower_[reader]) {
        Held_[reader] = *slot;
        return false;
    }
    return Pending_[index] > 0 && --Pending_[index] == 0;
}

int ssSEBuffer::Read(int reader, void** slot, int milliseconds)
{
    if (!ValidReader(reader))
        return -1;
    const int waited = ReaderEvents_[reader]->Wait(milliseconds);
    if (waited != 0)
        return waited;
    Lock_.Lock();
    if (Unread_[reader] == 0) {
        Lock_.Unlock();
        return -1;
    }
    const bool freed = ConsumeLocked(reader, slot);
    Lock_.Unlock();
    SignalFreed(freed ? 1 : 0);
    return 0;
}

int ssSEBuffer::ReadLatest(int reader, void** slot, int milliseconds)
{
    if (!ValidReader(reader))
        return -1;
    ssEvent* event = ReaderEvents_[reader];
    if (event->GetCount() == 0)
        return -1;
    int freed = 0;
    int result = 0;
    Lock_.Lock();
    if (Unread_[reader] == 0) {
        result = -1;
    } else if ((result = event->Wait(milliseconds)) == 0) {
        // The newest slot consumed is the one handed out: only the slot a reader took last is
        // protected from the writer, so an older one could be overwritten while in use.
        freed += ConsumeLocked(reader, slot);
        while (Unread_[reader] > 0 && (Follower_[reader] || Pending_[ReadIndex_[reader]] == 1) &&
               event->GetCount() > 0 && event->Wait(0) == 0)
            freed += ConsumeLocked(reader, slot);
    }
    Lock_.Unlock();
    SignalFreed(freed);
    return result;
}

int ssSEBuffer::Peek(int reader, void** slot)
{
    if (!ValidReader(reader))
        return -1;
    Lock_.Lock();
    const bool any = Unread_[reader] > 0;
    if (any)
        *slot = Slots_[ReadIndex_[reader]];
    Lock_.Unlock();
    return any ? 0 : -1;
}

int ssSEBuffer::Headroom(int reader)
{
    if (!ValidReader(reader))
        return 0;
    Lock_.Lock();
    const int headroom = SlotCount_ - Unread_[reader] - Reserve_;
    Lock_.Unlock();
    return headroom;
}

int ssSEBuffer::Unread(int reader)
{
    if (!ValidReader(reader))
        return 0;
    Lock_.Lock();
    const int unread = Unread_[reader];
    Lock_.Unlock();
    return unread;
}

void ssSEBuffer::Reset()
{
    Lock_.Lock();
    const int readers = ReaderCount_.load();
    for (int i = 0; i < SlotCount_; ++i)
        Pending_[i] = 0;
    WriterEvent_->Drain();
    for (int i = 0; i < SlotCount_ - Reserve_; ++i)
        WriterEvent_->Signal();
    WriteIndex_ = 0;
    for (int r = 0; r < readers; ++r) {
        Unread_[r] = 0;
        ReadIndex_[r] = 0;
        ReaderEvents_[r]->Drain();
    }
    Lock_.Unlock();
    if (ssEvent* wake = WriterWake_.load())
        wake->Signal();
}
