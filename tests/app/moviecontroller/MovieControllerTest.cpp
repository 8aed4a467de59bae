// The movie controller's transport rules over a scripted engine.
#include "app/document/KLVPlaylistNode.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "tests/support/TempFolder.h"
#include "tests/ui/support/FakePlaybackEngine.h"
#include "tests/ui/support/ManualTimerSource.h"

#include <QImage>

#include <gtest/gtest.h>

using namespace testsupport;

namespace {
struct Fixture {
    TempFolder home;
    ManualTimerSource clock;
    FakePlaybackEngine* engine;
    std::unique_ptr<KLVMovieController> movie;
    Fixture()
    {
        auto e = std::make_unique<FakePlaybackEngine>();
        engine = e.get();
        movie = std::make_unique<KLVMovieController>(std::move(e), clock);
    }
    std::shared_ptr<KLVPlaylistNode> cue(double in, double out)
    {
        auto node = KLVPlaylistNode::create();
        node->setPlnSourcePath(QStringLiteral("/media/clip.mov"));
        node->setInPoint(in);
        node->setOutPoint(out);
        return node;
    }
};
} // namespace

TEST(MovieController, RatesFollowTheirRuleAndReverseNeverPlays)
{
    Fixture f;
    f.movie->loadMovieForNode(f.cue(0, 10), false, false);
    f.movie->playAtRate(-2.0f);
    f.clock.advance(300);
    EXPECT_EQ(f.engine->count("Play"), 0);
    EXPECT_GT(f.engine->count("Seek"), 0); // rewinding steps backwards by seeking
    f.movie->playAtRate(1.0f);
    EXPECT_TRUE(f.movie->isPlaying());
    f.movie->playAtRate(0.0f);
    EXPECT_FALSE(f.movie->isPlaying());
}

TEST(MovieController, SlateShowsBeforeTheSeekToTheInPoint)
{
    Fixture f;
    auto node = f.cue(2.0, 8.0);
    QImage slate(64, 36, QImage::Format_RGB32);
    slate.fill(Qt::gray);
    node->setSlate(slate);
    f.movie->loadMovieForNode(node, true, false);
    // The slate upload repositions the engine; the in point must be the last position set.
    ASSERT_EQ(f.engine->slateUploads, 1);
    EXPECT_EQ(f.engine->calls.back(), "Seek 2.000 0");
    EXPECT_DOUBLE_EQ(f.engine->currentTime, 2.0);
}

TEST(MovieController, BufferedStartAfterAScrubIsBounded)
{
    Fixture f;
    f.movie->loadMovieForNode(f.cue(0, 10), false, false);
    f.movie->play();
    f.engine->buffersReady = false;
    f.movie->pauseForSeek();
    f.movie->playFromSeek();
    f.clock.advance(60'000);
    EXPECT_FALSE(f.movie->isPlaying());
    // Only the progress updater may still be waiting; the buffered start gave up.
    EXPECT_EQ(f.clock.activeCount(), 0);
}

TEST(MovieController, FastForwardBoostsAtTheOutPointAndRewindStopsAtTheInPoint)
{
    Fixture f;
    f.movie->loadMovieForNode(f.cue(1.0, 4.0), false, false);
    f.engine->currentTime = 4.0;
    f.movie->fastForward();
    f.clock.advance(300); // three ticks at the out point
    EXPECT_DOUBLE_EQ(f.engine->currentTime, 4.0);
    EXPECT_DOUBLE_EQ(f.movie->ffBoost(), 2.0);
    f.movie->rewind();
    f.clock.advance(1000);
    EXPECT_DOUBLE_EQ(f.engine->currentTime, 1.0);
    EXPECT_EQ(f.movie->remainingTime().seconds(), 3u);
}
