#include "tests/platform/decklink/VirtualCards.h"

#include "platform/testpattern/FrameBarcode.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

using namespace platform::decklink;
using platform::BarcodePixels;
using platform::FrameBarcode;

namespace {

// 720p59.94: 1001 / 60000 s per frame.
constexpr TimeValue kDuration = 1001;
constexpr TimeScale kScale = 60000;

const char* kOneCard = R"({"cards": [{"name": "Out", "modes": ["HD 720p 59.94"]}]})";

Ref<IDeckLinkOutput> outputOf(testsupport::VirtualCards& cards)
{
    IDeckLinkOutput* output = nullptr;
    auto card = cards.card(0);
    EXPECT_TRUE(card && card->QueryOutput(&output) == kOk);
    return Ref<IDeckLinkOutput>(output);
}

DisplayModeId firstMode(IDeckLinkOutput* output)
{
    IDeckLinkDisplayModeIterator* it = nullptr;
    output->GetDisplayModeIterator(&it);
    Ref<IDeckLinkDisplayModeIterator> modes(it);
    IDeckLinkDisplayMode* mode = nullptr;
    modes->Next(&mode);
    Ref<IDeckLinkDisplayMode> m(mode);
    return m->GetDisplayMode();
}

// Frames as an application schedules them: a few preallocated frames, each completion scheduling
// the next picture (its index as barcode and RP188 time code) at its own time.
class Player : public IDeckLinkVideoOutputCallback {
public:
    Player(IDeckLinkOutput* output, int frameCount) : output_(output)
    {
        for (int i = 0; i < frameCount; ++i) {
            IDeckLinkMutableVideoFrame* frame = nullptr;
            EXPECT_EQ(output->CreateVideoFrame(1280, 720, 2560, kFormat8BitYUV, kFrameDefault, &frame), kOk);
            frames_.emplace_back(frame);
        }
    }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }

    void scheduleNext()
    {
        IDeckLinkMutableVideoFrame* frame = frames_[size_t(next_ % int64_t(frames_.size()))].get();
        void* bytes = nullptr;
        frame->GetBytes(&bytes);
        FrameBarcode::draw(uint32_t(next_), static_cast<uint8_t*>(bytes), 1280, 720, 2560, BarcodePixels::Uyvy422);
        frame->SetTimecodeFromComponents(kTimecodeRP188VITC1, 1, 2, uint8_t(next_ / 60 % 60), uint8_t(next_ % 60),
                                         kTimecodeFlagDefault);
        EXPECT_EQ(output_->ScheduleVideoFrame(frame, next_ * kDuration, kDuration, kScale), kOk);
        ++next_;
    }

    Result ScheduledFrameCompleted(IDeckLinkVideoFrame*, CompletionResult result) override
    {
        results_.push_back(result);
        if (result != CompletionResult::Flushed)
            scheduleNext();
        return kOk;
    }
    Result ScheduledPlaybackHasStopped() override
    {
        stopped_ = true;
        return kOk;
    }

    std::vector<CompletionResult> results_;
    bool stopped_ = false;

private:
    IDeckLinkOutput* output_;
    std::vector<Ref<IDeckLinkMutableVideoFrame>> frames_;
    int64_t next_ = 0;
};

struct FrameTap : OutputTap {
    void frameShown(const ShownFrame& shown) override
    {
        std::lock_guard lock(mutex);
        void* bytes = nullptr;
        if (!shown.frame || shown.frame->GetBytes(&bytes) != kOk) {
            indices.push_back(-1);
            return;
        }
        auto index = FrameBarcode::read(static_cast<const uint8_t*>(bytes), int(shown.frame->GetWidth()),
                                        int(shown.frame->GetHeight()), shown.frame->GetRowBytes(),
                                        BarcodePixels::Uyvy422);
        indices.push_back(index ? int64_t(*index) : -2);
        vitc1.push_back(shown.vitc1);
    }
    std::mutex mutex;
    std::vector<int64_t> indices;
    std::vector<TapTimecode> vitc1;
};

} // namespace

