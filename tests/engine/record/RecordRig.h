#pragma once

// A record channel on the virtual card: the card's input feeds ssDeckLinkInput, whose ring feeds
// the encoder. The card's clock is stepped one frame period at a time, and each step waits until
// the encoder has taken the frame and the preview has looked at it.

#include "engine/capture/ssDeckLinkInput.h"
#include "engine/capture/ssSEBuffer.h"
#include "engine/record/ssRecordEncoder.h"
#include "tests/platform/decklink/VirtualCards.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <memory>

namespace testsupport {

inline const char* kRecordCards = R"({"cards": [
    {"name": "Recorder", "output": false, "startTimecode": "01:00:00:00",
     "modes": ["HD 1080i 29.97",
               {"name": "Small 25p", "width": 128, "height": 72, "frameDuration": 1, "timeScale": 25}]}
]})";
inline constexpr int kMode1080i2997 = 0;
inline constexpr int kModeSmall25p = 1;

class RecordRig {
public:
    RecordRig(int mode, int channels, int64_t frameDuration, int64_t timeScale)
        : duration_(frameDuration), scale_(timeScale)
    {
        card_ = cards_.card(0);
        EXPECT_TRUE(card_);
        EXPECT_EQ(input_.Open(card_.get(), mode, channels), 0);
        encoder_ = std::make_unique<ssRecordEncoder>("/nonexistent-bundle");
        encoder_->Input_ = &input_;
    }

    ~RecordRig()
    {
        input_.Stop();
        encoder_.reset();
    }

    VirtualCards& cards() { return cards_; }
    ssDeckLinkInput& input() { return input_; }
    ssRecordEncoder& encoder() { return *encoder_; }
    void destroyEncoder() { encoder_.reset(); }

    // Opens the encoder for the input's format and starts capture and encoding.
    int open(const std::string& path, double limit, int codec, int channels)
    {
        int width = 0, height = 0, interlaced = 0;
        double rate = 0;
        input_.GetInputFormat(&width, &height, &interlaced, &rate);
        encoder_->SetFilePath(path.c_str());
        const int result = encoder_->Open(width, height, interlaced, channels, limit, rate, codec);
        if (!ringSet_) {
            encoder_->SetInputBuffer(input_.FrameBuffer_);
            ringSet_ = true;
        }
        return result;
    }

    void start()
    {
        encoder_->Start();
        input_.ResetBuffer();
        EXPECT_EQ(input_.Start(), 0);
        EXPECT_TRUE(cards_.clock().settle(1));
        drain();
    }

    // One frame period: the card delivers (or, in a gap, does not), the encoder takes it.
    void step()
    {
        ++period_;
        cards_.clock().advanceTo(periodStartNs(period_, duration_, scale_));
        EXPECT_TRUE(cards_.clock().settle(1)) << "period " << period_;
        drain();
    }

    int64_t period() const { return period_; }
    // A paused preview (a column not drawn) takes no frames until resumed.
    void pausePreview(bool paused) { previewPaused_ = paused; }

private:
    void drain()
    {
        ssSEBuffer* ring = input_.FrameBuffer_;
        const int free = ring->GetSlotCount() - 1;
        EXPECT_TRUE(waitUntil([&] { return ring->Headroom(0) == free; })) << "period " << period_;
        if (!previewPaused_)
            encoder_->PollPreview();
    }

    VirtualCards cards_{kRecordCards};
    platform::decklink::Ref<platform::decklink::IDeckLink> card_;
    ssDeckLinkInput input_;
    std::unique_ptr<ssRecordEncoder> encoder_;
    int64_t duration_, scale_;
    int64_t period_ = 0;
    bool ringSet_ = false;
    bool previewPaused_ = false;
};

} // namespace testsupport
