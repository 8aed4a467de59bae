#include "engine/capture/ssDeckLinkInput.h"
#include "platform/decklink/virtual/VirtualTone.h"
#include "platform/testpattern/FrameBarcode.h"
#include "tests/engine/capture/CaptureSources.h"
#include "tests/support/EngineLog.h"
#include "tests/platform/decklink/VirtualCards.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace platform::decklink;

namespace {

// 1080i at 29.97 frames per second.
constexpr TimeValue kDuration = 1001;
constexpr TimeScale kScale = 30000;
constexpr int kInterlacedMode = 1;

const char* kCards = R"({"cards": [
    {"name": "Capture", "output": false, "startTimecode": "01:00:00:00",
     "modes": ["HD 1080p 25", "HD 1080i 29.97"]},
    {"name": "Playout only", "input": false, "modes": ["HD 1080i 29.97"]}
]})";

int64_t audioFramesBefore(int64_t k)
{
    return k * kDuration * 48000 / kScale;
}

// What the test keeps of one published slot.
struct Captured {
    int64_t index = -1; // the frame index the picture carries
    int width = 0, height = 0;
    double videoTime = 0, audioTime = 0, timecode = 0;
    int hasAudio = 0;
    std::vector<int16_t> audio;
};

// Steps the card's clock period by period up to `seconds`, reading every published slot.
std::vector<Captured> capture(testsupport::VirtualCards& cards, ssDeckLinkInput& input, double seconds)
{
    std::vector<Captured> out;
    auto drain = [&] {
        ssCaptureFrame* slot = nullptr;
        while (input.FrameBuffer_->Read(0, &slot, 0) == 0) {
            Captured c;
            auto index = platform::FrameBarcode::read(slot->Pixels_, slot->Width_, slot->Height_,
                                                      slot->RowBytes_, platform::BarcodePixels::Uyvy422);
            c.index = index ? int64_t(*index) : -1;
            c.width = slot->Width_;
            c.height = slot->Height_;
            c.videoTime = slot->VideoTime_;
            c.audioTime = slot->AudioTime_;
            c.timecode = slot->Timecode_;
            c.hasAudio = slot->HasAudio_;
            c.audio.assign(slot->Audio_, slot->Audio_ + slot->AudioBytes_ / 2);
            out.push_back(std::move(c));
        }
    };
    EXPECT_TRUE(cards.clock().settle(1));
    drain();
    const int64_t end = int64_t(seconds * 1e9);
    for (int64_t k = 1; testsupport::periodStartNs(k, kDuration, kScale) <= end; ++k) {
        cards.clock().advanceTo(testsupport::periodStartNs(k, kDuration, kScale));
        EXPECT_TRUE(cards.clock().settle(1)) << "period " << k;
        drain();
    }
    cards.clock().advanceTo(end);
    return out;
}

void expectTone(const Captured& c, int64_t k, int channels)
{
    const int64_t first = audioFramesBefore(k);
    const int64_t frames = audioFramesBefore(k + 1) - first;
    ASSERT_EQ(int64_t(c.audio.size()), frames * channels) << "frame " << k;
    EXPECT_NEAR(c.audioTime, double(first) / 48000, 1e-5);
    for (int64_t i = 0; i < frames; ++i)
        for (int ch = 0; ch < channels; ++ch)
            ASSERT_EQ(c.audio[size_t(i * channels + ch)], virtualToneSample(ch, first + i))
                << "frame " << k << " sample " << i << " channel " << ch;
}

} // namespace

TEST(ssDeckLinkInput, TwoSecondsAt1080i2997GiveSixtyConsecutiveFramesWithTimecodeAndTwoChannels)
{
    testsupport::VirtualCards cards(kCards);
    auto card = cards.card(0);
    ASSERT_TRUE(card);
    ssDeckLinkInput input;
    ASSERT_EQ(input.Open(card.get(), kInterlacedMode, 2), 0);
    int width = 0, height = 0, interlaced = 0;
    double rate = 0;
    input.GetInputFormat(&width, &height, &interlaced, &rate);
    EXPECT_EQ(width, 1920);
    EXPECT_EQ(height, 1080);
    EXPECT_EQ(interlaced, 1);
    EXPECT_DOUBLE_EQ(rate, 30000.0 / 1001.0);

    input.ResetBuffer();
    ASSERT_EQ(input.Start(), 0);
    const auto frames = capture(cards, input, 2.0);
    ASSERT_EQ(input.Stop(), 0);

    ASSERT_EQ(frames.size(), 60u);
    for (int64_t k = 0; k < 60; ++k) {
        const Captured& c = frames[size_t(k)];
        EXPECT_EQ(c.index, k);
        EXPECT_EQ(c.width, 1920);
        EXPECT_EQ(c.height, 1080);
        EXPECT_NEAR(c.videoTime, double(k) * kDuration / kScale, 1e-5);
        // "seri" 01:00:SS:FF counted at 30 frames per second, FF converted at the true rate.
        EXPECT_NEAR(c.timecode, 3600.0 + double(k / 30) + double(k % 30) / rate, 1e-9) << k;
        EXPECT_EQ(c.hasAudio, 1);
        expectTone(c, k, 2);
    }
    EXPECT_EQ(input.NoSignalCount_.load(), 0);
}