TEST(VirtualOutput, ThreeFramePrerollPlays300FramesOnTimeOnTheManualClock)
{
    testsupport::VirtualCards cards(kOneCard);
    auto output = outputOf(cards);
    ASSERT_EQ(output->EnableVideoOutput(firstMode(output.get()), kVideoOutputRP188), kOk);
    IDeckLinkVideoFrameAncillary* ancillary = nullptr;
    ASSERT_EQ(output->CreateAncillaryData(kFormat10BitYUV, &ancillary), kOk);
    Ref<IDeckLinkVideoFrameAncillary> anc(ancillary);

    Player player(output.get(), 8);
    FrameTap tap;
    cards.control().SetOutputTap(0, &tap);
    ASSERT_EQ(output->SetScheduledFrameCompletionCallback(&player), kOk);
    for (int i = 0; i < 3; ++i)
        player.scheduleNext();
    ASSERT_EQ(output->StartScheduledPlayback(0, kScale, 1.0), kOk);

    ASSERT_TRUE(cards.clock().settle(1)); // period 0 is on air
    for (int64_t k = 1; k < 300; ++k) {
        cards.clock().advanceTo(testsupport::periodStartNs(k, kDuration, kScale));
        ASSERT_TRUE(cards.clock().settle(1)) << "period " << k;
    }
    TimeValue streamTime = 0;
    double speed = 0;
    output->GetScheduledStreamTime(kScale, &streamTime, &speed);
    EXPECT_EQ(streamTime, 299 * kDuration);
    EXPECT_EQ(speed, 1.0);

    ASSERT_EQ(output->StopScheduledPlayback(0, nullptr, 0), kOk);
    EXPECT_TRUE(player.stopped_);
    cards.control().SetOutputTap(0, nullptr);
    output->SetScheduledFrameCompletionCallback(nullptr);

    const OutputStats stats = cards.control().GetOutputStats(0);
    EXPECT_EQ(stats.completed, 299);
    EXPECT_EQ(stats.late, 0);
    EXPECT_EQ(stats.dropped, 0);
    EXPECT_EQ(stats.repeatedTicks, 0);
    EXPECT_EQ(stats.flushed, 3); // the frame on air and the two scheduled after it
    ASSERT_EQ(tap.indices.size(), 300u);
    for (int64_t k = 0; k < 300; ++k) {
        ASSERT_EQ(tap.indices[size_t(k)], k);
        ASSERT_TRUE(tap.vitc1[size_t(k)].present);
        EXPECT_EQ(tap.vitc1[size_t(k)].seconds, k / 60 % 60);
        EXPECT_EQ(tap.vitc1[size_t(k)].frames, k % 60);
    }
}

