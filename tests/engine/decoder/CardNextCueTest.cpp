// The next cue through the running engine, on a reference moved by the test: opened ahead, its in
// point airs in the period right after the last frame of the cue before it, for clips with and
// without sound; a cue that cannot follow so, or is dropped, leaves the cue to end at its out point,
// wherever the hand-over had come to when it was dropped.

#include "CardRig.h"

#include "tests/support/MediaFiles.h"
#include "tests/support/OnAirAccuracy.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

using testsupport::describeRuns;

namespace {

constexpr int64_t kNtscDuration = 1001;
constexpr int64_t kNtscScale = 30000;
constexpr double kNtscStep = 1001.0 / 30000.0;

std::string clipPath(const char* name)
{
    return testsupport::mediaPath(name).toStdString();
}

// One period at a time, each once the engine has three frames rendered, or every frame its last
// cue still has (a cue with another after it always has three: the next one's follow).
void runPlaying(CardRig& rig, ssMediaDecoder3& engine, int periods, bool lastCue)
{
    for (int i = 0; i < periods; ++i) {
        auto ready = [&] {
            const long left = std::lround((engine.GetOutPoint() - engine.GetCurrentTime()) / kNtscStep);
            const int need = lastCue ? std::clamp(int(left), 0, 3) : 3;
            return engine.GetFramesReady() >= need || engine.GetThreadState() != ssStatePlaying;
        };
        testsupport::waitUntil(ready, 5000);
        rig.runAhead(1);
    }
}

// The codes from the first one after the cued frame.
std::vector<int64_t> afterCued(std::vector<int64_t> codes, int64_t cued)
{
    codes.erase(codes.begin(), std::find_if(codes.begin(), codes.end(), [cued](int64_t c) { return c != cued; }));
    return codes;
}

} // namespace

TEST(EngineNextCue, EachPreparedCuesInPointAirsInThePeriodAfterTheLastFrameOfTheCueBeforeIt)
{
    // Intra-coded with PCM, and long-GOP with AAC (the decoder holds pictures back to the end).
    for (const char* clip : {"prores_2997", "h264_2997_aac"}) {
        SCOPED_TRACE(clip);
        const std::string path = clipPath(clip);
        CardRig rig(1, kNtscDuration, kNtscScale);
        ASSERT_TRUE(rig.open(0, clip));
        ssMediaDecoder3& engine = rig.engine(0);
        engine.SetPlaybackBehavior(2);
        ASSERT_EQ(engine.SetInOutPoints(0.0, 20 * kNtscStep), 0);
        ASSERT_EQ(engine.PrepareNext(path.c_str(), 30 * kNtscStep, 50 * kNtscStep, 2), 0);
        rig.run(4);
        const int64_t played = rig.nextPeriod();
        engine.Play();
        // Frames 1..19 of the first cue, then 30..49 of the second.
        runPlaying(rig, engine, 19 + 5, false);
        ASSERT_EQ(engine.GetHandOvers(), 1u) << describeRuns(rig.onAir(0, played));
        // As the channel does once a cue is on air: the one after it, which ends the run.
        ASSERT_EQ(engine.PrepareNext(path.c_str(), 0.0, 15 * kNtscStep, 0), 0);
        runPlaying(rig, engine, 15, false);
        runPlaying(rig, engine, 15 + 6, true);
        EXPECT_EQ(engine.GetHandOvers(), 2u);

        std::vector<int64_t> expected;
        for (int64_t f = 1; f <= 19; ++f)
            expected.push_back(f);
        for (int64_t f = 30; f <= 49; ++f)
            expected.push_back(f);
        for (int64_t f = 0; f <= 14; ++f)
            expected.push_back(f);
        std::vector<int64_t> codes = afterCued(rig.onAir(0, played), 0);
        ASSERT_GE(codes.size(), expected.size()) << describeRuns(codes);
        // The last cue stops on its last frame.
        EXPECT_TRUE(std::all_of(codes.begin() + long(expected.size()), codes.end(), [](int64_t c) { return c == 14; }))
            << describeRuns(codes);
        codes.resize(expected.size());
        EXPECT_EQ(codes, expected) << describeRuns(codes);
        // The engine now names the cue on air: its range, and where it is in it.
        EXPECT_NEAR(engine.GetInPoint(), 0.0, 1e-6);
        EXPECT_NEAR(engine.GetOutPoint(), 14 * kNtscStep, 1e-6);
        EXPECT_NEAR(engine.GetCurrentTime(), 14 * kNtscStep, 0.5 * kNtscStep);
    }
}

