#pragma once
// Reads exactly `size` bytes from an engine stream, across short reads; false when the stream
// ends or fails first.
#include "engine/files/ssFile.h"

#include <cstdint>

inline bool ssReadExactly(ssFile* stream, void* target, int64_t size)
{
    auto* bytes = static_cast<uint8_t*>(target);
    int64_t done = 0;
    while (done < size) {
        const int64_t got = stream->Read(bytes + done, size - done);
        if (got <= 0)
            return false;
        done += got;
    }
    return true;
}
