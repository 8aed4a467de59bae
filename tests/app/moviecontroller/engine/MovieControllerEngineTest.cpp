// A cue loaded by the movie controller into the real engine: the first frame played is the in
// point even with the slate shown, and the controller's time follows the playback clock.
#include "app/document/KLVPlaylistNode.h"
#include "app/moviecontroller/KLVDecoderEngine.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "app/util/QMTimeCodeConversions.h"
#include "engine/decoder/ssMediaDecoder3.h"
#include "platform/audio/AudioOutputHub.h"
#include "platform/clock/ManualClock.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"
#include "tests/support/media/MediaGenerator.h"
#include "tests/ui/support/ManualTimerSource.h"

#include <QImage>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

using namespace testsupport;

namespace {

constexpr int kWidth = 320, kHeight = 240;

platform::ManualClock& playbackClock()
{
    static platform::ManualClock clock;
    return clock;
}

// An engine rendering for a card of kWidth x kHeight at 25 fps, its sound on the null sink paced
// by the playback clock (made before the hub, so that it outlives the hub's sink thread at exit).
std::unique_ptr<KLVDecoderEngine> cardEngine()
{
    platform::AudioOutputHub::shared().selectBackend(platform::AudioOutputHub::Backend::Null, &playbackClock());
    const char* build = std::getenv("KLV_BINARY_DIR");
    auto engine = std::make_unique<KLVDecoderEngine>(build ? build : ".", nullptr);
    const ssOutputFormat card{2, kWidth, kHeight, 0, 25.0f};
    engine->decoder()->SetOutputFormat(&card);
    return engine;
}

// The barcode of the frame a card would take now (its raster read back by the render thread),
// copied out as a card copies it: a load on another thread may free the slot's bytes right after.
std::optional<uint32_t> present(ssMediaDecoder3& decoder)
{
    thread_local std::vector<uint8_t> raster(size_t(kWidth) * kHeight * 2);
    int32_t w = 0, h = 0, dw = 0, dh = 0, state = 0;
    const int32_t index = decoder.GetFrameForOutput(&w, &h, &dw, &dh, &state);
    if (index < 0 || !decoder.CopyFramePixels(index, kWidth, kHeight, raster.data(), raster.size()))
        return std::nullopt;
    return FrameBarcode::read(raster.data(), kWidth, kHeight, kWidth * 2, BarcodePixels::Uyvy422);
}

} // namespace

TEST(MovieControllerEngine, SlatedCueStartsAtItsInPointAndKeepsTime)
{
    // A 4 s clip at 25 fps, below folders that make its path long and not ASCII.
    TempFolder home;
    std::filesystem::path folder = home.fsPath();
    for (int i = 0; i < 6; ++i)
        folder /= "Bühnenbild-Übersicht-Größe-" + std::to_string(i) + "-" + std::string(150, 'x');
    std::filesystem::create_directories(folder);
    MediaClip clip = mediaClip("no_audio");
    clip.file = "Schluss-Übung.mov";
    clip.frames = 100;
    ASSERT_EQ(MediaGenerator(folder, ffmpegProgram().toStdString()).make(clip), "");
    const QString path = QString::fromStdString((folder / clip.file).string());
    ASSERT_GT(path.toUtf8().size(), 1023);

    platform::ManualClock& clock = playbackClock();
    auto engine = cardEngine();
    ssMediaDecoder3& decoder = *engine->decoder();
    decoder.SetShowSlate(1);

    ManualTimerSource timers;
    KLVMovieController movie(std::move(engine), timers);
    auto node = KLVPlaylistNode::create();
    node->setPlnSourcePath(path);
    node->setInPoint(2.0);
    node->setOutPoint(4.0);
    QImage slate(kWidth, kHeight, QImage::Format_RGB32);
    slate.fill(Qt::darkGray);
    node->setSlate(slate);
    movie.loadMovieForNode(node, true, false);
    KLVPlaybackEngine& port = *movie.movie();
    // The load runs on the engine's own thread; the controller has taken the cue at once.
    EXPECT_TRUE(movie.isCueing());
    ASSERT_TRUE(waitUntil([&] { return !movie.isCueing(); }, 60000));
    ASSERT_TRUE(port.IsFileOpen());
    bool ready = false;
    ASSERT_TRUE(waitUntil([&] { return ready = ready || port.BuffersReady(); }, 60000));

    movie.play();
    std::optional<uint32_t> first;
    for (int step = 0; step < 100; ++step) {
        ASSERT_TRUE(clock.step(10'000'000, 1));
        // Real-time pacing beside the stepped clock keeps the decoders from starving.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const std::optional<uint32_t> shown = present(decoder);
        if (!first && shown)
            first = shown;
    }
    ASSERT_TRUE(first.has_value()) << "no frame with a barcode was shown";
    EXPECT_EQ(*first, 50u) << "the first frame played is the in point (2 s at 25 fps)";
    const double elapsed = QMTimeCodeConversions::secondsWithFrameRate(movie.currentTime(), 25.0f);
    EXPECT_NEAR(elapsed, 1.0, 0.15);
    EXPECT_NEAR(port.GetCurrentTime(), 3.0, 0.15);
    movie.stop();
}

TEST(MovieControllerEngine, ACueToAPositionIsDoneOnlyOnceTheEngineStandsThere)
{
    // Automation cues a clip (a load) and a position in it (a seek after the load), then plays
    // as soon as the channel says the cue is done: by then the output must have the position,
    // or the play would wait behind the rest of the cue.
    TempFolder home;
    MediaClip clip = mediaClip("no_audio");
    clip.file = "cued.mov";
    clip.frames = 100;
    ASSERT_EQ(MediaGenerator(home.fsPath(), ffmpegProgram().toStdString()).make(clip), "");

    auto engine = cardEngine();
    ssMediaDecoder3& decoder = *engine->decoder();
    ManualTimerSource timers;
    KLVMovieController movie(std::move(engine), timers);
    // The card's side: takes what the engine has for it, as a card would every period.
    std::atomic<bool> presenting{true};
    std::thread output([&] {
        while (presenting.load()) {
            present(decoder);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });

    auto node = KLVPlaylistNode::create();
    node->setPlnSourcePath(QString::fromStdString((home.fsPath() / clip.file).string()));
    for (const int seconds : {1, 0}) {
        SCOPED_TRACE(seconds);
        movie.loadMovieForNode(node, false, false);
        movie.pause();
        movie.seekToTimeCode(QMTimeCode::timecodeWithFrames(0, std::uint64_t(seconds), 0, 0));
        EXPECT_TRUE(movie.isCueing());
        ASSERT_TRUE(waitUntil([&] { return !movie.isCueing(); }, 60000));
        EXPECT_NEAR(decoder.GetCurrentTime(), double(seconds), 0.02);
    }
    presenting.store(false);
    output.join();
}
