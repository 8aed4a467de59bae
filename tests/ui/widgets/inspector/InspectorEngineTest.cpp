// The inspector over the real engine on a fixture clip: its private screen output takes the
// engine's frames, and a typed out point becomes the engine's play range.
#include "comm/timecode/QMFrameSplit.h"
#include "app/document/KLVPlaylistNode.h"
#include "app/imagecache/KLVImageManager.h"
#include "app/moviecontroller/KLVDecoderEngine.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "engine/decoder/ssMediaDecoder3.h"
#include "engine/output/ssDVIOutput.h"
#include "platform/audio/AudioOutputHub.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"
#include "tests/ui/support/FakeChannelDelegate.h"
#include "ui/logic/inspector/KLVCueInspectorController.h"
#include "ui/logic/inspector/KLVInspectorTime.h"
#include "ui/widgets/common/QMProgressView.h"
#include "ui/widgets/inspector/KLVCueInspectorWindow.h"

#include <QDir>
#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace testsupport;

namespace {

// The inspector's controller and window over a real engine with its private output, settings in
// a folder of the test's own.
struct InspectorRig {
    // Before anything reads a setting or opens a sound output.
    static bool prepare(const TempFolder& home)
    {
        platform::UserDefaults::setSharedFilePath(home.filePath(QStringLiteral("settings.conf")));
        platform::AudioOutputHub::shared().selectBackend(platform::AudioOutputHub::Backend::Null);
        return true;
    }
    static std::unique_ptr<KLVDecoderEngine> engine()
    {
        const char* build = std::getenv("KLV_BINARY_DIR");
        return std::make_unique<KLVDecoderEngine>(build ? build : ".", nullptr);
    }
    TempFolder home;
    bool prepared = prepare(home);
    FakeChannelDelegate app;
    KLVCueInspectorController controller{app, engine()};
    bool outputAttached = controller.attachPrivateOutput(640, 360);
    KLVCueInspectorWindow window{controller, false};
};

} // namespace

TEST(InspectorEngine, PrivateOutputAndTypedRangeOnTheRealEngine)
{
    InspectorRig rig;
    ASSERT_TRUE(rig.outputAttached);
    FakeChannelDelegate& app = rig.app;
    KLVCueInspectorController& controller = rig.controller;
    KLVCueInspectorWindow& window = rig.window;

    auto node = KLVPlaylistNode::create();
    node->setPlnName(QStringLiteral("clip"));
    node->setPlnSourcePath(mediaPath("h264_2997_aac"));
    node->setFps(29.97);
    node->setOutPoint(2.0);
    window.inspectCue(node, false);
    KLVPlaybackEngine* engine = controller.movieController().movie();
    ASSERT_TRUE(waitUntil([&] { return engine->IsFileOpen(); })); // opened off this thread
    ASSERT_TRUE(waitUntil([&] { return engine->BuffersReady(); }));
    int32_t width = 0, height = 0;
    engine->GetOutputSize(&width, &height);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 360);

    // 15 frames at the clip's rate past one second.
    window.outField()->setText(QStringLiteral("00:00:01;15"));
    emit window.outField()->editingFinished();
    const double expected = qmSecondsOfTimeCode(0, 0, 1, 15, engine->GetFrameRate());
    EXPECT_NEAR(node->outPoint(), expected, 1e-6);
    // The engine keeps its out point on a frame of its own.
    const double engineOut = engine->GetOutPoint();
    EXPECT_NEAR(engineOut, expected, 3 / engine->GetFrameRate());
    EXPECT_NEAR(window.progressView()->outValue(), expected, 1e-6);
    // An out point before the in point is refused by the inspector and the engine alike.
    node->setInPoint(0.5);
    engine->SetInPoint(0.5);
    window.outField()->setText(QStringLiteral("00:00:00;03"));
    emit window.outField()->editingFinished();
    EXPECT_NEAR(node->outPoint(), expected, 1e-6);
    EXPECT_DOUBLE_EQ(engine->GetOutPoint(), engineOut);

    window.close();
    QCoreApplication::processEvents();
    EXPECT_EQ(app.pending.size(), 1u);
}