TEST(ssDeckLinkInput, SixteenChannelsAreKeptWhole)
{
    testsupport::VirtualCards cards(kCards);
    auto card = cards.card(0);
    ssDeckLinkInput input;
    ASSERT_EQ(input.Open(card.get(), kInterlacedMode, 16), 0);
    ASSERT_EQ(input.Start(), 0);
    const auto frames = capture(cards, input, 0.2);
    input.Stop();
    ASSERT_EQ(frames.size(), 6u);
    for (int64_t k = 0; k < 6; ++k)
        expectTone(frames[size_t(k)], k, 16);
}

TEST(ssDeckLinkInput, NoSignalFramesAreCountedNotPublishedAndMissingAudioIsMarked)
{
    testsupport::VirtualCards cards(kCards);
    cards.control().InjectInputFault(0, InputFault::NoSignal, 10, 5);
    cards.control().InjectInputFault(0, InputFault::MissingAudio, 20, 2);
    cards.control().InjectInputFault(0, InputFault::Gap, 30, 3);
    auto card = cards.card(0);
    ssDeckLinkInput input;
    ASSERT_EQ(input.Open(card.get(), kInterlacedMode, 2), 0);
    ASSERT_EQ(input.Start(), 0);
    testsupport::captureEngineLog();
    const auto frames = capture(cards, input, 2.0);
    const std::string log = testsupport::capturedEngineLog();
    input.Stop();

    std::vector<int64_t> indices;
    for (const auto& c : frames) {
        indices.push_back(c.index);
        const bool silent = c.index == 20 || c.index == 21;
        EXPECT_EQ(c.hasAudio, silent ? 0 : 1) << c.index;
        EXPECT_EQ(c.audio.empty(), silent) << c.index;
    }
    std::vector<int64_t> expected;
    for (int64_t k = 0; k < 60; ++k)
        if ((k < 10 || k >= 15) && (k < 30 || k >= 33))
            expected.push_back(k);
    EXPECT_EQ(indices, expected);
    EXPECT_EQ(input.NoSignalCount_.load(), 5);
    EXPECT_NE(log.find("missing frame of audio"), std::string::npos);
    EXPECT_EQ(cards.control().GetInputStats(0).framesSkipped, 3);

    input.ResetBuffer();
    EXPECT_EQ(input.NoSignalCount_.load(), 0);
}

TEST(ssDeckLinkInput, OpenFailsWithoutInputModeOrVideo)
{
    testsupport::VirtualCards cards(kCards);
    testsupport::captureEngineLog();
    {
        ssDeckLinkInput input;
        EXPECT_EQ(input.Open(cards.card(1).get(), 0, 2), -1); // the card has no input
    }
    EXPECT_NE(testsupport::capturedEngineLog().find("Error in m_DeckLinkInput->SetCallback(captureDelegate)"),
              std::string::npos);
    {
        ssDeckLinkInput input;
        EXPECT_EQ(input.Open(cards.card(0).get(), 2, 2), -1); // only two modes
    }
    {
        cards.control().FailEnable(0, EnableCall::VideoInput, kAccessDenied, 1);
        ssDeckLinkInput input;
        testsupport::captureEngineLog();
        EXPECT_EQ(input.Open(cards.card(0).get(), 0, 2), -1);
        testsupport::capturedEngineLog();
    }
    {
        // Audio that cannot be enabled costs only the audio.
        cards.control().FailEnable(0, EnableCall::AudioInput, kFail, 1);
        ssDeckLinkInput input;
        testsupport::captureEngineLog();
        EXPECT_EQ(input.Open(cards.card(0).get(), 0, 2), 0);
        testsupport::capturedEngineLog();
        EXPECT_EQ(input.Open(cards.card(0).get(), 0, 2), -1); // already open
    }
}


