#include "tests/engine/output/CardsForOutputs.h"

#include "engine/output/ssDecklinkPlayout.h"
#include "engine/output/ssOutputFinder.h"
#include "platform/log/Log.h"
#include "platform/testpattern/FrameBarcode.h"
#include "tests/support/ManualClock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

using namespace platform::decklink;
using platform::BarcodePixels;
using platform::FrameBarcode;

namespace {

constexpr int kW = 64;
constexpr int kH = 36;
constexpr int32_t kClick = 1 << 30;

// An engine as the playout sees it: frame n (counted from the first after the 3-frame preroll,
// which is period n on the card) carries barcode n and position n frames; audio is a continuous
// stream of 480-frame packets from time 0, silent but for one click.
class FakeEngine : public ssPlayoutSource {
public:
    FakeEngine(double frameDuration, int streams, int channels)
        : frameDuration_(frameDuration), streams_(streams), channels_(channels)
    {
        for (auto& pixels : pixels_)
            pixels.assign(size_t(kW) * kH * 2, 0);
        for (auto& buffer : audio_)
            buffer.assign(size_t(480) * size_t(channels), 0);
    }

    int32_t GetFrameForOutput(int32_t* state, const ssOutputPeriod&) override
    {
        const int64_t n = next_++;
        *state = n >= stopAt_ ? 3 : state_.load();
        unreadable_ = n == unreadableAt_;
        position_ = double(n) * frameDuration_;
        const int32_t slot = int32_t(n % 8);
        std::fill(pixels_[size_t(slot)].begin(), pixels_[size_t(slot)].end(), uint8_t(128));
        FrameBarcode::draw(uint32_t(n), pixels_[size_t(slot)].data(), kW, kH, kW * 2, BarcodePixels::Uyvy422);
        return slot;
    }
    bool CopyFramePixels(int32_t slot, uint8_t* destination, size_t bytes) override
    {
        if (unreadable_ || bytes > pixels_[size_t(slot)].size())
            return false;
        std::memcpy(destination, pixels_[size_t(slot)].data(), bytes);
        return true;
    }
    int32_t GetPlaybackBehavior() override { return 0; }
    double GetPosition() override { return position_; }
    double GetDuration() override { return 100.0; }
    int32_t GetTimeCodeOutput() override { return 1; }
    ssTimecodeParts GetStartTimeCode() override { return start_; }

    bool AudioPlaying() override { return true; }
    int32_t GetAudioStreamCount() override { return streams_; }
    int32_t GetStreamChannels(int32_t) override { return channels_; }
    bool AudioClockStarted() override { return true; }
    int32_t PullAudioPacket(int32_t stream, ssAudioPacket* packet) override
    {
        if (starved_)
            return -1;
        std::vector<int32_t>& buffer = audio_[size_t(stream)];
        const int64_t first = packets_[size_t(stream)]++ * 480;
        for (int f = 0; f < 480; ++f) {
            for (int c = 0; c < channels_; ++c) {
                int32_t v = (stream * 100 + c + 1) * 1000; // tells streams and channels apart
                if (first + f == clickSample_ && stream == 0 && c == 0)
                    v = kClick;
                buffer[size_t(f * channels_ + c)] = v;
            }
        }
        *packet = {buffer.data(), 480, channels_, double(first) / 48000.0};
        return 0;
    }
    void ReleaseAudioPacket(int32_t) override {}
    void AccumulateMeterLevels(const int32_t*, int32_t, int32_t, int32_t, int32_t) override {}
    void DecayMeters() override {}

