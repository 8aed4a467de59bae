// A channel's preview drawn by its movie controller into the preview strip's view, from the
// engine's textures, under the view's lock as the preview display link does.
#include <epoxy/gl.h>

#include "app/document/KLVPlaylistNode.h"
#include "app/gl/RenderView.h"
#include "app/gl/SharedContext.h"
#include "app/moviecontroller/KLVDecoderEngine.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "engine/decoder/ssMediaDecoder3.h"
#include "engine/display/ssShader.h"
#include "engine/render/ssMediaRender.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/WaitUntil.h"
#include "tests/ui/support/ManualTimerSource.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

struct PreviewOwner final : KLVMovieControllerDelegate {
    std::atomic<int> referenceReports{0};
    long tag() const override { return 1; }
    void endpointReached() override {}
    bool isMaster() const override { return false; }
    void seekToSeconds(double, int) override {}
    void pauseForSeek() override {}
    void playFromSeek() override {}
    void setHasReference(bool) override { ++referenceReports; }
    bool showSlate() const override { return false; }
};

// The preview strip on screen, its GL context made.
bool showStrip(RenderView& strip)
{
    strip.setHeadIndex(-1);
    strip.resize(400, 200);
    strip.show();
    return testsupport::waitUntil([&] { return strip.renderSize().width() > 0 && strip.context(); });
}

std::unique_ptr<KLVDecoderEngine> makeEngine(SharedContext& shared)
{
    const char* build = std::getenv("KLV_BINARY_DIR");
    return std::make_unique<KLVDecoderEngine>(build ? build : ".", shared.createEngineContext());
}

} // namespace

TEST(PreviewDrawing, MovieControllerDrawsItsChannelIntoThePreviewView)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "needs an X display";
    SharedContext* shared = SharedContext::instance();
    ASSERT_NE(shared, nullptr);

    RenderView strip;
    ASSERT_TRUE(showStrip(strip));
    auto engine = makeEngine(*shared);
    const ssOutputFormat screen{1, 320, 240, 0, 60.0f};
    engine->decoder()->SetOutputFormat(&screen);
    engine->SetShowSlate(0);
    testsupport::ManualTimerSource timers;
    KLVMovieController movie(std::move(engine), timers);
    PreviewOwner owner;
    movie.setDelegate(&owner);
    auto node = KLVPlaylistNode::create();
    node->setPlnSourcePath(testsupport::mediaPath("h264_2997_aac"));
    movie.loadMovieForNode(node, false, true);
    ASSERT_TRUE(testsupport::waitUntil([&] { return movie.movie()->IsFileOpen(); })); // opened off this thread

    // The preview placeholder sits at (100, 20) in a parent at x 50: drawn at x 52, y 2, 2 px in.
    movie.setPreviewFrames(QRectF(100, 20, 164, 124), QRectF(50, 0, 400, 200));
    const QSize size = strip.renderSize();
    std::vector<uint8_t> pixels(size_t(size.width()) * size_t(size.height()) * 4);
    auto drawnPixels = [&] {
        int drawn = 0;
        strip.lock([&](RenderView&) {
            glClearColor(1, 0, 1, 1);
            glClear(GL_COLOR_BUFFER_BIT);
            movie.drawPreview();
            glFinish();
            glReadPixels(0, 0, size.width(), size.height(), GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        });
        for (size_t i = 0; i < pixels.size(); i += 4)
            drawn += !(pixels[i] == 255 && pixels[i + 1] == 0 && pixels[i + 2] == 255);
        return drawn;
    };
    // The first decoded frame reaches the preview once the engine has rendered it.
    int drawn = 0;
    ASSERT_TRUE(testsupport::waitUntil([&] { return (drawn = drawnPixels()) > 160 * 120 / 2; }, 20000))
        << "pixels drawn: " << drawn;
    // Nothing outside the preview's rectangle (x 52..212, y 2..122 from the bottom).
    auto at = [&](int x, int y) { return &pixels[(size_t(y) * size_t(size.width()) + size_t(x)) * 4]; };
    EXPECT_EQ(at(300, 100)[1], 0);
    EXPECT_EQ(at(20, 100)[1], 0);
    EXPECT_EQ(at(50, 60)[1], 0);
    EXPECT_FALSE(at(54, 60)[0] == 255 && at(54, 60)[2] == 255) << "the preview starts at the parent's x + 2";
    EXPECT_GT(owner.referenceReports.load(), 0);
    movie.loadMovieForNode(nullptr, false, true);
}

