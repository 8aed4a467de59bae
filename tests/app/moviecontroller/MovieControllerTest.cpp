// The movie controller's transport rules over a scripted engine.
#include "app/document/KLVPlaylistNode.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"
#include "tests/ui/support/FakePlaybackEngine.h"
#include "tests/ui/support/ManualTimerSource.h"

#include <QImage>

#include <thread>

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

namespace {

struct RecordingBar final : QMProgressBar {
    QMProgressViewDelegate* delegate = nullptr;
    double max = 100, in = 0, out = 0, value = 0;
    int valueSets = 0;
    void setDelegate(QMProgressViewDelegate* d) override { delegate = d; }
    double maxValue() const override { return max; }
    void setMaxValue(double v) override { max = v; }
    double inValue() const override { return in; }
    void setInValue(double v) override { in = v; }
    double outValue() const override { return out; }
    void setOutValue(double v) override { out = v; }
    double doubleValue() const override { return value; }
    void setDoubleValue(double v) override
    {
        value = v;
        ++valueSets;
    }
};

struct RecordingLabel final : KLVTimeLabel {
    QString text;
    void setText(const QString& t) override { text = t; }
    void setTextColor(const QColor&) override {}
};

struct RecordingOwner final : KLVMovieControllerDelegate {
    int endpoints = 0;
    long tag() const override { return 1; }
    void endpointReached() override { ++endpoints; }
    bool isMaster() const override { return false; }
    void seekToSeconds(double, int) override {}
    void pauseForSeek() override {}
    void playFromSeek() override {}
    void setHasReference(bool) override {}
    bool showSlate() const override { return false; }
};

} // namespace

TEST(MovieController, CommandCodesAndTransportSegmentsShareOneMapping)
{
    RecordingBar bar; // outlives the controller, which detaches from it when it goes
    Fixture f;
    f.movie->setProgressBar(&bar);
    EXPECT_EQ(bar.delegate, f.movie.get());
    f.movie->loadMovieForNode(f.cue(1.0, 9.0), false, false);
    const struct {
        long code;
        const char* call;
    } codes[] = {{1, "Seek 1.000 0"}, {2, "StepBackward"}, {3, "Pause"}, {4, "Play"},
                 {5, "StepForward"},  {6, "Seek 10.000 0"}, {7, "Stop"}};
    for (const auto& c : codes) {
        f.engine->calls.clear();
        f.movie->executeCommand(c.code);
        ASSERT_FALSE(f.engine->calls.empty()) << c.code;
        EXPECT_EQ(f.engine->calls.front(), c.call) << c.code;
    }
    // Unknown codes run nothing but still refresh the bar once the buffers are ready.
    for (long code : {0L, 8L}) {
        f.engine->calls.clear();
        const int sets = bar.valueSets;
        f.movie->executeCommand(code);
        EXPECT_TRUE(f.engine->calls.empty());
        EXPECT_EQ(bar.valueSets, sets + 1);
    }
    // Segment 3 of a transport control is play (code 4), as on the all-channel transport.
    EXPECT_EQ(KLVMovieController::commandForSegment(3), 4);
    f.movie->deckControlFromSegment(3);
    EXPECT_TRUE(f.movie->isPlaying());
    f.movie->deckControlFromButton(7);
    EXPECT_FALSE(f.movie->isPlaying());
    f.movie->setProgressBar(nullptr);
    EXPECT_EQ(bar.delegate, nullptr);
}