    std::atomic<int32_t> state_{1};
    ssTimecodeParts start_{};
    int64_t clickSample_ = -1;
    int64_t stopAt_ = INT64_MAX;   // from this frame on the engine reports itself stopped
    int64_t unreadableAt_ = -1;    // this frame's pixels cannot be read
    bool starved_ = false;         // no audio packet is ever ready

private:
    bool unreadable_ = false;
    double frameDuration_;
    int streams_;
    int channels_;
    std::atomic<int64_t> next_{3};
    double position_ = 0.0;
    std::vector<uint8_t> pixels_[8];
    std::vector<int32_t> audio_[2];
    int64_t packets_[2] = {};
};

struct Tap : OutputTap {
    void frameShown(const ShownFrame& shown) override
    {
        std::lock_guard lock(mutex);
        void* bytes = nullptr;
        int64_t index = -1;
        if (shown.frame && shown.frame->GetBytes(&bytes) == kOk) {
            auto read = FrameBarcode::read(static_cast<const uint8_t*>(bytes), kW, kH, kW * 2,
                                           BarcodePixels::Uyvy422);
            index = read ? int64_t(*read) : -2;
        }
        indices.push_back(index);
        vitc1.push_back(shown.vitc1);
        vitc2.push_back(shown.vitc2);
    }
    void audioConsumed(const ConsumedAudio& audio) override
    {
        std::lock_guard lock(mutex);
        const auto* s = static_cast<const int32_t*>(audio.samples);
        for (uint32_t f = 0; f < audio.frames; ++f) {
            if (s[f * audio.channels] == kClick)
                clickPeriod = int64_t(periods);
        }
        if (periods == 10)
            tenth.assign(s, s + audio.frames * audio.channels);
        ++periods;
    }
    std::mutex mutex;
    std::vector<int64_t> indices;
    std::vector<TapTimecode> vitc1, vitc2;
    std::vector<int32_t> tenth;
    int64_t clickPeriod = -1;
    int periods = 0;
};

struct Rig {
    explicit Rig(int mode, int streams = 1, int channels = 2, const char* logName = nullptr)
        : cards(testsupport::kTwoCards), frameRate(mode == 1 ? 50 : 25),
          engine(1.0 / frameRate, streams, channels), playout(&engine, logName)
    {
        finder.FindOutputs();
        device = static_cast<ssDecklinkOutput*>(finder.GetOutput(0));
        cards.control().SetOutputTap(0, &tap);
        modeIndex = mode;
    }
    ~Rig()
    {
        playout.Stop();
        cards.control().SetOutputTap(0, nullptr);
    }
    void run(int64_t periods)
    {
        ASSERT_TRUE(cards.clock().settle(1));
        for (int64_t k = 1; k < periods; ++k) {
            cards.clock().advanceTo(testsupport::periodStartNs(k, 1, frameRate));
            ASSERT_TRUE(cards.clock().settle(1)) << "period " << k;
        }
    }
    testsupport::VirtualCards cards;
    int frameRate;
    FakeEngine engine;
    ssDecklinkPlayout playout;
    ssOutputFinder finder;
    ssDecklinkOutput* device = nullptr;
    Tap tap;
    int modeIndex = 0;
};

int64_t frameCount(const TapTimecode& tc, int rate)
{
    return ((int64_t(tc.hours) * 60 + tc.minutes) * 60 + tc.seconds) * rate + tc.frames;
}

} // namespace

TEST(SdiPlayout, FramesGoOutInOrderWithIncrementingTimecodeAndTheClickOnItsFlash)
{
    Rig rig(0);
    rig.engine.start_ = {23, 59, 59, 20}; // crosses midnight within the run
    rig.engine.clickSample_ = 30 * 1920;  // the start of period 30 at 25 fps
    ASSERT_EQ(rig.playout.Start(rig.device, 0), 0);
    EXPECT_TRUE(rig.playout.HasTimecode());
    EXPECT_TRUE(rig.playout.HasAudio());
    rig.run(60);

    std::lock_guard lock(rig.tap.mutex);
    ASSERT_GE(rig.tap.indices.size(), 60u);
    for (int64_t k = 0; k < 3; ++k)
        EXPECT_EQ(rig.tap.indices[size_t(k)], -2) << "preroll frames are black";
    const int64_t day = 24 * 3600 * 25;
    const int64_t start = ((23 * 60 + 59) * 60 + 59) * 25 + 20;
    for (int64_t k = 3; k < 60; ++k) {
        ASSERT_EQ(rig.tap.indices[size_t(k)], k);
        const TapTimecode& tc = rig.tap.vitc1[size_t(k)];
        ASSERT_TRUE(tc.present) << k;
        EXPECT_LT(tc.hours, 24);
        EXPECT_LT(tc.minutes, 60);
        EXPECT_LT(tc.seconds, 60);
        EXPECT_LT(tc.frames, 25);
        EXPECT_EQ(frameCount(tc, 25), (start + k) % day) << k;
        EXPECT_FALSE(rig.tap.vitc2[size_t(k)].present);
    }
    // Period 30 shows frame 30; its click is heard in the same period, give or take one.
    ASSERT_GE(rig.tap.clickPeriod, 0);
    EXPECT_LE(std::abs(rig.tap.clickPeriod - 30), 1);
}

