// A chain of three linked engines on three cards (the middle follows the head, the last follows
// the middle), the head looping a short pass: at every seam of the head each engine of the chain
// goes round in the same period, however the chain was started.

#include "CardRig.h"

#include "engine/output/ssDecklinkPlayout.h"

#include "tests/support/OnAirAccuracy.h"

#include <gtest/gtest.h>

using testsupport::describeRuns;

namespace {

// The clip, the card's rate and the head's pass (frames in..end - 1).
struct Chain {
    const char* clip;
    int64_t frameDuration;
    int64_t timeScale;
    int in;
    int end;
    double step() const { return double(frameDuration) / double(timeScale); }
    int pass() const { return end - in; }
};

// MJPEG at 25 (small packets, read far ahead) and long-GOP H.264 at 59.94.
const Chain kChains[] = {{"mjpeg_10s", 1, 25, 0, 40}, {"h264_720p5994", 1001, 60000, 20, 60}};

// As the channel cues them: the head looping its pass, the middle over the whole clip with End
// Loop, the last over the whole clip with End Stop, each at the head's in point.
void cueChain(CardRig& rig, const Chain& chain)
{
    for (int c = 0; c < 3; ++c)
        ASSERT_TRUE(rig.open(c, chain.clip));
    ssMediaDecoder3& head = rig.engine(0);
    head.SetPlaybackBehavior(1);
    ASSERT_EQ(head.SetInOutPoints(chain.in * chain.step(), chain.end * chain.step()), 0);
    rig.engine(1).SetPlaybackBehavior(1);
    ASSERT_EQ(rig.engine(1).SetMaster(&head, 0.0), 0);
    ASSERT_EQ(rig.engine(2).SetMaster(&rig.engine(1), 0.0), 0);
    for (int c = 0; c < 3; ++c)
        rig.engine(c).Seek(chain.in * chain.step(), 0);
    rig.run(5);
}

// From period `joined` of the head's play on, all three air the same frame in every period, and
// the head airs each frame once, its in point right after its last.
void expectInStep(CardRig& rig, int64_t played, size_t joined, const Chain& chain, int seams)
{
    const std::vector<int64_t> head = rig.onAir(0, played);
    const std::vector<int64_t> middle = rig.onAir(1, played);
    const std::vector<int64_t> last = rig.onAir(2, played);
    ASSERT_EQ(head.size(), middle.size());
    ASSERT_EQ(head.size(), last.size());
    ASSERT_LT(joined, head.size());
    const auto runs = [&] {
        return "\nhead " + describeRuns(head) + "\nmiddle " + describeRuns(middle) + "\nlast " + describeRuns(last);
    };
    int seen = 0;
    for (size_t i = joined; i < head.size(); ++i) {
        ASSERT_EQ(middle[i], head[i]) << "period " << i << runs();
        ASSERT_EQ(last[i], head[i]) << "period " << i << runs();
        if (i == joined)
            continue;
        const bool seam = head[i - 1] == chain.end - 1 && head[i] == chain.in;
        seen += seam ? 1 : 0;
        ASSERT_TRUE(seam || head[i] == head[i - 1] + 1) << "period " << i << runs();
    }
    EXPECT_EQ(seen, seams) << runs();
}

} // namespace

TEST(EngineLinkedChain, AChainOfThreeGoesRoundAtEachOfItsHeadsSeamsInTheSamePeriod)
{
    constexpr int kSeams = 3;
    for (const Chain& chain : kChains) {
        SCOPED_TRACE(chain.clip);
        CardRig rig(3, chain.frameDuration, chain.timeScale);
        cueChain(rig, chain);
        if (HasFatalFailure())
            return;
        const int64_t played = rig.nextPeriod();
        // As the head's channel starts them: the head, then the rest in one turn.
        rig.engine(0).Play();
        rig.run(1);
        rig.engine(1).Play();
        rig.engine(2).Play();
        rig.run(kSeams * chain.pass() + 8);
        // The slaves' plays join the head's within the periods the cards already had.
        expectInStep(rig, played, size_t(ssDecklinkPlayout::kPrerollFrames + 2), chain, kSeams);
        EXPECT_TRUE(rig.engine(1).PassesSeamsWithMaster());
        EXPECT_TRUE(rig.engine(2).PassesSeamsWithMaster());
    }
}

TEST(EngineLinkedChain, AChainWhoseMiddlePlayedOnItsOwnGoesRoundWithItsHeadOnceTheHeadPlays)
{
    // The chain played and paused together; then the middle played as master of the last while
    // the head stayed paused, round one of the head's passes by themselves; then the head's
    // channel re-links the chain (each to its own master) and plays it. Both come back to the
    // head's frame (they hold their own until it comes) and go round with it from then on.
    constexpr int kSeams = 3;
    for (const Chain& chain : kChains) {
        SCOPED_TRACE(chain.clip);
        CardRig rig(3, chain.frameDuration, chain.timeScale);
        cueChain(rig, chain);
        if (HasFatalFailure())
            return;
        for (int c = 0; c < 3; ++c)
            rig.engine(c).Play();
        rig.run(12);
        for (int c = 0; c < 3; ++c)
            rig.engine(c).Pause();
        rig.run(3);
        rig.engine(1).Play();
        rig.run(1);
        rig.engine(2).Play();
        rig.run(chain.pass() + chain.pass() / 4);
        const int64_t held = rig.onAir(0).back();
        ASSERT_GT(held, chain.in) << describeRuns(rig.onAir(0));
        ASSERT_LT(rig.onAir(1).back(), held + chain.pass() / 2) << describeRuns(rig.onAir(1));
        ASSERT_EQ(rig.engine(1).SetMaster(&rig.engine(0), 0.0), 0);
        ASSERT_EQ(rig.engine(2).SetMaster(&rig.engine(1), 0.0), 0);
        const int64_t played = rig.nextPeriod();
        for (int c = 0; c < 3; ++c)
            rig.engine(c).Play();
        rig.run(kSeams * chain.pass() + 8);
        expectInStep(rig, played, size_t(chain.pass() / 2), chain, kSeams);
    }
}