TEST(PreviewDrawing, AnEngineUnloadsWhileTheViewDrawsWithoutFreeingWhatTheViewDrawsWith)
{
    // The strip draws every channel in one context: one channel's picture, and beside it another
    // picture drawn with a program of the view's own (a record preview), frame after frame.
    // Meanwhile the channel's cue is unloaded and loaded again: the render thread frees its GL
    // objects and its context. A program the view draws with must not be freed by that thread
    // (the driver's per-context state of it would change under the drawing thread).
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "needs an X display";
    SharedContext* shared = SharedContext::instance();
    ASSERT_NE(shared, nullptr);
    RenderView strip;
    ASSERT_TRUE(showStrip(strip));
    auto engine = makeEngine(*shared);
    ssMediaDecoder3& decoder = *engine->decoder();
    const ssOutputFormat card{2, 320, 240, 0, 25.0f};
    decoder.SetOutputFormat(&card);
    engine->SetShowSlate(0);
    testsupport::ManualTimerSource timers;
    KLVMovieController movie(std::move(engine), timers);
    PreviewOwner owner;
    movie.setDelegate(&owner);
    movie.setPreviewFrames(QRectF(0, 0, 200, 200), QRectF(0, 0, 400, 200));
    auto node = KLVPlaylistNode::create();
    node->setPlnSourcePath(testsupport::mediaPath("mjpeg"));

    ssShader other;
    std::atomic<bool> drawing{true};
    std::vector<std::thread> threads;
    // Both threads end however the test does.
    struct Joiner {
        std::atomic<bool>& drawing;
        std::vector<std::thread>& threads;
        ~Joiner()
        {
            drawing.store(false);
            for (std::thread& t : threads)
                t.join();
        }
    } joiner{drawing, threads};
    std::atomic<uint64_t> frames{0};
    std::atomic<uint32_t> previewProgram{0};
    std::atomic<bool> pictureDrawn{false};
    // The card's side takes frames as a card would: the preview shows the one taken.
    threads.emplace_back([&] {
        while (drawing.load()) {
            int32_t w = 0, h = 0, dw = 0, dh = 0, state = 0;
            decoder.GetFrameForOutput(&w, &h, &dw, &dh, &state);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    threads.emplace_back([&] {
        while (drawing.load()) {
            strip.lock([&](RenderView&) {
                if (!other.program)
                    ssCompileShader(&other, "void main() { gl_Position = ftransform(); }",
                                    "void main() { gl_FragColor = vec4(0.0, 1.0, 0.0, 1.0); }");
                glViewport(0, 0, 400, 200);
                glClearColor(1, 0, 1, 1);
                glClear(GL_COLOR_BUFFER_BIT);
                movie.drawPreview();
                if (const uint32_t p = decoder.GetRender().PreviewProgram()) {
                    previewProgram.store(p);
                    pictureDrawn.store(true);
                }
                glViewport(200, 0, 200, 200);
                glUseProgram(other.program);
                glBegin(GL_QUADS);
                glVertex2f(-1, -1);
                glVertex2f(1, -1);
                glVertex2f(1, 1);
                glVertex2f(-1, 1);
                glEnd();
                glUseProgram(0);
                strip.flushBuffer();
            });
            ++frames;
        }
    });

    for (int pass = 0; pass < 4; ++pass) {
        SCOPED_TRACE(pass);
        pictureDrawn.store(false);
        movie.loadMovieForNode(node, false, true);
        ASSERT_TRUE(testsupport::waitUntil([&] { return !movie.isCueing(); }, 60000));
        ASSERT_TRUE(testsupport::waitUntil([&] { return pictureDrawn.load(); }, 20000)) << "no picture drawn";
        // Unloaded with the view drawing on: the render thread ends and frees what it made.
        movie.loadMovieForNode(nullptr, false, true);
        ASSERT_TRUE(testsupport::waitUntil([&] { return !movie.movie()->IsBusy(); }, 20000));
        const uint64_t after = frames.load();
        ASSERT_TRUE(testsupport::waitUntil([&] { return frames.load() > after + 3; }, 20000));
        bool kept = false;
        strip.lock([&](RenderView&) { kept = glIsProgram(previewProgram.load()) == GL_TRUE; });
        EXPECT_TRUE(kept) << "the program the view draws the picture with was freed by the unload";
    }
    drawing.store(false);
    for (std::thread& t : threads)
        t.join();
    threads.clear();
    strip.lock([&](RenderView&) { ssDeleteShader(&other); });
}