TEST(SdiPlayout, FastProgressiveSplitsTimecodeOverBothSlotsAndInterlacedFillsBoth)
{
    {
        Rig rig(1);
        ASSERT_EQ(rig.playout.Start(rig.device, 1), 0);
        rig.run(20);
        std::lock_guard lock(rig.tap.mutex);
        for (int64_t k = 3; k < 20; ++k) {
            const bool odd = (k % 50) & 1;
            const TapTimecode& tc = odd ? rig.tap.vitc2[size_t(k)] : rig.tap.vitc1[size_t(k)];
            ASSERT_TRUE(tc.present) << k;
            EXPECT_EQ(odd ? !rig.tap.vitc1[size_t(k)].present : !rig.tap.vitc2[size_t(k)].present, true);
            EXPECT_EQ(tc.frames, (k % 50) / 2);
            EXPECT_EQ(tc.flags, odd ? kTimecodeFieldMark : kTimecodeFlagDefault);
        }
    }
    Rig rig(2);
    ASSERT_EQ(rig.playout.Start(rig.device, 2), 0);
    EXPECT_EQ(rig.playout.GetInterlaced(), 1);
    rig.run(10);
    std::lock_guard lock(rig.tap.mutex);
    for (int64_t k = 3; k < 10; ++k) {
        ASSERT_TRUE(rig.tap.vitc1[size_t(k)].present && rig.tap.vitc2[size_t(k)].present);
        EXPECT_EQ(rig.tap.vitc1[size_t(k)].frames, k);
        EXPECT_EQ(rig.tap.vitc2[size_t(k)].flags, kTimecodeFieldMark);
    }
}

TEST(SdiPlayout, BlackAfterAStopAndAnUnreadablePictureNeverTouchFramesStillWaitingToAir)
{
    // Pictures lead the card by the preroll: black written into the frame queued last would show
    // it a period early, and a picture that cannot be read must hold the one before it rather
    // than air whatever a reused card frame held.
    Rig rig(0);
    rig.engine.unreadableAt_ = 12;
    rig.engine.stopAt_ = 30;
    ASSERT_EQ(rig.playout.Start(rig.device, 0), 0);
    rig.run(45);
    std::lock_guard lock(rig.tap.mutex);
    ASSERT_GE(rig.tap.indices.size(), 45u);
    for (int64_t k = 3; k < 45; ++k) {
        const int64_t expected = k == 12 ? 11 : k < 30 ? k : -2;
        EXPECT_EQ(rig.tap.indices[size_t(k)], expected) << "period " << k;
    }
}

TEST(SdiPlayout, AudioBeyondEightChannelsIsLeftOutNotSpilledIntoTheNextFrame)
{
    Rig rig(0, 2, 6); // 12 decoded channels for an 8-channel block
    ASSERT_EQ(rig.playout.Start(rig.device, 0), 0);
    rig.run(12);
    std::lock_guard lock(rig.tap.mutex);
    ASSERT_EQ(rig.tap.tenth.size(), size_t(1920 * 8));
    for (size_t f = 0; f < 1920; ++f) {
        const int32_t* frame = &rig.tap.tenth[f * 8];
        for (int c = 0; c < 6; ++c)
            ASSERT_EQ(frame[c], (c + 1) * 1000) << "frame " << f << " channel " << c;
        ASSERT_EQ(frame[6], 101000);
        ASSERT_EQ(frame[7], 102000);
    }
}

