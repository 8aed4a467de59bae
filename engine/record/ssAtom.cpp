#include "engine/record/ssAtom.h"

#include "engine/base/ssMessage.h"

#include <algorithm>
#include <bit>
#include <cstring>

ssAtom::ssAtom(const char* type)
{
    buffer_.reserve(256);
    buffer_.resize(8, 0);
    std::memcpy(buffer_.data() + 4, type, 4);
}

ssAtom::~ssAtom()
{
    for (int i = 0; i < childCount_; ++i)
        delete children_[i];
}

void ssAtom::Put(const void* bytes, size_t length)
{
    if (position_ + length > buffer_.size())
        buffer_.resize(position_ + length);
    std::memcpy(buffer_.data() + position_, bytes, length);
    position_ += length;
    ownBytes_ = std::max(ownBytes_, position_);
}

void ssAtom::Write64(uint64_t value)
{
    const uint8_t b[8] = {uint8_t(value >> 56), uint8_t(value >> 48), uint8_t(value >> 40), uint8_t(value >> 32),
                          uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
    Put(b, 8);
}

void ssAtom::WriteDouble(double value)
{
    Write64(std::bit_cast<uint64_t>(value));
}

void ssAtom::WriteFloat(float value)
{
    Write32(std::bit_cast<uint32_t>(value));
}

void ssAtom::Write32(uint32_t value)
{
    const uint8_t b[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
    Put(b, 4);
}

void ssAtom::Write24(uint32_t value)
{
    const uint8_t b[3] = {uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
    Put(b, 3);
}

void ssAtom::Write16(uint16_t value)
{
    const uint8_t b[2] = {uint8_t(value >> 8), uint8_t(value)};
    Put(b, 2);
}

void ssAtom::Write8(uint8_t value)
{
    Put(&value, 1);
}

void ssAtom::WriteBytes(const void* bytes, size_t length)
{
    Put(bytes, length);
}

void ssAtom::WriteVersionFlags(uint8_t version, uint32_t flags)
{
    Write8(version);
    Write24(flags);
}

void ssAtom::Grow(size_t bytes)
{
    buffer_.reserve(buffer_.size() + bytes);
}

void ssAtom::SetPosition(size_t payloadOffset)
{
    position_ = 8 + payloadOffset;
    if (position_ > buffer_.size())
        buffer_.resize(position_);
    ownBytes_ = std::max(ownBytes_, position_);
}

ssAtom* ssAtom::AddChild(ssAtom* child)
{
    if (childCount_ >= kMaxChildren) {
        ssMessage(0, "Atom has no room for another child");
        delete child;
        return nullptr;
    }
    children_[childCount_++] = child;
    return child;
}

int64_t ssAtom::Measure()
{
    int64_t total = static_cast<int64_t>(ownBytes_);
    for (int i = 0; i < childCount_; ++i)
        total += children_[i]->Measure();
    totalSize_ = total;
    return total;
}

bool ssAtom::Layout(std::vector<uint8_t>& out)
{
    if (totalSize_ > int64_t(UINT32_MAX))
        return false;
    const size_t start = out.size();
    out.insert(out.end(), buffer_.begin(), buffer_.begin() + static_cast<ptrdiff_t>(ownBytes_));
    const auto size = static_cast<uint32_t>(totalSize_);
    out[start] = uint8_t(size >> 24);
    out[start + 1] = uint8_t(size >> 16);
    out[start + 2] = uint8_t(size >> 8);
    out[start + 3] = uint8_t(size);
    for (int i = 0; i < childCount_; ++i)
        if (!children_[i]->Layout(out))
            return false;
    return true;
}