TEST(VirtualOutput, CompletionsReportCompletedLateDroppedAndFlushed)
{
    testsupport::VirtualCards cards(kOneCard);
    auto output = outputOf(cards);
    // Without RP188 enabled, time codes set on frames are not sent.
    ASSERT_EQ(output->EnableVideoOutput(firstMode(output.get()), kVideoOutputDefault), kOk);

    struct Recorder : IDeckLinkVideoOutputCallback {
        uint32_t AddRef() override { return 1; }
        uint32_t Release() override { return 1; }
        Result ScheduledFrameCompleted(IDeckLinkVideoFrame* frame, CompletionResult result) override
        {
            std::lock_guard lock(mutex);
            seen.emplace_back(frame, result);
            return kOk;
        }
        Result ScheduledPlaybackHasStopped() override { return kOk; }
        std::mutex mutex;
        std::vector<std::pair<IDeckLinkVideoFrame*, CompletionResult>> seen;
    } recorder;
    output->SetScheduledFrameCompletionCallback(&recorder);
    FrameTap tap;
    cards.control().SetOutputTap(0, &tap);

    std::vector<Ref<IDeckLinkMutableVideoFrame>> f;
    for (int i = 0; i < 7; ++i) {
        IDeckLinkMutableVideoFrame* frame = nullptr;
        ASSERT_EQ(output->CreateVideoFrame(1280, 720, 2560, kFormat8BitYUV, kFrameDefault, &frame), kOk);
        frame->SetTimecodeFromComponents(kTimecodeRP188VITC1, 0, 0, 0, uint8_t(i), 0);
        f.emplace_back(frame);
    }
    auto at = [](int64_t k) { return testsupport::periodStartNs(k, kDuration, kScale); };
    auto schedule = [&](int i, int64_t period) {
        EXPECT_EQ(output->ScheduleVideoFrame(f[size_t(i)].get(), period * kDuration, kDuration, kScale), kOk);
    };
    auto& clock = cards.clock();

    schedule(0, 0);
    ASSERT_EQ(output->StartScheduledPlayback(0, kScale, 1.0), kOk);
    ASSERT_TRUE(clock.settle(1));         // period 0: frame 0
    clock.advanceTo(at(1));               // period 1: nothing new, frame 0 stays
    ASSERT_TRUE(clock.settle(1));
    schedule(1, 1);                       // after its period: shown late in period 2
    clock.advanceTo(at(2));
    ASSERT_TRUE(clock.settle(1));
    schedule(2, 3);
    schedule(3, 4);
    clock.advanceTo(at(4));               // periods 3 and 4 at once: the card catches up
    ASSERT_TRUE(clock.settle(1));
    clock.advanceTo(at(5));               // period 5: nothing new
    ASSERT_TRUE(clock.settle(1));
    schedule(4, 5);                       // both due in period 6: the older is dropped
    schedule(5, 6);
    clock.advanceTo(at(6));
    ASSERT_TRUE(clock.settle(1));
    schedule(0, 7);                       // the same frame twice
    schedule(0, 8);
    clock.advanceTo(at(8));
    ASSERT_TRUE(clock.settle(1));
    schedule(6, 20);
    TimeValue stoppedAt = -1;
    ASSERT_EQ(output->StopScheduledPlayback(0, &stoppedAt, kScale), kOk);
    EXPECT_EQ(stoppedAt, 8 * kDuration);

    using R = CompletionResult;
    const std::vector<std::pair<IDeckLinkVideoFrame*, R>> expected = {
        {f[0].get(), R::Completed},     {f[1].get(), R::DisplayedLate}, {f[2].get(), R::Completed},
        {f[3].get(), R::Completed},     {f[4].get(), R::Dropped},       {f[5].get(), R::Completed},
        {f[0].get(), R::Completed},     {f[0].get(), R::Flushed},       {f[6].get(), R::Flushed},
    };
    EXPECT_EQ(recorder.seen, expected);
    cards.control().SetOutputTap(0, nullptr);
    EXPECT_EQ(tap.indices.size(), 9u); // one record per period, repeats included
    for (const auto& tc : tap.vitc1)
        EXPECT_FALSE(tc.present);
    const OutputStats stats = cards.control().GetOutputStats(0);
    EXPECT_EQ(stats.repeatedTicks, 2);
    EXPECT_EQ(stats.late, 1);
    EXPECT_EQ(stats.dropped, 1);

    // Frames of the wrong size or with too short rows are refused.
    IDeckLinkMutableVideoFrame* wrong = nullptr;
    EXPECT_EQ(output->CreateVideoFrame(1280, 720, 1000, kFormat8BitYUV, kFrameDefault, &wrong), kInvalidArgument);
    ASSERT_EQ(output->CreateVideoFrame(640, 360, 1280, kFormat8BitYUV, kFrameDefault, &wrong), kOk);
    Ref<IDeckLinkMutableVideoFrame> small(wrong);
    EXPECT_EQ(output->ScheduleVideoFrame(small.get(), 0, kDuration, kScale), kFail);
    output->SetScheduledFrameCompletionCallback(nullptr);
}

TEST(VirtualOutput, ForcedEnableFailuresAreReturnedThenClear)
{
    testsupport::VirtualCards cards(kOneCard);
    auto output = outputOf(cards);
    const DisplayModeId mode = firstMode(output.get());
    cards.control().FailEnable(0, EnableCall::VideoOutput, kAccessDenied, 1);
    EXPECT_EQ(output->EnableVideoOutput(mode, kVideoOutputRP188), kAccessDenied);
    EXPECT_EQ(output->EnableVideoOutput(mode, kVideoOutputDefault), kOk);
    cards.control().FailEnable(0, EnableCall::AudioOutput, kOutOfMemory, -1);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(output->EnableAudioOutput(48000, AudioSampleType::Integer32, 8, AudioOutputStreamType::Continuous),
                  kOutOfMemory);
    cards.control().FailEnable(0, EnableCall::AudioOutput, kOk, 0);
    EXPECT_EQ(output->EnableAudioOutput(48000, AudioSampleType::Integer32, 8, AudioOutputStreamType::Continuous), kOk);
    EXPECT_EQ(output->EnableAudioOutput(44100, AudioSampleType::Integer32, 8, AudioOutputStreamType::Continuous),
              kInvalidArgument);
    EXPECT_EQ(output->EnableVideoOutput(mode + 1000, kVideoOutputDefault), kInvalidArgument);
}

