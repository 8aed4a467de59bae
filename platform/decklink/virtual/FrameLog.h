#pragma once

// A record of every output frame period, for a reader in another process (a test driving the
// whole application from outside). Enabled by naming a path prefix in KLV_DECKLINK_VIRTUAL_FRAME_LOG:
// card N appends fixed-size FrameLogRecord entries to "<prefix>.<N>".

#include "platform/decklink/virtual/VirtualCardControl.h"

#include <cstdint>
#include <string>

namespace platform::decklink {

inline constexpr const char* kFrameLogEnvironmentVariable = "KLV_DECKLINK_VIRTUAL_FRAME_LOG";

// Little-endian, 32 bytes. tick is the period on the reference all cards share (the same tick on
// two cards in one mode is the same period); barcode is the frame index drawn in an 8-bit YUV
// picture, or -1.
struct FrameLogRecord {
    int64_t tick = 0;
    int64_t barcode = -1;
    uint32_t repeated = 0;
    uint32_t result = 0; // CompletionResult
    uint32_t width = 0;
    uint32_t height = 0;
};
static_assert(sizeof(FrameLogRecord) == 32);

// Writes with one write() per period from the card's output thread: no allocation.
class FrameLog final : public OutputTap {
public:
    explicit FrameLog(const std::string& path);
    ~FrameLog() override;
    FrameLog(const FrameLog&) = delete;
    FrameLog& operator=(const FrameLog&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    void frameShown(const ShownFrame& shown) override;
    bool wantsAudio() const override { return false; }

private:
    int fd_ = -1;
};

} // namespace platform::decklink