TEST(EngineNextCue, ACueThatCannotFollowOrIsDroppedLeavesTheCueToEndAtItsOutPoint)
{
    // Another rate cannot run through the same queues; a dropped cue is not played at all.
    for (bool dropped : {false, true}) {
        SCOPED_TRACE(dropped ? "dropped" : "another rate");
        CardRig rig(1, kNtscDuration, kNtscScale);
        ASSERT_TRUE(rig.open(0, "prores_2997"));
        ssMediaDecoder3& engine = rig.engine(0);
        std::atomic<int> ends{0};
        KLVChannelNotifier notifier([&ends] { ++ends; });
        engine.SetDelegate(&notifier);
        engine.SetPlaybackBehavior(2);
        ASSERT_EQ(engine.SetInOutPoints(0.0, 20 * kNtscStep), 0);
        if (dropped) {
            ASSERT_EQ(engine.PrepareNext(clipPath("prores_2997").c_str(), 40 * kNtscStep, 60 * kNtscStep, 0), 0);
        } else {
            EXPECT_EQ(engine.PrepareNext(clipPath("prores_5994").c_str(), 0.0, 1.0, 0), -2);
        }
        rig.run(4);
        const int64_t played = rig.nextPeriod();
        engine.Play();
        runPlaying(rig, engine, 10, true);
        if (dropped)
            engine.ClearNext();
        runPlaying(rig, engine, 9 + 6, true);
        const std::vector<int64_t> codes = afterCued(rig.onAir(0, played), 0);
        ASSERT_FALSE(codes.empty());
        EXPECT_EQ(codes.back(), 19) << describeRuns(codes);
        EXPECT_TRUE(std::none_of(codes.begin(), codes.end(), [](int64_t c) { return c >= 20; })) << describeRuns(codes);
        EXPECT_EQ(engine.GetHandOvers(), 0u);
        EXPECT_EQ(ends.load(), 1);
        EXPECT_EQ(engine.GetThreadState(), ssStatePaused);
        engine.SetDelegate(nullptr);
    }
}

namespace {

// Where the test changes the prepared cue: before the reader reaches the out point, at the
// reader's steps of the hand-over, or once the cue's last frame is on air before the swap.
enum class Moment { BeforeOutPoint, AtOutPoint, DecodersDone, AfterLastFrame };

const char* momentName(Moment moment)
{
    switch (moment) {
    case Moment::BeforeOutPoint: return "before the out point";
    case Moment::AtOutPoint: return "at the out point";
    case Moment::DecodersDone: return "decoders done";
    case Moment::AfterLastFrame: return "after the last frame";
    }
    return "";
}

// Holds the reader at a hand-over step until the test lets it go (bounded, so that a fault
// fails the test instead of hanging it).
class ReaderGate {
public:
    void hold()
    {
        std::unique_lock lock(mutex_);
        held_ = true;
        changed_.notify_all();
        changed_.wait_for(lock, std::chrono::seconds(60), [this] { return released_; });
    }
    bool waitHeld()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(60), [this] { return held_; });
    }
    void release()
    {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    bool isHolding()
    {
        std::lock_guard lock(mutex_);
        return held_ && !released_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    bool released_ = false;
};

struct Channel {
    const char* clip;
    int64_t duration;
    int64_t scale;
    int64_t lastFrame; // of the playing cue (its range starts at 0)
};

} // namespace

