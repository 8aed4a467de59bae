// The overlay's fade and compositing, and the slate in place of the picture.
#include "tests/engine/render/RenderFixture.h"

#include <atomic>
#include <cstdlib>
#include <thread>

namespace {
const Pair kGrey{128, 126, 128, 126};

std::vector<uint8_t> solid(int width, int height, uint8_t r, uint8_t g, uint8_t b)
{
    std::vector<uint8_t> rgba(size_t(width) * size_t(height) * 4);
    for (size_t i = 0; i < rgba.size(); i += 4) {
        rgba[i] = r;
        rgba[i + 1] = g;
        rgba[i + 2] = b;
        rgba[i + 3] = 255;
    }
    return rgba;
}
} // namespace

TEST_F(RenderTest, FadeReachesFullAfterFadeTimeTimesFrameRateFrames)
{
    Configure(16, 8, 16, 8, false);
    const std::vector<uint8_t> white = solid(4, 4, 255, 255, 255);
    render_->SetOverlayImage(4, 4, white.data(), 0.0f, 0.0f, 16.0f, 8.0f);
    struct Case {
        double fps;
        float seconds;
        int frames;
    };
    for (const Case c : {Case{25.0, 1.0f, 25}, Case{30.0, 0.5f, 15}, Case{60.0, 2.0f, 120}, Case{24.0, 0.7f, 17}}) {
        SCOPED_TRACE(c.fps);
        render_->SetFrameDuration(1.0 / c.fps);
        render_->FadeOverlay(1, c.seconds);
        ssRenderSlot* slot = render_->GetSlot(0);
        int i = 0;
        for (; i < c.frames - 1; ++i)
            ASSERT_EQ(render_->RenderFrame(Uniform(i % ssRenderUploadCount, i / c.fps, kGrey), slot), 0);
        EXPECT_LT(render_->GetOverlayOpacity(), 1.0f);
        ASSERT_EQ(render_->RenderFrame(Uniform(i % ssRenderUploadCount, i / c.fps, kGrey), slot), 0);
        EXPECT_EQ(render_->GetOverlayOpacity(), 1.0f);
        // Full white overlay over the grey picture: video-range white.
        EXPECT_LE(std::abs(At(slot, 4, 4).y0 - 235), 1);

        render_->FadeOverlay(-1, c.seconds);
        for (i = 0; i < c.frames - 1; ++i)
            ASSERT_EQ(render_->RenderFrame(Uniform(i % ssRenderUploadCount, i / c.fps, kGrey), slot), 0);
        EXPECT_GT(render_->GetOverlayOpacity(), 0.0f);
        EXPECT_EQ(render_->GetFadeDirection(), -1);
        ASSERT_EQ(render_->RenderFrame(Uniform(0, 0.0, kGrey), slot), 0);
        EXPECT_EQ(render_->GetOverlayOpacity(), 0.0f);
        EXPECT_EQ(render_->GetFadeDirection(), 0) << "a finished fade-out stops";
        EXPECT_LE(std::abs(At(slot, 4, 4).y0 - 126), 1);
    }
}

TEST_F(RenderTest, HalfFadedOverlayBlendsOnlyInsideItsRectangle)
{
    Configure(16, 8, 16, 8, false);
    render_->SetFrameDuration(1.0 / 2.0);
    const std::vector<uint8_t> white = solid(2, 2, 255, 255, 255);
    // Right half of the raster, from the top.
    render_->SetOverlayImage(2, 2, white.data(), 8.0f, 0.0f, 8.0f, 8.0f);
    render_->FadeOverlay(1, 1.0f);
    ssRenderSlot* slot = render_->GetSlot(0);
    ASSERT_EQ(render_->RenderFrame(Uniform(0, 0.0, kGrey), slot), 0);
    EXPECT_FLOAT_EQ(render_->GetOverlayOpacity(), 0.5f);
    EXPECT_LE(std::abs(At(slot, 1, 3).y0 - 126), 1);
    EXPECT_LE(std::abs(At(slot, 6, 3).y0 - (126 + 235) / 2), 2);

    // A zero fade time cuts.
    render_->FadeOverlay(-1, 0.0f);
    ASSERT_EQ(render_->RenderFrame(Uniform(1, 0.5, kGrey), slot), 0);
    EXPECT_EQ(render_->GetOverlayOpacity(), 0.0f);
}

TEST_F(RenderTest, SlateReplacesThePictureWhileShown)
{
    Configure(16, 8, 16, 8, false);
    const std::vector<uint8_t> red = solid(8, 4, 255, 0, 0);
    render_->SetSlateImage(8, 4, red.data());
    render_->ShowSlate(1);
    ssRenderSlot* slot = render_->GetSlot(0);
    ASSERT_EQ(render_->RenderFrame(Uniform(0, 0.0, kGrey), slot), 0);
    // BT.601 red: Y 81, Cb 90, Cr 240.
    const Pair got = At(slot, 2, 2);
    EXPECT_LE(std::abs(got.y0 - 81), 1);
    EXPECT_LE(std::abs(got.cb - 90), 1);
    EXPECT_LE(std::abs(got.cr - 240), 1);
    render_->ShowSlate(0);
    ASSERT_EQ(render_->RenderFrame(Uniform(1, 0.04, kGrey), slot), 0);
    EXPECT_LE(std::abs(At(slot, 2, 2).y0 - 126), 1);
}

