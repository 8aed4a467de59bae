// The display link rests when its frames show nothing live and comes back on a live frame or a
// wake: nothing timed, only what the link does next.
#include "app/gl/displaylink/KLVDisplayLink.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

struct Script {
    std::atomic<bool> live{false};
    std::atomic<int64_t> frames{0};
};

KLVDisplayLink::Callbacks callbacks(Script& script)
{
    KLVDisplayLink::Callbacks c;
    c.frame = [&script] {
        ++script.frames;
        return KLVDisplayLink::Frame{std::nullopt, script.live.load()};
    };
    return c;
}

} // namespace

TEST(DisplayLink, RestsWhileNothingIsLiveAndRunsAgainOnALiveFrameOrAWake)
{
    Script script;
    KLVDisplayLink link(callbacks(script), 1000.0);
    link.start();
    ASSERT_TRUE(testsupport::waitUntil([&] { return link.isResting(); }));
    EXPECT_EQ(link.rests(), 1);
    // A rest still looks now and then: a change nobody announced is found.
    const int64_t resting = script.frames.load();
    ASSERT_TRUE(testsupport::waitUntil([&] { return script.frames.load() > resting; }));

    // Live frames keep the refresh rate: more than a run of quiet frames without a rest.
    script.live.store(true);
    ASSERT_TRUE(testsupport::waitUntil([&] { return !link.isResting(); }));
    const int64_t from = script.frames.load();
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return script.frames.load() > from + 3 * KLVDisplayLink::kQuietFramesBeforeRest; }));
    EXPECT_FALSE(link.isResting());

    // Quiet again: it rests (once, however long); a wake brings a run of frames at the refresh
    // rate, after which it rests again.
    script.live.store(false);
    ASSERT_TRUE(testsupport::waitUntil([&] { return link.rests() == 2; }));
    const int64_t looked = script.frames.load();
    ASSERT_TRUE(testsupport::waitUntil([&] { return script.frames.load() > looked + 2; }));
    EXPECT_EQ(link.rests(), 2);
    link.wake();
    ASSERT_TRUE(testsupport::waitUntil([&] { return link.rests() == 3; }));
    link.stop();
    EXPECT_FALSE(link.isRunning());
}

TEST(DisplayLink, StopEndsARestingLink)
{
    Script script;
    KLVDisplayLink link(callbacks(script), 60.0);
    link.start();
    ASSERT_TRUE(testsupport::waitUntil([&] { return link.isResting(); }));
    link.stop(); // does not wait for the rest to end
    EXPECT_FALSE(link.isRunning());
    EXPECT_FALSE(link.isResting());
}
