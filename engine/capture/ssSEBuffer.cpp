#include "engine/capture/ssSEBuffer.h"

#include <algorithm>
#include <cstdio>

ssSEBuffer::ssSEBuffer(int slotCount, int reserve)
    : m_SlotCount(std::max(slotCount, 1)), m_Reserve(std::clamp(reserve, 0, std::max(slotCount, 1)))
{
    m_Slots = new void*[size_t(m_SlotCount)]();
    m_Pending = new int32_t[size_t(m_SlotCount)]();
    char name[64];
    for (int i = 0; i < kMaxReaders; ++i) {
        std::snprintf(name, sizeof name, "OutEvent%d%p", i, static_cast<void*>(this));
        m_ReaderEvents[i] = new ssEvent(name);
    }
    std::snprintf(name, sizeof name, "InEvent%p", static_cast<void*>(this));
    m_WriterEvent = new ssEvent(name);
}

ssSEBuffer::~ssSEBuffer()
{
    for (ssEvent* event : m_ReaderEvents)
        delete event;
    delete m_WriterEvent;
    delete[] m_Pending;
    delete[] m_Slots;
}

void ssSEBuffer::RegisterSlot(void* slot, int index)
{
    if (index < 0 || index >= m_SlotCount)
        return;
    m_Lock.Lock();
    m_Slots[index] = slot;
    m_Lock.Unlock();
    if (index < m_SlotCount - m_Reserve)
        m_WriterEvent->Signal();
}

void* ssSEBuffer::GetSlot(int index)
{
    if (index < 0 || index >= m_SlotCount)
        return nullptr;
    m_Lock.Lock();
    void* slot = m_Slots[index];
    m_Lock.Unlock();
    return slot;
}

int ssSEBuffer::AddReader()
{
    m_Lock.Lock();
    const int reader = m_ReaderCount.load();
    if (reader >= kMaxReaders) {
        m_Lock.Unlock();
        return -1;
    }
    // A late reader starts where the writer is: it must not take older slots for new ones.
    m_Unread[reader] = 0;
    m_ReadIndex[reader] = m_WriteIndex;
    m_ReaderEvents[reader]->Drain();
    m_ReaderCount.store(reader + 1);
    m_Lock.Unlock();
    return reader;
}

int ssSEBuffer::AcquireWrite(void** slot, int milliseconds)
{
    const int waited = m_WriterEvent->Wait(milliseconds);
    if (waited != 0)
        return waited;
    m_Lock.Lock();
    const int readers = m_ReaderCount.load();
    for (int r = 0; r < readers; ++r) {
        if (m_SlotCount - m_Unread[r] < m_Reserve) {
            m_Lock.Unlock();
            // The free-slot signal is not used up by a refusal.
            m_WriterEvent->Signal();
            return -1;
        }
    }
    *slot = m_Slots[m_WriteIndex];
    m_Lock.Unlock();
    return 0;
}

int ssSEBuffer::Commit(int discard)
{
    if (discard) {
        m_WriterEvent->Signal();
        return 0;
    }
    m_Lock.Lock();
    const int readers = m_ReaderCount.load();
    m_Pending[m_WriteIndex] = readers;
    m_WriteIndex = (m_WriteIndex + 1) % m_SlotCount;
    for (int r = 0; r < readers; ++r)
        ++m_Unread[r];
    m_Lock.Unlock();
    for (int r = 0; r < readers; ++r)
        m_ReaderEvents[r]->Signal();
    return 0;
}

bool ssSEBuffer::ConsumeLocked(int reader, void** slot)
{
    const int index = m_ReadIndex[reader];
    *slot = m_Slots[index];
    m_ReadIndex[reader] = (index + 1) % m_SlotCount;
    --m_Unread[reader];
    return m_Pending[index] > 0 && --m_Pending[index] == 0;
}

int ssSEBuffer::Read(int reader, void** slot, int milliseconds)
{
    if (!ValidReader(reader))
        return -1;
    const int waited = m_ReaderEvents[reader]->Wait(milliseconds);
    if (waited != 0)
        return waited;
    m_Lock.Lock();
    if (m_Unread[reader] == 0) {
        m_Lock.Unlock();
        return -1;
    }
    const bool freed = ConsumeLocked(reader, slot);
    m_Lock.Unlock();
    if (freed)
        m_WriterEvent->Signal();
    return 0;
}

int ssSEBuffer::ReadLatest(int reader, void** slot, int milliseconds)
{
    if (!ValidReader(reader))
        return -1;
    ssEvent* event = m_ReaderEvents[reader];
    if (event->GetCount() == 0)
        return -1;
    int freed = 0;
    int result = 0;
    m_Lock.Lock();
    if (m_Unread[reader] == 0) {
        result = -1;
    } else if ((result = event->Wait(milliseconds)) == 0) {
        // The newest slot consumed is the one handed out: only the slot a reader took last is
        // protected from the writer, so an older one could be overwritten while in use.
        freed += ConsumeLocked(reader, slot);
        while (m_Unread[reader] > 0 && m_Pending[m_ReadIndex[reader]] == 1 && event->GetCount() > 0 &&
               event->Wait(0) == 0)
            freed += ConsumeLocked(reader, slot);
    }
    m_Lock.Unlock();
    for (; freed > 0; --freed)
        m_WriterEvent->Signal();
    return result;
}

int ssSEBuffer::Peek(int reader, void** slot)
{
    if (!ValidReader(reader))
        return -1;
    m_Lock.Lock();
    const bool any = m_Unread[reader] > 0;
    if (any)
        *slot = m_Slots[m_ReadIndex[reader]];
    m_Lock.Unlock();
    return any ? 0 : -1;
}

int ssSEBuffer::Headroom(int reader)
{
    if (!ValidReader(reader))
        return 0;
    m_Lock.Lock();
    const int headroom = m_SlotCount - m_Unread[reader] - m_Reserve;
    m_Lock.Unlock();
    return headroom;
}

void ssSEBuffer::Reset()
{
    m_Lock.Lock();
    const int readers = m_ReaderCount.load();
    for (int i = 0; i < m_SlotCount; ++i)
        m_Pending[i] = 0;
    m_WriterEvent->Drain();
    for (int i = 0; i < m_SlotCount - m_Reserve; ++i)
        m_WriterEvent->Signal();
    m_WriteIndex = 0;
    for (int r = 0; r < readers; ++r) {
        m_Unread[r] = 0;
        m_ReadIndex[r] = 0;
        m_ReaderEvents[r]->Drain();
    }
    m_Lock.Unlock();
}
