#pragma once

#include "engine/files/ssFile.h"

#include <memory>

// A stream over one entry of a resource archive. It shares the archive's descriptor and reads
// with pread, so entry streams never disturb each other's place; it keeps the archive open for as
// long as it lives. Reads never go past the entry.
class ssAFile : public ssFile {
public:
    ssAFile(std::shared_ptr<ssFile> archive, int64_t entryStart, int64_t entrySize);
    ~ssAFile() override;

    int64_t Read(void* buffer, int64_t size) override;

    // whence 0 from the entry start, 1 from the position, 2 from the entry end; returns the new
    // position inside the entry, or -1 (position unchanged) for a place before the entry start.
    int64_t Seek(int64_t offset, int whence) override;

    // The archive stays open: nothing to do.
    void Close() override;

    int64_t GetSize() override;
    int64_t Tell() override;

private:
    int64_t entryPosition_ = 0;
    int64_t entryStart_;
    int64_t entrySize_;
    std::shared_ptr<ssFile> archive_;
};