TEST(MovieController, RefusedRangesAreReportedAndNeverShown)
{
    RecordingBar bar; // outlives the controller, which detaches from it when it goes
    Fixture f;
    f.movie->setProgressBar(&bar);
    f.movie->loadMovieForNode(f.cue(2.0, 8.0), false, false);
    EXPECT_DOUBLE_EQ(bar.in, 2.0);
    EXPECT_DOUBLE_EQ(bar.out, 8.0);
    EXPECT_DOUBLE_EQ(bar.max, 6.0);

    EXPECT_FALSE(f.movie->setOutPoint(QMTimeCode::timecodeWithFrames(0, 1, 0, 0)));
    EXPECT_FALSE(f.movie->setOutPointAsDurationFromInPoint(QMTimeCode::zeroTime()));
    EXPECT_DOUBLE_EQ(f.engine->outPoint, 8.0);
    EXPECT_TRUE(f.movie->setOutPointAsDurationFromInPoint(QMTimeCode::timecodeWithFrames(0, 3, 0, 0)));
    EXPECT_DOUBLE_EQ(f.engine->outPoint, 5.0);

    // A handle dragged past the other: the engine refuses, the bar goes back to the engine's range.
    bar.in = 6.0;
    bar.out = 4.0;
    f.movie->updateInOutPoints(bar);
    EXPECT_DOUBLE_EQ(bar.in, 2.0);
    EXPECT_DOUBLE_EQ(bar.out, 5.0);

    // Without a frame rate a time code's frames count for nothing: no NaN reaches the engine.
    f.engine->frameRate = 0;
    f.movie->seekToTimeCode(QMTimeCode::timecodeWithFrames(12, 1, 0, 0));
    EXPECT_DOUBLE_EQ(f.engine->currentTime, 3.0);
    EXPECT_TRUE(f.movie->setInPoint(QMTimeCode::timecodeWithFrames(5, 1, 0, 0)));
    EXPECT_DOUBLE_EQ(f.engine->inPoint, 1.0);
}

TEST(MovieController, TimesAndLabelsAtTheEndsOfTheRange)
{
    Fixture f;
    RecordingLabel elapsed, remaining;
    f.movie->setTimeIn(&elapsed);
    f.movie->setTimeOut(&remaining);
    f.movie->loadMovieForNode(f.cue(1.0, 5.0), false, false);
    EXPECT_EQ(f.movie->remainingTime().stringValue(), f.movie->duration().stringValue());
    EXPECT_EQ(elapsed.text, QStringLiteral("00:00:00;00"));
    f.movie->seekToSeconds(5.0, 0);
    EXPECT_EQ(f.movie->remainingTime().stringValue(), QMTimeCode::zeroTime().stringValue());
    EXPECT_EQ(f.movie->currentTime().seconds(), 4u);
    EXPECT_GT(f.movie->currentTime().framerate(), 0.0); // the clip's rate travels with its times
    EXPECT_EQ(f.movie->currentTime().framerate(), f.movie->duration().framerate());
    EXPECT_EQ(remaining.text, QStringLiteral("00:00:00;00"));

    f.movie->play();
    f.movie->stepForward();
    EXPECT_TRUE(f.movie->isPlaying());
    f.movie->stepBackward();
    EXPECT_FALSE(f.movie->isPlaying());

    // Rate 0 after a reverse shuttle ends it: nothing seeks any more.
    f.movie->playAtRate(-4.0f);
    f.clock.advance(200);
    f.movie->playAtRate(0.0f);
    const int seeks = f.engine->count("Seek");
    f.clock.advance(1000);
    EXPECT_EQ(f.engine->count("Seek"), seeks);
    EXPECT_EQ(f.engine->count("Play"), 1);

    // The inspector's labels: the position in the file and what is left of all of it, in frames
    // at the clip's rate (2.5 s and 7.5 s at 25 are frames 62 and 187).
    ManualTimerSource clock;
    auto engine = std::make_unique<FakePlaybackEngine>();
    engine->fileOpen = true;
    engine->fileDuration = 10.0;
    engine->currentTime = 2.5;
    engine->inPoint = 1.0;
    engine->outPoint = 9.0;
    KLVMovieController inspector(std::move(engine), clock, 1);
    RecordingLabel in1, out1;
    inspector.setTimeIn(&in1);
    inspector.setTimeOut(&out1);
    EXPECT_EQ(in1.text, QStringLiteral("00:00:02;12"));
    EXPECT_EQ(out1.text, QStringLiteral("00:00:07;12"));
}

TEST(MovieController, EndOfRangeNoticeReachesTheOwnerOnlyWhileTheControllerLives)
{
    Fixture f;
    RecordingOwner owner;
    f.movie->setDelegate(&owner);
    std::function<void()> notice = f.engine->endpointReached;
    ASSERT_TRUE(notice);
    std::thread([&] { notice(); }).join(); // from the presenting thread
    pumpEvents(50);
    EXPECT_EQ(owner.endpoints, 1);

    // A notice in flight when the controller goes is dropped on main.
    std::thread([&] { notice(); }).join();
    f.movie.reset();
    pumpEvents(50);
    EXPECT_EQ(owner.endpoints, 1);
}