TEST(EngineNextCue, APreparedCueDroppedOrReplacedAtAnyStageOfTheHandOverLeavesTheCueToEndAtItsOutPoint)
{
    // The reader holds seconds of a clip: only an out point further on than that is reached
    // after a change made while playing. At the out point the steps are the reader's own.
    const Channel longRange{"mjpeg_10s", 1000, 25000, 179};
    const Channel ntsc{"prores_2997", kNtscDuration, kNtscScale, 19};
    const Channel doubleNtsc{"prores_5994", kNtscDuration, 2 * kNtscScale, 19};
    const std::vector<std::pair<Channel, Moment>> cases = {
        {longRange, Moment::BeforeOutPoint}, {ntsc, Moment::AtOutPoint},        {ntsc, Moment::DecodersDone},
        {ntsc, Moment::AfterLastFrame},      {doubleNtsc, Moment::AtOutPoint}, {doubleNtsc, Moment::DecodersDone},
        {doubleNtsc, Moment::AfterLastFrame}};
    for (const auto& [channel, moment] : cases) {
        for (bool replaced : {false, true}) {
            SCOPED_TRACE(std::string(channel.clip) + ", " + momentName(moment) + (replaced ? ", replaced" : ", dropped"));
            const std::string path = clipPath(channel.clip);
            const double step = double(channel.duration) / double(channel.scale);
            CardRig rig(1, channel.duration, channel.scale);
            ASSERT_TRUE(rig.open(0, channel.clip));
            ssMediaDecoder3& engine = rig.engine(0);
            std::atomic<int> ends{0};
            KLVChannelNotifier notifier([&ends] { ++ends; });
            engine.SetDelegate(&notifier);
            engine.SetPlaybackBehavior(2);
            ASSERT_EQ(engine.SetInOutPoints(0.0, double(channel.lastFrame + 1) * step), 0);

            std::atomic<bool> endingSeen{false};
            std::atomic<bool> changed{false};
            auto change = [&] {
                if (replaced)
                    EXPECT_EQ(engine.PrepareNext(path.c_str(), 70 * step, 80 * step, 0), 0);
                else
                    engine.ClearNext();
                changed = true;
            };
            ReaderGate gate;
            engine.ObserveHandOver([&](ssMediaDecoder3::HandOverStep reached) {
                if (reached == ssMediaDecoder3::HandOverStep::Ending)
                    endingSeen = true;
                if (moment == Moment::AtOutPoint && reached == ssMediaDecoder3::HandOverStep::Ending)
                    change();
                if (moment == Moment::DecodersDone && reached == ssMediaDecoder3::HandOverStep::DecodersParked)
                    change();
                if (moment == Moment::AfterLastFrame && reached == ssMediaDecoder3::HandOverStep::DecodersParked) {
                    gate.hold();
                    change();
                }
            });
            // The reader reaches the out point of a cue cued so once the next cue is prepared.
            ASSERT_EQ(engine.PrepareNext(path.c_str(), 40 * step, 60 * step, 0), 0);
            rig.run(4);
            const int64_t played = rig.nextPeriod();
            engine.Play();
            // Three frames ready before each period while the next cue may still come (its first
            // frames follow the last), or every frame the cue on air still has.
            // Past the last frame, a change the reader makes is made before the next period.
            auto period = [&](bool nextMayCome) {
                auto ready = [&] {
                    const long left = std::lround((engine.GetOutPoint() - engine.GetCurrentTime()) / step);
                    const int need = nextMayCome ? 3 : std::clamp(int(left), 0, 3);
                    const bool changeMade = changed || left > 0 || gate.isHolding();
                    return (engine.GetFramesReady() >= need && changeMade) || engine.GetThreadState() != ssStatePlaying;
                };
                testsupport::waitUntil(ready, 5000);
                rig.runAhead(1);
            };
            if (moment == Moment::BeforeOutPoint) {
                period(false);
                ASSERT_FALSE(endingSeen.load());
                change();
            }
            if (moment == Moment::AfterLastFrame) {
                // The decoders finish the clip as the card takes its frames; the swap is held
                // until the last one has gone on air.
                auto lastOnAir = [&] {
                    const std::vector<int64_t> codes = rig.onAir(0, played);
                    return !codes.empty() && codes.back() == channel.lastFrame;
                };
                for (int i = 0; i < 60 && !lastOnAir(); ++i)
                    period(false);
                ASSERT_TRUE(gate.waitHeld());
                ASSERT_TRUE(lastOnAir());
                period(false); // the last frame stays on air while the swap waits
                gate.release();
            }
            for (int i = 0; i < 200 && engine.GetThreadState() == ssStatePlaying; ++i)
                period(replaced && engine.GetHandOvers() == 0);
            rig.runAhead(3); // resting at the end: nothing more is rendered
            engine.ObserveHandOver(nullptr);
            engine.SetDelegate(nullptr);

            const std::vector<int64_t> codes = afterCued(rig.onAir(0, played), 0);
            std::vector<int64_t> expected;
            for (int64_t f = 1; f <= channel.lastFrame; ++f)
                expected.push_back(f);
            // Only the wait at the last frame may hold it on air beyond its period.
            if (moment == Moment::AfterLastFrame) {
                const auto held = std::count(codes.begin(), codes.end(), channel.lastFrame) - 1;
                EXPECT_GE(held, 1) << describeRuns(codes);
                expected.insert(expected.end(), size_t(std::max<long>(held, 0)), channel.lastFrame);
            }
            const int64_t lastAired = replaced ? 79 : channel.lastFrame;
            if (replaced)
                for (int64_t f = 70; f <= 79; ++f)
                    expected.push_back(f);
            ASSERT_GE(codes.size(), expected.size()) << describeRuns(codes);
            EXPECT_TRUE(std::all_of(codes.begin() + long(expected.size()), codes.end(),
                                    [&](int64_t c) { return c == lastAired; }))
                << describeRuns(codes);
            EXPECT_EQ(std::vector<int64_t>(codes.begin(), codes.begin() + long(expected.size())), expected)
                << describeRuns(codes);
            // The channel is told of the end (and of the cue that followed), and the engine rests.
            EXPECT_EQ(engine.GetHandOvers(), replaced ? 1u : 0u);
            EXPECT_EQ(ends.load(), replaced ? 2 : 1);
            EXPECT_EQ(engine.GetThreadState(), ssStatePaused);
        }
    }
}

