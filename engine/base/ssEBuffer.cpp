#include "engine/base/ssEBuffer.h"

#include "engine/base/ssMessage.h"

#include <cstdio>

namespace {

ssEvent* newNamedEvent(const char* prefix, const void* ring)
{
    char name[64];
    snprintf(name, sizeof name, "%s%p", prefix, ring);
    return new ssEvent(name);
}

void Wake(const std::atomic<ssEvent*>& event)
{
    if (ssEvent* e = event.load())
        e->Signal();
}

} // namespace

ssEBuffer::ssEBuffer(int capacity)
    : capacity_(capacity > 0 ? capacity : 0)
    , slots_(new void*[static_cast<size_t>(capacity_ > 0 ? capacity_ : 1)]())
    , outEvent_(newNamedEvent("OutEvent", this))
    , inEvent_(newNamedEvent("InEvent", this))
{
}

ssEBuffer::~ssEBuffer()
{
    delete[] slots_;
    delete outEvent_;
    delete inEvent_;
}

void ssEBuffer::SetSlot(void* buffer, int index)
{
    if (index < 0 || index >= capacity_) {
        ssMessage(2, "EBuffer slot %d out of range (capacity %d)", index, capacity_);
        return;
    }
    lock_.Lock();
    slots_[index] = buffer;
    const bool freed = index < capacity_ - reserve_;
    if (freed)
        inEvent_->Signal();
    lock_.Unlock();
    if (freed)
        Wake(producerWake_);
}

void ssEBuffer::SetWakeEvents(ssEvent* producer, ssEvent* consumer)
{
    producerWake_.store(producer);
    consumerWake_.store(consumer);
}

int ssEBuffer::GetWriteSlot(void** slot, int milliseconds)
{
    int result = inEvent_->Wait(milliseconds);
    if (result != 0)
        return result;

    lock_.Lock();
    if (capacity_ - count_ < reserve_ || count_ >= capacity_) {
        // The free-slot signal did not match a free slot; give it back so none is lost.
        inEvent_->Signal();
        lock_.Unlock();
        return -1;
    }
    *slot = slots_[writeIndex_];
    lock_.Unlock();
    return 0;
}

int ssEBuffer::CommitWrite(int cancel)
{
    if (cancel != 0) {
        inEvent_->Signal();
        return 0;
    }
    if (capacity_ == 0)
        return -1;
    lock_.Lock();
    writeIndex_ = (writeIndex_ + 1) % capacity_;
    ++count_;
    outEvent_->Signal();
    lock_.Unlock();
    Wake(consumerWake_);
    return 0;
}

int ssEBuffer::Read(void** slot, int milliseconds)
{
    int result = outEvent_->Wait(milliseconds);
    if (result != 0)
        return result;

    lock_.Lock();
    if (count_ == 0) {
        lock_.Unlock();
        return -1;
    }
    *slot = slots_[readIndex_];
    readIndex_ = (readIndex_ + 1) % capacity_;
    --count_;
    inEvent_->Signal();
    lock_.Unlock();
    Wake(producerWake_);
    return 0;
}

int ssEBuffer::Peek(void** slot)
{
    lock_.Lock();
    int result = -1;
    if (count_ != 0) {
        *slot = slots_[readIndex_];
        result = 0;
    }
    lock_.Unlock();
    return result;
}

int ssEBuffer::PeekWait(void** slot, int milliseconds)
{
    int result = outEvent_->Wait(milliseconds);
    if (result != 0)
        return result;

    lock_.Lock();
    result = -1;
    if (count_ != 0) {
        *slot = slots_[readIndex_];
        // Put the consumed signal back: the slot is still unread, and only this consumer waits
        // on the out event, so the next Read finds it at once.
        outEvent_->Signal();
        result = 0;
    }
    lock_.Unlock();
    return result;
}

bool ssEBuffer::HasRoom()
{
    lock_.Lock();
    bool room = capacity_ - count_ > reserve_;
    lock_.Unlock();
    return room;
}

int ssEBuffer::Flush()
{
    lock_.Lock();
    count_ = 0;
    inEvent_->Drain();
    for (int32_t i = 0; i < capacity_ - reserve_; ++i)
        inEvent_->Signal();
    writeIndex_ = 0;
    readIndex_ = 0;
    outEvent_->Drain();
    lock_.Unlock();
    Wake(producerWake_);
    return 0;
}

int ssEBuffer::GetCount()
{
    lock_.Lock();
    int count = count_;
    lock_.Unlock();
    return count;
}
