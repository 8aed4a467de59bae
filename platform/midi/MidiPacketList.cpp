#include "platform/midi/MidiPacketList.h"

#include <cstring>

namespace platform::midi {

MidiPacketList::MidiPacketList(std::size_t capacity) : buffer_(capacity < kHeader ? kHeader : capacity, 0)
{
    init();
}

void MidiPacketList::init()
{
    count_ = 0;
    used_ = kHeader;
    std::memset(buffer_.data(), 0, kHeader);
}

bool MidiPacketList::add(std::uint64_t timeStamp, const std::uint8_t* bytes, std::size_t length)
{
    if (length > 0xFFFF || used_ + kPacketHeader + length > buffer_.size())
        return false;
    std::uint8_t* at = buffer_.data() + used_;
    const auto length16 = std::uint16_t(length);
    std::memcpy(at, &timeStamp, 8);
    std::memcpy(at + 8, &length16, 2);
    if (length)
        std::memcpy(at + kPacketHeader, bytes, length);
    used_ += kPacketHeader + length;
    ++count_;
    std::memcpy(buffer_.data(), &count_, 4);
    return true;
}

MidiPacket MidiPacketList::readPacket(std::size_t at) const
{
    MidiPacket packet;
    std::memcpy(&packet.timeStamp, buffer_.data() + at, 8);
    std::memcpy(&packet.length, buffer_.data() + at + 8, 2);
    packet.bytes = buffer_.data() + at + kPacketHeader;
    return packet;
}

} // namespace platform::midi
