// A master that stops looping while its slaves go round with it: the slaves air the master's last
// pass in step with it and then play on through their own files from the frame after the pass,
// whatever their readers had read of later passes, up to their own End.

#include "CardRig.h"

#include "tests/support/MediaFiles.h"
#include "tests/support/OnAirAccuracy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using testsupport::describeRuns;
using testsupport::judgeOnAir;

namespace {

struct Card {
    int64_t duration;
    int64_t scale;
};
constexpr Card kCard25{1000, 25000};
constexpr Card kCard5994{1001, 60000};

// When the master's End goes from Loop to Stop, counted from the end of its second pass.
enum class Change { Early, LastFive, LastPeriod };

struct Case {
    const char* clip;
    int frames;     // of the clip, which both slaves play whole
    double rate;    // the clip's
    Card card;
    int pass;       // the master's pass: frames 0 .. pass - 1
    Change change;
};

std::string describe(const Case& c)
{
    const char* change[] = {"early", "in the last five frames", "in the last period"};
    return std::string(c.clip) + " on a " + std::to_string(c.card.scale / c.card.duration) + " card, a pass of " +
           std::to_string(c.pass) + " frames, End changed " + change[int(c.change)];
}

// The master's frame at which its End changes (in its second pass).
int changeAt(const Case& c)
{
    switch (c.change) {
    case Change::Early:
        return 6;
    case Change::LastFive:
        return c.pass - 4;
    case Change::LastPeriod:
        break;
    }
    return c.pass - 2; // its next choice is the pass's last frame
}

} // namespace

TEST(EngineCardSlaveLeavesLoop, SlavesAirTheMastersLastPassThenPlayOnFromThePassEndToTheirOwnEnd)
{
    // Channel 1 loops frames 0 .. pass - 1; channel 2 (End Stop) and channel 3 (End Loop) are
    // linked to it with the whole clip. MJPEG's small packets and a long-GOP clip's fill the
    // slaves' queues one pass ahead (a 4 s pass) or two and more (a short pass).
    const Case cases[] = {
        {"mjpeg_10s", 250, 25.0, kCard25, 100, Change::Early},
        {"mjpeg_10s", 250, 25.0, kCard25, 100, Change::LastFive},
        {"mjpeg_10s", 250, 25.0, kCard25, 100, Change::LastPeriod},
        {"mjpeg_10s", 250, 25.0, kCard25, 40, Change::Early},
        {"mjpeg_10s", 250, 25.0, kCard25, 40, Change::LastFive},
        {"mjpeg_10s", 250, 25.0, kCard25, 40, Change::LastPeriod},
        {"mjpeg", 50, 25.0, kCard5994, 20, Change::LastFive},
        {"h264_720p5994", 180, 60000.0 / 1001.0, kCard5994, 60, Change::LastFive},
        {"h264_720p5994", 180, 60000.0 / 1001.0, kCard5994, 60, Change::LastPeriod},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(describe(c));
        CardRig rig(3, c.card.duration, c.card.scale);
        for (int channel = 0; channel < 3; ++channel)
            ASSERT_TRUE(rig.open(channel, c.clip));
        ssMediaDecoder3& master = rig.engine(0);
        const double step = 1.0 / c.rate;
        const double periodsPerFrame = double(c.card.scale) / double(c.card.duration) / c.rate;
        master.SetPlaybackBehavior(1);
        ASSERT_EQ(master.SetInOutPoints(0.0, c.pass * step), 0);
        rig.engine(2).SetPlaybackBehavior(1);
        for (int slave = 1; slave < 3; ++slave)
            ASSERT_EQ(rig.engine(slave).SetMaster(&master, 0.0), 0);
        for (int channel = 0; channel < 3; ++channel)
            rig.engine(channel).Seek(0.0, 0);
        rig.run(5);
        master.Play();
        rig.run(1);
        rig.engine(1).Play();
        rig.engine(2).Play();

        // Into the second pass, up to the frame the End changes at: the master's latest choice
        // (the card asks for each period's frame a few periods before it airs).
        const int at = changeAt(c);
        const auto chosen = [&] { return int64_t(std::llround(master.GetCurrentTime() / step)); };
        bool wrapped = false;
        int64_t previous = -1;
        for (int i = 0; i < 4 * c.pass * 3 && !(wrapped && previous == at); ++i) {
            rig.run(1);
            const int64_t now = chosen();
            wrapped = wrapped || now < previous;
            previous = now;
        }
        ASSERT_TRUE(wrapped && previous == at) << describeRuns(rig.onAir(0));
        ASSERT_TRUE(rig.engine(1).PassesSeamsWithMaster());
        const int64_t changed = rig.nextPeriod() - 1; // the period on air as the End changes
        master.SetPlaybackBehavior(0);
        rig.run(int((c.frames - at) * periodsPerFrame) + 20);

        const std::vector<int64_t> leading = rig.onAir(0, changed);
        EXPECT_EQ(leading.back(), c.pass - 1) << describeRuns(leading);
        const auto last = std::find(leading.begin(), leading.end(), int64_t(c.pass - 1));
        ASSERT_NE(last, leading.end()) << describeRuns(leading);
        const size_t masterEnds = size_t(last - leading.begin());
        for (int slave = 1; slave < 3; ++slave) {
            SCOPED_TRACE(slave == 1 ? "End Stop" : "End Loop");
            const std::vector<int64_t> following = rig.onAir(slave, changed);
            ASSERT_EQ(following.size(), leading.size());
            // In step with the master up to its last frame.
            for (size_t i = 0; i <= masterEnds; ++i)
                ASSERT_EQ(following[i], leading[i]) << "period " << i << "\nmaster " << describeRuns(leading)
                                                    << "\nslave " << describeRuns(following);
            // Then on from the frame after the pass, each in its cadence, to its own last frame.
            const std::vector<int64_t> after(following.begin() + std::ptrdiff_t(masterEnds), following.end());
            const testsupport::OnAirAccuracy judged = judgeOnAir(after, c.pass, c.frames - 1, 1.0 / periodsPerFrame);
            EXPECT_EQ(judged.total(), 0) << "skipped " << judged.skipped << " repeated " << judged.repeated
                                         << " black " << judged.black << "\nslave " << describeRuns(following);
            // Its own End: held, or round its own range from its in point.
            const auto end = std::find(after.begin(), after.end(), int64_t(c.frames - 1));
            ASSERT_NE(end, after.end()) << describeRuns(following);
            const auto next = std::find_if(end, after.end(), [&](int64_t code) { return code != c.frames - 1; });
            if (slave == 1)
                EXPECT_EQ(next, after.end()) << describeRuns(following);
            else
                EXPECT_TRUE(next != after.end() && *next == 0) << describeRuns(following);
        }
    }
}
