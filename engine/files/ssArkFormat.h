#pragma once

#include <cstddef>
#include <cstdint>

// Layout of ".ark" resource archives (little-endian), shared by the reader (ssARKMan) and the
// packer (tools/arkpack):
//
//   header   int32 0 | int32 version 258 | uint32 entry count N
//   entries  N x { char name[32] NUL-terminated | uint32 data offset | uint32 data size }
//   data     the entries' bytes, after the table
inline constexpr uint32_t ssArkMagic = 0;
inline constexpr uint32_t ssArkVersion = 258;
inline constexpr size_t ssArkHeaderSize = 12;
inline constexpr size_t ssArkEntrySize = 40;
inline constexpr size_t ssArkNameSize = 32;
inline constexpr size_t ssArkMaxNameLength = ssArkNameSize - 1;

struct ssArkEntry {
    char name[ssArkNameSize];
    uint32_t offset;
    uint32_t size;
};

void ssArkEncodeHeader(uint32_t count, uint8_t* out);

// Gives the entry count when the header words are 0 and 258.
bool ssArkDecodeHeader(const uint8_t* in, uint32_t* count);

// Size of the header and a table of count entries.
uint64_t ssArkTableEnd(uint32_t count);

void ssArkEncodeEntry(const ssArkEntry& entry, uint8_t* out);

// Gives the entry when its name is terminated within its field and its data lies inside a file
// of fileSize bytes.
bool ssArkDecodeEntry(const uint8_t* in, uint64_t fileSize, ssArkEntry* entry);