TEST_F(RenderTest, OverlaySlateAndPlacementChangeFromAnotherThreadWhileFramesRender)
{
    // The controls are set from the application's thread while the render thread draws; every
    // frame still comes out, and the last settings hold at the end.
    Configure(16, 8, 32, 8, false);
    const std::vector<uint8_t> white = solid(4, 4, 255, 255, 255);
    std::atomic<bool> done{false};
    std::thread controls([&] {
        for (int i = 0; !done.load(); ++i) {
            render_->SetOverlayImage(4, 4, white.data(), float(i % 8), 0.0f, 8.0f, 8.0f);
            render_->FadeOverlay(i % 2 ? 1 : -1, 0.1f);
            render_->SetAnamorphic(i % 2);
            render_->ShowSlate(0);
            std::vector<int32_t> samples(2 * 16, i);
            render_->Meters().AccumulateMeterLevels(nullptr, samples.data(), 16, 0, 2);
        }
    });
    ssRenderSlot* slot = render_->GetSlot(0);
    for (int i = 0; i < 60; ++i) {
        EXPECT_EQ(render_->RenderFrame(Uniform(i % ssRenderUploadCount, i / 25.0, kGrey), slot), 0);
        (void)render_->Meters().GetDb(1);
    }
    done.store(true);
    controls.join();
    render_->SetOverlayImage(0, 0, nullptr, 0, 0, 0, 0);
    render_->SetAnamorphic(0);
    ASSERT_EQ(render_->RenderFrame(Uniform(0, 0.0, kGrey), slot), 0);
    EXPECT_LE(std::abs(At(slot, 8, 4).y0 - 126), 1);
}

namespace {

// GL objects of each kind the share group holds among the first names.
struct ObjectCount {
    int textures = 0, programs = 0, lists = 0;
    bool operator==(const ObjectCount&) const = default;
};

ObjectCount objectsInShareGroup()
{
    ObjectCount count;
    for (GLuint name = 1; name < 512; ++name) {
        count.textures += glIsTexture(name) ? 1 : 0;
        count.programs += glIsProgram(name) ? 1 : 0;
        count.lists += glIsList(name) ? 1 : 0;
    }
    return count;
}

} // namespace

TEST_F(RenderTest, ReleasedGLObjectsAndContextComeBackWithTheSameSlateAndOverlay)
{
    const ObjectCount before = objectsInShareGroup();
    Configure(16, 8, 16, 8, false);
    // Blue overlay over the right half, faded fully in; a red slate image.
    const std::vector<uint8_t> blue = solid(2, 2, 0, 0, 255);
    render_->SetOverlayImage(2, 2, blue.data(), 8.0f, 0.0f, 8.0f, 8.0f);
    render_->FadeOverlay(1, 0.0f);
    const std::vector<uint8_t> red = solid(8, 4, 255, 0, 0);
    render_->SetSlateImage(8, 4, red.data());
    ssRenderSlot* slot = render_->GetSlot(0);
    auto expectPictures = [&] {
        render_->ShowSlate(0);
        ASSERT_EQ(render_->RenderFrame(Uniform(0, 0.0, kGrey), slot), 0);
        // BT.601 blue: Y 41, Cb 240, Cr 110; the left half keeps the grey picture.
        EXPECT_LE(std::abs(At(slot, 6, 3).y0 - 41), 1);
        EXPECT_LE(std::abs(At(slot, 6, 3).cb - 240), 1);
        EXPECT_LE(std::abs(At(slot, 6, 3).cr - 110), 1);
        EXPECT_LE(std::abs(At(slot, 1, 3).y0 - 126), 1);
        render_->ShowSlate(1);
        ASSERT_EQ(render_->RenderFrame(Uniform(1, 0.04, kGrey), slot), 0);
        // BT.601 red under the blue overlay's half: Y 81, Cb 90, Cr 240.
        EXPECT_LE(std::abs(At(slot, 1, 3).y0 - 81), 1);
        EXPECT_LE(std::abs(At(slot, 1, 3).cr - 240), 1);
    };
    expectPictures();
    EXPECT_NE(objectsInShareGroup(), before);

    render_->ReleaseGL();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_EQ(objectsInShareGroup(), before) << "the renderer left objects in the share group";
    EXPECT_EQ(render_->RenderTargetsReady(), 0);

    // A new context of the same share group, configured as the next file would be.
    context_->DoneCurrent();
    context_->ReleaseDriverContext();
    ASSERT_TRUE(context_->MakeCurrent());
    Configure(16, 8, 16, 8, false);
    slot = render_->GetSlot(0);
    EXPECT_EQ(render_->GetOverlayOpacity(), 1.0f);
    expectPictures();
}