TEST(InspectorEngine, EachOpeningShowsItsOwnCueNotTheSlateOfTheOneBefore)
{
    InspectorRig rig;
    ASSERT_TRUE(rig.outputAttached);
    KLVCueInspectorController& controller = rig.controller;
    KLVCueInspectorWindow& window = rig.window;
    KLVMovieController& movie = controller.movieController();
    ssMediaDecoder3* decoder = movie.movie()->decoder();
    ASSERT_NE(decoder, nullptr);

    const auto cue = [](const QString& name, bool withSlate) {
        auto node = KLVPlaylistNode::create();
        node->setPlnName(name);
        node->setPlnSourcePath(mediaPath("h264_2997_aac"));
        if (withSlate) {
            QImage slate(320, 180, QImage::Format_RGBA8888);
            slate.fill(Qt::blue);
            node->setSlate(slate);
        }
        return node;
    };
    const auto open = [&](const KLVCueInspectorController::NodePtr& node, bool slates) {
        window.inspectCue(node, slates);
        return waitUntil([&] { return !movie.isCueing() && decoder->BuffersReady(); });
    };

    // A cue with its slate, while the channel shows slates: the slate is the cue's own.
    ASSERT_TRUE(open(cue(QStringLiteral("first"), true), true));
    EXPECT_EQ(decoder->IsSlateShowing(), 1);
    // A cue whose slate is not made yet: its picture, not the slate left from the first.
    ASSERT_TRUE(open(cue(QStringLiteral("second"), false), true));
    EXPECT_EQ(decoder->IsSlateShowing(), 0);
    // From a channel without slates: the picture, whatever the engine showed before.
    ASSERT_TRUE(open(cue(QStringLiteral("first"), true), true));
    ASSERT_EQ(decoder->IsSlateShowing(), 1);
    ASSERT_TRUE(open(cue(QStringLiteral("third"), true), false));
    EXPECT_EQ(decoder->IsSlateShowing(), 0);
    // A cue whose slate was made before but is only on disk, as every cue's is after a restart
    // until a channel loads it: its own slate all the same.
    const auto onDisk = cue(QStringLiteral("fourth"), false);
    QDir().mkpath(KLVImageManager::slateImageFolder());
    QImage saved(320, 180, QImage::Format_RGB32);
    saved.fill(Qt::green);
    ASSERT_TRUE(saved.save(KLVImageManager::slateImagePathForNode(*onDisk), "PNG"));
    ASSERT_TRUE(open(onDisk, true));
    EXPECT_EQ(decoder->IsSlateShowing(), 1);
    window.close();
}

TEST(InspectorEngine, TimeFieldsReadAsTheTimeCodeTypedIntoThem)
{
    InspectorRig rig;
    ASSERT_TRUE(rig.outputAttached);
    FakeChannelDelegate& app = rig.app;
    KLVCueInspectorController& controller = rig.controller;
    KLVCueInspectorWindow& window = rig.window;
    KLVMovieController& movie = controller.movieController();

    // Clips of whole seconds at NTSC rates run a hair longer than the seconds (60 frames at
    // 29.97 are 2.002 s): their length is the time code of their frame count, not a second
    // and a frame count more.
    struct Clip {
        const char* name;
        const char* remaining;
    };
    for (const Clip clip : {Clip{"h264_2997_aac", "00:00:02;00"}, Clip{"prores_2997", "00:00:03;00"},
                            Clip{"prores_5994", "00:00:02;00"}}) {
        SCOPED_TRACE(clip.name);
        auto node = KLVPlaylistNode::create();
        node->setPlnName(QString::fromLatin1(clip.name));
        node->setPlnSourcePath(mediaPath(clip.name));
        window.inspectCue(node, false);
        KLVPlaybackEngine* engine = movie.movie();
        ASSERT_TRUE(waitUntil([&] { return !movie.isCueing() && engine->IsFileOpen() && engine->BuffersReady(); }));
        app.clock.advance(100);
        EXPECT_EQ(window.inField()->text(), QStringLiteral("00:00:00;00"));
        EXPECT_EQ(window.outField()->text(), QString::fromLatin1(clip.remaining));
        // What the field shows reads back as the clip's end.
        const auto typedBack = KLVInspectorTime::parse(window.outField()->text(), engine->GetFrameRate());
        ASSERT_TRUE(typedBack.has_value());
        EXPECT_NEAR(*typedBack, engine->GetDuration(), 1e-3);
    }
    window.close();
}
