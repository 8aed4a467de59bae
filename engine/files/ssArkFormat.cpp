#include "engine/files/ssArkFormat.h"

#include <cstring>

namespace {

void putLittleEndian(uint32_t value, uint8_t* out)
{
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
    out[2] = static_cast<uint8_t>(value >> 16);
    out[3] = static_cast<uint8_t>(value >> 24);
}

uint32_t getLittleEndian(const uint8_t* in)
{
    return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8
        | static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
}

} // namespace

void ssArkEncodeHeader(uint32_t count, uint8_t* out)
{
    putLittleEndian(ssArkMagic, out);
    putLittleEndian(ssArkVersion, out + 4);
    putLittleEndian(count, out + 8);
}

bool ssArkDecodeHeader(const uint8_t* in, uint32_t* count)
{
    if (getLittleEndian(in) != ssArkMagic || getLittleEndian(in + 4) != ssArkVersion)
        return false;
    *count = getLittleEndian(in + 8);
    return true;
}

uint64_t ssArkTableEnd(uint32_t count)
{
    return ssArkHeaderSize + uint64_t{count} * ssArkEntrySize;
}

void ssArkEncodeEntry(const ssArkEntry& entry, uint8_t* out)
{
    memset(out, 0, ssArkNameSize);
    memcpy(out, entry.name, strnlen(entry.name, ssArkMaxNameLength));
    putLittleEndian(entry.offset, out + ssArkNameSize);
    putLittleEndian(entry.size, out + ssArkNameSize + 4);
}

bool ssArkDecodeEntry(const uint8_t* in, uint64_t fileSize, ssArkEntry* entry)
{
    if (!memchr(in, 0, ssArkNameSize))
        return false;
    const uint32_t offset = getLittleEndian(in + ssArkNameSize);
    const uint32_t size = getLittleEndian(in + ssArkNameSize + 4);
    if (uint64_t{offset} + size > fileSize)
        return false;
    memcpy(entry->name, in, ssArkNameSize);
    entry->offset = offset;
    entry->size = size;
    return true;
}