TEST(VirtualOutput, ClearingTheCallbackWaitsForTheCallInFlight)
{
    testsupport::VirtualCards cards(kOneCard);
    auto output = outputOf(cards);
    ASSERT_EQ(output->EnableVideoOutput(firstMode(output.get()), kVideoOutputDefault), kOk);

    struct Blocking : IDeckLinkVideoOutputCallback {
        uint32_t AddRef() override { return 1; }
        uint32_t Release() override { return 1; }
        Result ScheduledFrameCompleted(IDeckLinkVideoFrame*, CompletionResult) override
        {
            entered.set_value();
            release.get_future().wait();
            finished = true;
            return kOk;
        }
        Result ScheduledPlaybackHasStopped() override { return kOk; }
        std::promise<void> entered, release;
        std::atomic<bool> finished{false};
    } blocking;
    output->SetScheduledFrameCompletionCallback(&blocking);

    IDeckLinkMutableVideoFrame* a = nullptr;
    IDeckLinkMutableVideoFrame* b = nullptr;
    output->CreateVideoFrame(1280, 720, 2560, kFormat8BitYUV, kFrameDefault, &a);
    output->CreateVideoFrame(1280, 720, 2560, kFormat8BitYUV, kFrameDefault, &b);
    Ref<IDeckLinkMutableVideoFrame> fa(a), fb(b);
    output->ScheduleVideoFrame(a, 0, kDuration, kScale);
    output->ScheduleVideoFrame(b, kDuration, kDuration, kScale);
    output->StartScheduledPlayback(0, kScale, 1.0);
    cards.clock().advanceTo(testsupport::periodStartNs(1, kDuration, kScale)); // a completes
    blocking.entered.get_future().wait();

    std::atomic<bool> cleared{false};
    bool finishedBeforeCleared = false;
    std::thread clearer([&] {
        output->SetScheduledFrameCompletionCallback(nullptr);
        finishedBeforeCleared = blocking.finished;
        cleared = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(cleared); // still inside the callback
    blocking.release.set_value();
    clearer.join();
    EXPECT_TRUE(finishedBeforeCleared);
    output->StopScheduledPlayback(0, nullptr, 0); // no callback is called any more
}

TEST(VirtualOutput, EmbeddedAudioIsConsumedAt48kHzInRealTime)
{
    testsupport::VirtualCards cards(kOneCard, /*manualClock=*/false);
    auto output = outputOf(cards);
    ASSERT_EQ(output->EnableVideoOutput(firstMode(output.get()), kVideoOutputDefault), kOk);
    ASSERT_EQ(output->EnableAudioOutput(48000, AudioSampleType::Integer32, 8, AudioOutputStreamType::Continuous), kOk);

    // Like the engine: 960 sample frames of 8 channels per request.
    struct Source : IDeckLinkAudioOutputCallback {
        explicit Source(IDeckLinkOutput* o) : output(o), block(960 * 8, 0x01020304) {}
        uint32_t AddRef() override { return 1; }
        uint32_t Release() override { return 1; }
        Result RenderAudioSamples(bool) override
        {
            uint32_t written = 0;
            output->ScheduleAudioSamples(block.data(), 960, 0, 0, &written);
            return kOk;
        }
        IDeckLinkOutput* output;
        std::vector<int32_t> block;
    } source(output.get());

    struct Meter : OutputTap {
        void audioConsumed(const ConsumedAudio& audio) override
        {
            const auto now = std::chrono::steady_clock::now();
            std::lock_guard lock(mutex);
            if (!started) {
                started = true;
                first = now;
                firstTotal = audio.totalFrames;
            }
            last = now;
            lastTotal = audio.totalFrames;
            underrun += audio.underrunFrames;
        }
        std::mutex mutex;
        bool started = false;
        std::chrono::steady_clock::time_point first, last;
        int64_t firstTotal = 0, lastTotal = 0, underrun = 0;
    } meter;

    output->SetAudioCallback(&source);
    ASSERT_EQ(output->StartScheduledPlayback(0, kScale, 1.0), kOk);
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // past start-up
    cards.control().SetOutputTap(0, &meter);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    cards.control().SetOutputTap(0, nullptr);
    output->StopScheduledPlayback(0, nullptr, 0);
    output->SetAudioCallback(nullptr);

    std::lock_guard lock(meter.mutex);
    const double seconds = std::chrono::duration<double>(meter.last - meter.first).count();
    ASSERT_GT(seconds, 2.0);
    const double rate = double(meter.lastTotal - meter.firstTotal) / seconds;
    EXPECT_NEAR(rate, 48000.0, 480.0);
    const OutputStats stats = cards.control().GetOutputStats(0);
    // The card asked at its own pace: about 50 requests of 960 per second, each filling its buffer.
    EXPECT_NEAR(double(stats.audioCallbacks * 960), double(stats.audioFrames), 960.0 * 4);
}

namespace {
// The reference period of every period a card put out.
struct PeriodTap : OutputTap {
    void frameShown(const ShownFrame& shown) override
    {
        std::lock_guard lock(mutex);
        periods.push_back(shown.referencePeriod);
    }
    std::mutex mutex;
    std::vector<int64_t> periods;
};
} // namespace

TEST(VirtualOutput, CardsAreLockedToOneReferenceWheneverEachStarts)
{
    testsupport::VirtualCards cards(R"({"cards": [{"name": "A", "modes": ["HD 720p 59.94"]},
                                                  {"name": "B", "modes": ["HD 720p 59.94"]}]})");
    Ref<IDeckLinkOutput> outputs[2];
    PeriodTap taps[2];
    auto at = [](int64_t k) { return testsupport::periodStartNs(k, kDuration, kScale); };
    for (int c = 0; c < 2; ++c) {
        IDeckLinkOutput* output = nullptr;
        auto card = cards.card(c);
        ASSERT_TRUE(card && card->QueryOutput(&output) == kOk);
        outputs[c] = Ref<IDeckLinkOutput>(output);
        ASSERT_EQ(output->EnableVideoOutput(firstMode(output), kVideoOutputDefault), kOk);
        cards.control().SetOutputTap(c, &taps[c]);
    }
    // The reference reads the clock's grid: 5 ms into period 12.
    cards.clock().advanceTo(at(12) + 5'000'000);
    TimeValue hardware = 0, inFrame = 0, perFrame = 0;
    ASSERT_EQ(outputs[0]->GetHardwareReferenceClock(kScale, &hardware, &inFrame, &perFrame), kOk);
    EXPECT_EQ(perFrame, kDuration);
    EXPECT_EQ(inFrame, 300);
    EXPECT_EQ(hardware, 12 * kDuration + 300);

    // A starts in the middle of period 12, B two and a half periods later: each begins with the
    // next period of the reference, and from then on both are in the same period.
    ASSERT_EQ(outputs[0]->StartScheduledPlayback(0, kScale, 1.0), kOk);
    cards.clock().advanceTo(at(13));
    ASSERT_TRUE(cards.clock().settle(1));
    cards.clock().advanceTo(at(15) + 8'000'000);
    ASSERT_TRUE(cards.clock().settle(1));
    ASSERT_EQ(outputs[1]->StartScheduledPlayback(0, kScale, 1.0), kOk);
    // One thread serves the reference for both: a single sleeper however many cards run.
    for (int64_t k = 16; k < 20; ++k) {
        cards.clock().advanceTo(at(k));
        ASSERT_TRUE(cards.clock().settle(1)) << k;
        EXPECT_EQ(cards.clock().pendingSleepers(), 1) << k;
    }
    for (int c = 0; c < 2; ++c) {
        outputs[c]->StopScheduledPlayback(0, nullptr, 0);
        cards.control().SetOutputTap(c, nullptr);
    }
    EXPECT_EQ(taps[0].periods, (std::vector<int64_t>{13, 14, 15, 16, 17, 18, 19}));
    EXPECT_EQ(taps[1].periods, (std::vector<int64_t>{16, 17, 18, 19}));
}