TEST(SdiPlayout, EnableFailuresFallBackAndUnplayableDevicesAreRefused)
{
    {
        // Video refused with time code: enabled again without it, so the frames carry none.
        Rig rig(0);
        rig.cards.control().FailEnable(0, EnableCall::VideoOutput, kAccessDenied, 1);
        rig.cards.control().FailEnable(0, EnableCall::AudioOutput, kFail, 1);
        ASSERT_EQ(rig.playout.Start(rig.device, 0), 0);
        EXPECT_FALSE(rig.playout.HasAudio());
        rig.run(8);
        std::lock_guard lock(rig.tap.mutex);
        for (int64_t k = 3; k < 8; ++k) {
            EXPECT_EQ(rig.tap.indices[size_t(k)], k);
            EXPECT_FALSE(rig.tap.vitc1[size_t(k)].present);
        }
    }
    Rig rig(0);
    // A mode index past the mode count plays mode 0.
    ASSERT_EQ(rig.playout.Start(rig.device, 99), 0);
    EXPECT_FLOAT_EQ(rig.playout.GetFrameRate(), 25.0f);
    rig.playout.Stop();
    // Video refused outright: nothing plays.
    rig.cards.control().FailEnable(0, EnableCall::VideoOutput, kFail, 2);
    EXPECT_EQ(rig.playout.Start(rig.device, 0), -1);
    // A capture-only card offers no output.
    EXPECT_EQ(rig.playout.Start(static_cast<ssDecklinkOutput*>(rig.finder.GetOutput(1)), 0), -1);
    EXPECT_EQ(rig.playout.Start(nullptr, 0), -1);
}

TEST(SdiPlayout, WithoutAudioStreamsTheClockStillAdvances960SamplesACall)
{
    Rig rig(0, 0, 2);
    ASSERT_EQ(rig.playout.Start(rig.device, 0), 0);
    rig.run(25);
    rig.playout.Stop();
    const OutputStats stats = rig.cards.control().GetOutputStats(0);
    ASSERT_GT(stats.audioCallbacks, 0);
    EXPECT_DOUBLE_EQ(rig.playout.GetAudioClock(), double(stats.audioCallbacks) * 960 / 48000);
}

// A channel whose card runs out of sound says so every card period for as long as it lasts: the
// card's callback names the channel, and the log sums the flood up about once a minute of the
// card's time.
TEST(SdiPlayout, ACardOutOfSoundSaysSoUnderItsChannelAboutOnceAMinute)
{
    Rig rig(0, 1, 2, "channel 3");
    rig.engine.starved_ = true;
    const testsupport::LogClockScope counting(rig.cards.clock());
    platform::LogCapture calls;
    platform::LogCapture written(platform::LogCapture::Sees::Written);
    ASSERT_EQ(rig.playout.Start(rig.device, 0), 0);
    rig.run(3 * 60 * 25); // three minutes
    rig.playout.Stop();
    platform::flushLogRepeats();

    const int64_t callbacks = rig.cards.control().GetOutputStats(0).audioCallbacks;
    ASSERT_GT(callbacks, 3 * 60 * 25 / 2);
    int64_t starving = 0;
    for (const platform::LogRecord& record : calls.records()) {
        if (record.message != "Audio out of data")
            continue;
        EXPECT_EQ(record.category, "channel 3");
        ++starving;
    }
    EXPECT_EQ(starving, callbacks) << "one line a callback";

    std::vector<std::string> lines;
    int64_t counted = 0;
    for (const platform::LogRecord& record : written.records()) {
        if (record.message.rfind("Audio out of data", 0) != 0)
            continue;
        lines.push_back(record.category + ": " + record.message);
        const std::size_t at = record.message.find("repeated ");
        counted += at == std::string::npos ? 1 : std::stoll(record.message.substr(at + 9));
    }
    EXPECT_EQ(counted, callbacks) << "every call is counted";
    // At once, after the first and the second minute, and the rest at the end (unless the last
    // callback came exactly at three minutes).
    ASSERT_GE(lines.size(), 3u);
    ASSERT_LE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "channel 3: Audio out of data");
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_NE(lines[i].find("channel 3: Audio out of data ... repeated "), std::string::npos) << lines[i];
}
