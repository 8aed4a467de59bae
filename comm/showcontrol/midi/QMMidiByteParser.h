#pragma once
// Assembles MIDI messages from a byte stream, one parser per receiving node so that messages
// split across deliveries come out whole. Running status is kept for channel messages;
// real-time bytes (0xF8-0xFF) may appear anywhere, even inside a message, and leave it intact
// (they are timing, not content, and are not delivered). A Note On with velocity 0 comes out as
// a Note Off. System exclusive is collected from 0xF0 to 0xF7 across deliveries; a transfer
// left open for more than 128 deliveries, interrupted by another status byte, or growing past
// 64 KiB is dropped.
#include "comm/showcontrol/midi/QMMidiMessage.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class QMMidiByteParser {
public:
    static constexpr int kSysexDeliveryLimit = 128;
    static constexpr std::size_t kSysexByteLimit = 64 * 1024;

    // Once per delivery, before its bytes.
    void beginDelivery();
    // Appends a message to out when the byte completes one.
    void parse(std::uint8_t byte, std::vector<QMMidiMessage>& out);
    void reset();

    bool isCollectingSysex() const { return processingSysex_; }

private:
    void abandonSysex();
    void complete(std::vector<QMMidiMessage>& out);

    std::uint8_t status_ = 0; // the status being assembled or running; 0 when none
    int expected_ = 0;
    int have_ = 0;
    std::uint8_t data_[2] = {0, 0};
    bool processingSysex_ = false;
    int processingSysexIterationCount_ = 0;
    std::vector<int> processingSysexArray_;
};
