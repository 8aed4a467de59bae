#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class ssFile;

// One QuickTime atom under construction: a 32-bit size, a four-character type, the payload that
// the writers append (big-endian), and up to 32 children that follow the payload. Measure sizes
// the tree; Layout lays it out depth first into one buffer with every atom's size filled in.
class ssAtom {
public:
    static constexpr int kMaxChildren = 32;

    explicit ssAtom(const char* type);
    virtual ~ssAtom();
    ssAtom(const ssAtom&) = delete;
    ssAtom& operator=(const ssAtom&) = delete;

    void Write64(uint64_t value);
    void WriteDouble(double value);
    void WriteFloat(float value);
    void Write32(uint32_t value);
    void Write24(uint32_t value);
    void Write16(uint16_t value);
    void Write8(uint8_t value);
    void WriteBytes(const void* bytes, size_t length);
    // A version byte and 24 bits of flags, as full atoms begin.
    void WriteVersionFlags(uint8_t version, uint32_t flags);
    // Makes room for at least `bytes` more bytes without moving the write position.
    void Grow(size_t bytes);
    // Moves the write position to an offset of the payload (0 is the first payload byte).
    void SetPosition(size_t payloadOffset);

    // Takes ownership of the child and returns it; false children beyond 32 are deleted and null
    // is returned.
    ssAtom* AddChild(ssAtom* child);

    // Own bytes plus all children, stored as the total size and returned.
    int64_t Measure();
    // Lays the measured tree out into `out` (appended); false when a size does not fit 32 bits.
    bool Layout(std::vector<uint8_t>& out);

    int64_t GetTotalSize() const { return totalSize_; }
    int64_t GetOwnSize() const { return static_cast<int64_t>(ownBytes_); }
    int GetChildCount() const { return childCount_; }
    ssAtom* GetChild(int index) const { return index >= 0 && index < childCount_ ? children_[index] : nullptr; }

private:
    void Put(const void* bytes, size_t length);

    int32_t childCount_ = 0;
    int64_t totalSize_ = 8;
    size_t ownBytes_ = 8;
    ssAtom* children_[kMaxChildren] = {};
    std::vector<uint8_t> buffer_;
    size_t position_ = 8;
};
