// The audio hub on the null sink, stepped by a manual clock: pacing, mixing, gain, meters and
// removal; and that the automatic choice always leaves a running stream.

#include "platform/audio/AudioOutputHub.h"
#include "platform/audio/NullAudioSink.h"
#include "platform/clock/ManualClock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

using platform::AudioOutputHub;
using platform::AudioVoice;
using platform::AudioVoiceSource;
using platform::ManualClock;

namespace {

constexpr int64_t kBufferNs = 10'000'000; // 480 frames at 48 kHz

// A source that writes one constant per channel and counts what it was asked for.
class ConstantSource : public AudioVoiceSource {
public:
    explicit ConstantSource(std::vector<int32_t> values) : values_(std::move(values)) {}
    void renderVoice(int32_t* samples, int frames, int channels) override
    {
        for (int i = 0; i < frames; ++i)
            for (int c = 0; c < channels; ++c)
                samples[i * channels + c] = values_[size_t(c) % values_.size()];
        framesAsked += frames;
    }
    std::atomic<int64_t> framesAsked{0};

private:
    std::vector<int32_t> values_;
};

// Keeps the last mixed buffer the hub produced.
struct Listener {
    std::mutex mutex;
    std::vector<float> last;
    int64_t frames = 0;
    void attach(AudioOutputHub& hub)
    {
        hub.setOutputObserver([this](const float* samples, int count, int channels) {
            std::lock_guard lock(mutex);
            last.assign(samples, samples + size_t(count) * size_t(channels));
            frames += count;
        });
    }
    std::vector<float> snapshot()
    {
        std::lock_guard lock(mutex);
        return last;
    }
};

constexpr int32_t kHalf = 1 << 30; // 0.5 full scale

// Waits in real time (bounded; the bound only ends a failing test) until the condition holds.
template <typename Condition> bool eventually(Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace

TEST(AudioOutputHub, NullSinkPullsOneBufferPerPeriodOfTheManualClock)
{
    ManualClock clock;
    AudioOutputHub hub;
    hub.selectBackend(AudioOutputHub::Backend::Null, &clock);
    ConstantSource source({kHalf});
    AudioVoice* voice = hub.addVoice(&source, 2);
    ASSERT_NE(voice, nullptr);
    EXPECT_EQ(hub.backendName(), "null");
    EXPECT_DOUBLE_EQ(hub.streamLatency(), 480.0 / 48000.0);
    ASSERT_TRUE(clock.settle(1));
    // The first buffer goes out at once; every further one when its deadline has come.
    EXPECT_EQ(source.framesAsked.load(), 480);
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(clock.step(kBufferNs, 1));
    EXPECT_EQ(source.framesAsked.load(), 101 * 480);
    EXPECT_EQ(voice->framesRendered(), 101 * 480);
    // Half a period moves nothing; the other half does.
    ASSERT_TRUE(clock.step(kBufferNs / 2, 1));
    EXPECT_EQ(source.framesAsked.load(), 101 * 480);
    ASSERT_TRUE(clock.step(kBufferNs / 2, 1));
    EXPECT_EQ(source.framesAsked.load(), 102 * 480);
    // A late wake catches up on every missed deadline instead of drifting.
    clock.advance(5 * kBufferNs);
    ASSERT_TRUE(clock.settle(1));
    EXPECT_EQ(source.framesAsked.load(), 107 * 480);
    hub.removeVoice(voice);
}

TEST(AudioOutputHub, MixesVoicesWithGainAndMapsChannels)
{
    ManualClock clock;
    AudioOutputHub hub;
    hub.selectBackend(AudioOutputHub::Backend::Null, &clock);
    Listener listener;
    listener.attach(hub);
    ConstantSource stereo({kHalf, -kHalf / 2, kHalf}); // third channel has no device channel
    ConstantSource mono({kHalf / 2});
    AudioVoice* a = hub.addVoice(&stereo, 3);
    AudioVoice* b = hub.addVoice(&mono, 1);
    ASSERT_TRUE(clock.step(kBufferNs, 1));
    auto mix = listener.snapshot();
    ASSERT_EQ(mix.size(), 480u * 2);
    EXPECT_NEAR(mix[0], 0.5f + 0.25f, 1e-6);  // mono feeds both device channels
    EXPECT_NEAR(mix[1], -0.25f + 0.25f, 1e-6);

    b->setGain(0.0f);
    a->setGain(0.5f);
    ASSERT_TRUE(clock.step(kBufferNs, 1));
    mix = listener.snapshot();
    EXPECT_NEAR(mix[0], 0.25f, 1e-6);
    EXPECT_NEAR(mix[1], -0.125f, 1e-6);

    // Out-of-range gains are clamped; the sum is clipped to full scale.
    a->setGain(7.0f);
    b->setGain(-1.0f);
    EXPECT_EQ(a->gain(), 1.0f);
    EXPECT_EQ(b->gain(), 0.0f);
    ConstantSource loud({INT32_MAX});
    AudioVoice* c = hub.addVoice(&loud, 1);
    ASSERT_TRUE(clock.step(kBufferNs, 1));
    mix = listener.snapshot();
    EXPECT_EQ(mix[0], 1.0f);
    hub.removeVoice(c);
    hub.removeVoice(b);
    hub.removeVoice(a);
    hub.setOutputObserver(nullptr);
}

TEST(AudioOutputHub, MetersFollowTheSignalAndDecay)
{
    ManualClock clock;
    AudioOutputHub hub;
    hub.selectBackend(AudioOutputHub::Backend::Null, &clock);
    ConstantSource source({kHalf, 0});
    AudioVoice* voice = hub.addVoice(&source, 2);
    ASSERT_TRUE(clock.step(kBufferNs, 1));
    float levels[4] = {};
    ASSERT_EQ(voice->levels(levels, 4), 2);
    EXPECT_NEAR(levels[0], 20.0f * std::log10(0.25f + 0.00001f), 0.01f);
    EXPECT_NEAR(levels[1], -100.0f, 0.01f);

    voice->setGain(0.0f);
    float before = levels[0];
    ASSERT_TRUE(clock.step(kBufferNs, 1));
    voice->levels(levels, 4);
    EXPECT_LT(levels[0], before);
    EXPECT_GT(levels[0], -100.0f); // decays, does not drop at once
    hub.removeVoice(voice);
}

TEST(AudioOutputHub, RemovedVoiceIsNeverCalledAgain)
{
    ManualClock clock;
    AudioOutputHub hub;
    hub.selectBackend(AudioOutputHub::Backend::Null, &clock);
    ConstantSource keep({1});
    auto* gone = new ConstantSource({1});
    AudioVoice* kept = hub.addVoice(&keep, 1);
    AudioVoice* removed = hub.addVoice(gone, 1);
    EXPECT_EQ(hub.voiceCount(), 2);
    ASSERT_TRUE(clock.step(kBufferNs, 1));
    hub.removeVoice(removed);
    delete gone; // a source may be destroyed as soon as its voice is removed
    EXPECT_EQ(hub.voiceCount(), 1);
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(clock.step(kBufferNs, 1));
    hub.removeVoice(removed); // a second removal is harmless
    hub.removeVoice(kept);
    EXPECT_EQ(hub.voiceCount(), 0);
    EXPECT_EQ(hub.addVoice(nullptr, 2), nullptr);
}

TEST(AudioOutputHub, TheStreamStopsWithTheLastVoiceAndStartsWithTheNext)
{
    // A stream with nothing to play would wake its thread every buffer for nothing.
    ManualClock clock;
    AudioOutputHub hub;
    hub.selectBackend(AudioOutputHub::Backend::Null, &clock);
    ConstantSource a({1}), b({1});
    AudioVoice* first = hub.addVoice(&a, 1);
    AudioVoice* second = hub.addVoice(&b, 1);
    ASSERT_TRUE(clock.step(kBufferNs, 1));
    hub.removeVoice(first);
    EXPECT_EQ(hub.backendName(), "null"); // one voice still plays
    ASSERT_TRUE(clock.step(kBufferNs, 1));
    const int64_t asked = b.framesAsked.load();
    hub.removeVoice(second);
    EXPECT_EQ(hub.backendName(), "");
    EXPECT_EQ(hub.streamLatency(), 0.0);
    EXPECT_EQ(clock.pendingSleepers(), 0);
    clock.advance(10 * kBufferNs);
    EXPECT_EQ(b.framesAsked.load(), asked);

    ConstantSource c({1});
    AudioVoice* again = hub.addVoice(&c, 1);
    EXPECT_EQ(hub.backendName(), "null");
    ASSERT_TRUE(clock.step(kBufferNs, 1));
    EXPECT_GT(c.framesAsked.load(), 0);
    hub.removeVoice(again);
}

TEST(AudioOutputHub, SwitchingBackendsKeepsTheVoices)
{
    ManualClock first;
    ManualClock second(1'000'000'000);
    AudioOutputHub hub;
    hub.selectBackend(AudioOutputHub::Backend::Null, &first);
    ConstantSource source({1});
    AudioVoice* voice = hub.addVoice(&source, 1);
    ASSERT_TRUE(first.step(kBufferNs, 1));
    const int64_t before = source.framesAsked.load();
    hub.selectBackend(AudioOutputHub::Backend::Null, &second);
    ASSERT_TRUE(second.step(kBufferNs, 1));
    EXPECT_GT(source.framesAsked.load(), before);
    EXPECT_EQ(first.pendingSleepers(), 0);
    hub.removeVoice(voice);
}

TEST(AudioOutputHub, AutomaticChoiceAlwaysRunsAStream)
{
    // Whether or not this machine has a sound device, playback needs a running audio clock.
    AudioOutputHub hub;
    ConstantSource source({0});
    AudioVoice* voice = hub.addVoice(&source, 2);
    const std::string backend = hub.backendName();
    EXPECT_TRUE(backend == "portaudio" || backend == "null") << backend;
    EXPECT_GT(hub.streamLatency(), 0.0);
    EXPECT_TRUE(eventually([&] { return source.framesAsked.load() >= 4800; }));
    hub.removeVoice(voice);
}

namespace {

// Sounds a constant while told to; silent (and saying so) otherwise.
class GatedSource : public AudioVoiceSource {
public:
    void renderVoice(int32_t* samples, int frames, int channels) override
    {
        std::fill_n(samples, size_t(frames) * size_t(channels), sounds.load() ? kHalf : 0);
        framesAsked += frames;
    }
    bool sounding() const override { return sounds.load(); }
    std::atomic<bool> sounds{true};
    std::atomic<int64_t> framesAsked{0};
};

} // namespace

TEST(AudioOutputHub, TheNullSinkRestsWhileNothingSoundsAndRunsAtOnceWhenWoken)
{
    // A cued server with nothing playing must not wake a thread every 10 ms for silence.
    ManualClock clock;
    AudioOutputHub hub;
    hub.selectBackend(AudioOutputHub::Backend::Null, &clock);
    GatedSource source;
    AudioVoice* voice = hub.addVoice(&source, 1);
    ASSERT_TRUE(clock.settle(1));
    source.sounds = false;
    // The meter falls to its floor first: a listener sees it come down, not freeze lit.
    float level = 0.0f;
    int buffers = 0;
    for (; buffers < 1000; ++buffers) {
        const int64_t asked = source.framesAsked.load();
        clock.advance(kBufferNs);
        ASSERT_TRUE(eventually([&] {
            voice->levels(&level, 1);
            return source.framesAsked.load() > asked && (clock.pendingSleepers() == 1 || level == -100.0f);
        }));
        if (level == -100.0f)
            break;
    }
    EXPECT_GT(buffers, 10);
    // Then it rests: time passes and nothing is pulled.
    const int64_t rested = source.framesAsked.load();
    clock.advance(50 * kBufferNs);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(source.framesAsked.load(), rested);
    EXPECT_EQ(clock.pendingSleepers(), 0);

    // Woken, it pulls a buffer at once and keeps the pace from there.
    source.sounds = true;
    hub.wake();
    ASSERT_TRUE(clock.settle(1));
    EXPECT_EQ(source.framesAsked.load(), rested + 480);
    ASSERT_TRUE(clock.step(kBufferNs, 1));
    EXPECT_EQ(source.framesAsked.load(), rested + 960);
    hub.removeVoice(voice);
    EXPECT_EQ(clock.pendingSleepers(), 0);
}

TEST(NullAudioSink, RefusesNonsenseAndStopsPromptly)
{
    ManualClock clock;
    platform::NullAudioSink sink(clock);
    EXPECT_FALSE(sink.start(0, 2, 480, [](float*, int) {}, nullptr));
    EXPECT_FALSE(sink.start(48000, 2, 480, nullptr, nullptr));
    std::atomic<int> calls{0};
    ASSERT_TRUE(sink.start(48000, 2, 480, [&](float*, int frames) { calls += frames; }, nullptr));
    ASSERT_TRUE(clock.settle(1));
    // Stopping wakes the thread from its sleep on a deadline that will never come.
    sink.stop();
    EXPECT_EQ(clock.pendingSleepers(), 0);
    EXPECT_EQ(sink.buffersPulled(), 1);
}

namespace {

// A device that opens (or not) and can be made to die, as a sound card that is unplugged.
class FakeDevice : public platform::AudioBackend {
public:
    struct Control {
        bool opens = true;
        std::mutex mutex;
        FailureFunction failed;
        std::atomic<int> starts{0};
    };
    explicit FakeDevice(Control& control) : control_(control) {}
    bool start(int, int, int, RenderFunction, FailureFunction failed) override
    {
        ++control_.starts;
        if (!control_.opens)
            return false;
        std::lock_guard lock(control_.mutex);
        control_.failed = std::move(failed);
        return true;
    }
    void stop() override {}
    double latency() const override { return 0.02; }
    std::string name() const override { return "fake"; }

private:
    Control& control_;
};

} // namespace

TEST(AudioOutputHub, FallsBackToTheNullSinkWhenNoDeviceOpens)
{
    FakeDevice::Control control;
    control.opens = false;
    AudioOutputHub hub;
    hub.setDeviceFactory([&] { return std::make_unique<FakeDevice>(control); });
    ConstantSource source({0});
    AudioVoice* voice = hub.addVoice(&source, 2);
    EXPECT_EQ(control.starts.load(), 1);
    EXPECT_EQ(hub.backendName(), "null");
    EXPECT_TRUE(eventually([&] { return source.framesAsked.load() >= 960; }));
    hub.removeVoice(voice);
}

TEST(AudioOutputHub, ADeviceStreamThatDiesIsReplacedByTheNullSink)
{
    FakeDevice::Control control;
    AudioOutputHub hub;
    hub.setDeviceFactory([&] { return std::make_unique<FakeDevice>(control); });
    ConstantSource source({0});
    AudioVoice* voice = hub.addVoice(&source, 2);
    ASSERT_EQ(hub.backendName(), "fake");
    EXPECT_DOUBLE_EQ(hub.streamLatency(), 0.02);
    {
        // The device goes away: its stream reports the end from the device's own thread.
        std::lock_guard lock(control.mutex);
        std::thread([failed = control.failed] { failed(); }).join();
    }
    EXPECT_TRUE(eventually([&] { return hub.backendName() == "null"; }));
    const int64_t before = source.framesAsked.load();
    EXPECT_TRUE(eventually([&] { return source.framesAsked.load() >= before + 960; })); // the clock runs again
    hub.removeVoice(voice);
}