TEST(ssDeckLinkInput, LongerAudioPacketsGrowTheSlotBufferAndLargerFramesAreCut)
{
    testsupport::VirtualCards cards(kCards);
    ssDeckLinkInput input;
    ASSERT_EQ(input.Open(cards.card(0).get(), 0, 2), 0); // 1080p25, not started: frames come from the test
    testsupport::Frame frame(1920, 1080, 7);
    testsupport::Packet small(10), large(2000);

    // Every slot gets its audio buffer from a short packet first, then sees a much longer one.
    for (testsupport::Packet* packet : {&small, &large}) {
        for (int i = 0; i < input.FrameBuffer_->GetSlotCount(); ++i) {
            input.VideoInputFrameArrived(&frame, packet);
            ssCaptureFrame* slot = nullptr;
            ASSERT_EQ(input.FrameBuffer_->Read(0, &slot, 0), 0);
            ASSERT_EQ(slot->AudioBytes_, packet->frames * 2 * 2);
            for (long s = 0; s < packet->frames; ++s) {
                ASSERT_EQ(slot->Audio_[s * 2], int16_t(s * 16));
                ASSERT_EQ(slot->Audio_[s * 2 + 1], int16_t(s * 16 + 1));
            }
        }
    }

    // A picture larger than the opened mode is cut to it; the slot stays 64-byte aligned.
    testsupport::Frame huge(3840, 2160, 9);
    input.VideoInputFrameArrived(&huge, &small);
    ssCaptureFrame* slot = nullptr;
    ASSERT_EQ(input.FrameBuffer_->Read(0, &slot, 0), 0);
    EXPECT_EQ(slot->Width_, 1920);
    EXPECT_EQ(slot->Height_, 1080);
    EXPECT_EQ(slot->RowBytes_, 3840);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(slot->Pixels_) % 64, 0u);

    // A packet claiming an absurd length is not trusted beyond one second.
    testsupport::Packet liar(48000, 1 << 30);
    input.VideoInputFrameArrived(&frame, &liar);
    ASSERT_EQ(input.FrameBuffer_->Read(0, &slot, 0), 0);
    EXPECT_EQ(slot->AudioBytes_, 48000 * 2 * 2);

    // Missing video with audio is a no-signal frame; nothing is published.
    testsupport::captureEngineLog();
    input.VideoInputFrameArrived(nullptr, &small);
    input.VideoInputFrameArrived(nullptr, nullptr);
    const std::string log = testsupport::capturedEngineLog();
    EXPECT_EQ(input.NoSignalCount_.load(), 1);
    EXPECT_NE(log.find("No video"), std::string::npos);
    EXPECT_NE(log.find("No audio"), std::string::npos);
    EXPECT_NE(input.FrameBuffer_->Read(0, &slot, 0), 0);
}

TEST(ssDeckLinkInput, TheRingHoldsASecondOfFramesInOrderForAStalledEncoderAndDropsOnlyBeyondIt)
{
    // 1080p25: 25 slots, of which the writer may fill all but the one reader 0 took last.
    EXPECT_EQ(ssDeckLinkInput::SlotCountFor(1920, 1080, 25), 25);
    EXPECT_EQ(ssDeckLinkInput::SlotCountFor(1280, 720, 60000.0 / 1001), 60);
    EXPECT_EQ(ssDeckLinkInput::SlotCountFor(1920, 1080, 60000.0 / 1001), 32); // bounded by memory
    EXPECT_EQ(ssDeckLinkInput::SlotCountFor(720, 486, 30000.0 / 1001), 30);
    EXPECT_EQ(ssDeckLinkInput::SlotCountFor(3840, 2160, 25), ssDeckLinkInput::kMinSlotCount);

    testsupport::VirtualCards cards(kCards);
    ssDeckLinkInput input;
    testsupport::captureEngineLog();
    ASSERT_EQ(input.Open(cards.card(0).get(), 0, 2), 0);
    ASSERT_EQ(input.FrameBuffer_->GetSlotCount(), 25);
    testsupport::Frame frame(1920, 1080, 0);
    testsupport::Packet packet(1920);
    const int room = input.FrameBuffer_->GetSlotCount() - 1;
    for (int i = 0; i <= room; ++i) {
        platform::FrameBarcode::draw(uint32_t(i), frame.bytes.data(), 1920, 1080, 1920 * 2,
                                     platform::BarcodePixels::Uyvy422);
        input.VideoInputFrameArrived(&frame, &packet); // the last finds the ring full
    }
    const std::string log = testsupport::capturedEngineLog();
    EXPECT_NE(log.find("Capture queue full"), std::string::npos);
    for (int i = 0; i < room; ++i) {
        ssCaptureFrame* slot = nullptr;
        ASSERT_EQ(input.FrameBuffer_->Read(0, &slot, 0), 0) << i;
        EXPECT_EQ(platform::FrameBarcode::read(slot->Pixels_, 1920, 1080, slot->RowBytes_,
                                               platform::BarcodePixels::Uyvy422),
                  std::optional<uint32_t>(uint32_t(i)));
    }
    ssCaptureFrame* none = nullptr;
    EXPECT_NE(input.FrameBuffer_->Read(0, &none, 0), 0);
}