namespace {

// A player that, at a chosen completion, stops another card's playback from inside its callback.
class StoppingPlayer : public Player {
public:
    using Player::Player;
    Result ScheduledFrameCompleted(IDeckLinkVideoFrame* frame, CompletionResult result) override
    {
        if (++completions_ == stopAt && other)
            other->StopScheduledPlayback(0, nullptr, 0);
        return Player::ScheduledFrameCompleted(frame, result);
    }
    IDeckLinkOutput* other = nullptr;
    int stopAt = 0;

private:
    int completions_ = 0;
};

} // namespace

// Cards of one rate share the reference's thread. Stopping one never waits for a period to come,
// a callback may stop another card of the same rate, and the thread ends with the last playback.
TEST(VirtualOutput, OneReferenceThreadServesEveryCardOfARateAndStopsAtOnce)
{
    testsupport::VirtualCards cards(R"({"cards": [{"name": "A", "modes": ["HD 720p 59.94"]},
                                                  {"name": "B", "modes": ["HD 720p 59.94"]},
                                                  {"name": "C", "modes": ["HD 720p 59.94"]}]})");
    auto at = [](int64_t k) { return testsupport::periodStartNs(k, kDuration, kScale); };
    Ref<IDeckLinkOutput> outputs[3];
    for (int c = 0; c < 3; ++c) {
        IDeckLinkOutput* output = nullptr;
        auto card = cards.card(c);
        ASSERT_TRUE(card && card->QueryOutput(&output) == kOk);
        outputs[c] = Ref<IDeckLinkOutput>(output);
        ASSERT_EQ(output->EnableVideoOutput(firstMode(output), kVideoOutputDefault), kOk);
    }
    StoppingPlayer a(outputs[0].get(), 8);
    Player b(outputs[1].get(), 8), c(outputs[2].get(), 8);
    a.other = outputs[2].get();
    a.stopAt = 4;
    Player* players[3] = {&a, &b, &c};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(outputs[i]->SetScheduledFrameCompletionCallback(players[i]), kOk);
        for (int f = 0; f < 3; ++f)
            players[i]->scheduleNext();
        ASSERT_EQ(outputs[i]->StartScheduledPlayback(0, kScale, 1.0), kOk);
    }
    for (int64_t k = 0; k < 4; ++k) {
        cards.clock().advanceTo(at(k));
        ASSERT_TRUE(cards.clock().settle(1)) << k;
        EXPECT_EQ(cards.clock().pendingSleepers(), 1) << k;
    }
    // B stops from here with the clock standing still: no period has to come first.
    auto stopB = std::async(std::launch::async, [&] { return outputs[1]->StopScheduledPlayback(0, nullptr, 0); });
    ASSERT_EQ(stopB.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(stopB.get(), kOk);
    EXPECT_TRUE(b.stopped_);
    // A's fourth completion stops C from inside the shared thread: C ends in that same period.
    for (int64_t k = 4; k < 8; ++k) {
        cards.clock().advanceTo(at(k));
        ASSERT_TRUE(cards.clock().settle(1)) << k;
    }
    EXPECT_TRUE(c.stopped_);
    EXPECT_FALSE(a.stopped_);
    const size_t aCompletions = a.results_.size();
    EXPECT_GE(aCompletions, 6u);
    ASSERT_EQ(outputs[0]->StopScheduledPlayback(0, nullptr, 0), kOk);
    EXPECT_TRUE(a.stopped_);
    // No playback left: no thread waits on the clock.
    EXPECT_EQ(cards.clock().pendingSleepers(), 0);
    // C's playback can start again after being stopped from a callback.
    ASSERT_EQ(outputs[2]->StartScheduledPlayback(0, kScale, 1.0), kOk);
    ASSERT_EQ(outputs[2]->StopScheduledPlayback(0, nullptr, 0), kOk);
    for (int i = 0; i < 3; ++i)
        outputs[i]->SetScheduledFrameCompletionCallback(nullptr);
}