TEST(EngineNextCue, ACueWhoseNextCueGoesAsItsEndBecomesALoopGoesRoundFromItsOutPoint)
{
    // The operator makes the End a loop while the hand-over is under way: the channel drops the
    // prepared cue, and the reader, done with the clip, goes round instead of resting there.
    for (Moment moment : {Moment::AtOutPoint, Moment::DecodersDone}) {
        SCOPED_TRACE(momentName(moment));
        const std::string path = clipPath("prores_2997");
        CardRig rig(1, kNtscDuration, kNtscScale);
        ASSERT_TRUE(rig.open(0, "prores_2997"));
        ssMediaDecoder3& engine = rig.engine(0);
        engine.SetPlaybackBehavior(2);
        ASSERT_EQ(engine.SetInOutPoints(0.0, 20 * kNtscStep), 0);
        const auto at = moment == Moment::AtOutPoint ? ssMediaDecoder3::HandOverStep::Ending
                                                     : ssMediaDecoder3::HandOverStep::DecodersParked;
        engine.ObserveHandOver([&](ssMediaDecoder3::HandOverStep reached) {
            if (reached != at)
                return;
            engine.SetPlaybackBehavior(1);
            engine.ClearNext();
        });
        ASSERT_EQ(engine.PrepareNext(path.c_str(), 40 * kNtscStep, 60 * kNtscStep, 0), 0);
        rig.run(4);
        const int64_t played = rig.nextPeriod();
        engine.Play();
        // Round the loop once more and into the next pass.
        for (int i = 0; i < 50; ++i) {
            testsupport::waitUntil([&] { return engine.GetFramesReady() >= 3; }, 5000);
            rig.runAhead(1);
        }
        engine.ObserveHandOver(nullptr);

        const std::vector<int64_t> codes = afterCued(rig.onAir(0, played), 0);
        std::vector<int64_t> expected;
        for (int64_t f = 1; expected.size() < codes.size(); f = (f + 1) % 20)
            expected.push_back(f);
        EXPECT_EQ(codes, expected) << describeRuns(codes);
        EXPECT_EQ(engine.GetHandOvers(), 0u);
        EXPECT_EQ(engine.GetThreadState(), ssStatePlaying);
    }
}
