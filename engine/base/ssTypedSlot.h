#pragma once

// Runs a ring call that gives a void* slot and hands the slot on as T*, only on success (result
// 0), so ring owners need no casts. Shared by the engine's pointer rings.
template <typename T, typename Call> int ssTypedSlot(T** slot, Call call)
{
    void* p = nullptr;
    const int result = call(&p);
    if (result == 0)
        *slot = static_cast<T*>(p);
    return result;
}
