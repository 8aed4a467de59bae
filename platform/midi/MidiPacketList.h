#pragma once
// A list of time-stamped MIDI packets held in one fixed buffer: what a client sends in one call
// and what a read callback receives. Each packet is a 64-bit time stamp (0 = now), a 16-bit
// length and that many bytes; the next packet follows the last byte. The buffer is allocated
// once; init() empties the list without freeing it.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform::midi {

struct MidiPacket {
    std::uint64_t timeStamp = 0;
    const std::uint8_t* bytes = nullptr;
    std::uint16_t length = 0;
};

class MidiPacketList {
public:
    static constexpr std::size_t kDefaultCapacity = 1024;

    explicit MidiPacketList(std::size_t capacity = kDefaultCapacity);

    // The capacity that holds `packets` packets carrying `dataBytes` bytes between them.
    static constexpr std::size_t capacityFor(std::size_t packets, std::size_t dataBytes)
    {
        return kHeader + packets * kPacketHeader + dataBytes;
    }

    void init();
    // Appends one packet; false (list unchanged) when it does not fit or is longer than 65535.
    bool add(std::uint64_t timeStamp, const std::uint8_t* bytes, std::size_t length);
    std::uint32_t packetCount() const { return count_; }
    std::size_t capacity() const { return buffer_.size(); }
    std::size_t usedBytes() const { return used_; }

    template <class F>
    void forEachPacket(F&& fn) const
    {
        std::size_t at = kHeader;
        for (std::uint32_t i = 0; i < count_; ++i) {
            MidiPacket packet = readPacket(at);
            fn(packet);
            at += kPacketHeader + packet.length;
        }
    }

private:
    static constexpr std::size_t kHeader = 4;
    static constexpr std::size_t kPacketHeader = 10;
    MidiPacket readPacket(std::size_t at) const;

    std::vector<std::uint8_t> buffer_;
    std::uint32_t count_ = 0;
    std::size_t used_ = kHeader;
};

} // namespace platform::midi
