// Card frames that need no drawing skip GL: the same card bytes as the drawn way, a preview that
// shows the same picture, and every frame that needs drawing (overlay, slate, another size,
// weaving) still drawn.
#include "engine/render/ssDirectCardFrame.h"
#include "tests/engine/render/RenderFixture.h"

#include <cstdlib>
#include <cstring>

namespace {

Pair noise(int p, int r)
{
    const uint32_t v = uint32_t(p * 2654435761u) ^ uint32_t(r * 40503u + 0x9e37u);
    return Pair{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t((v >> 24) ^ uint32_t(p + r))};
}

std::vector<uint8_t> cardBytes(const ssRenderSlot* slot)
{
    return std::vector<uint8_t>(slot->pixels, slot->pixels + slot->byteSize);
}

} // namespace

TEST(CardFrameWay, SoftwareDriversAreKnownByName)
{
    EXPECT_TRUE(ssIsSoftwareRenderer("llvmpipe (LLVM 15.0.6, 256 bits)"));
    EXPECT_TRUE(ssIsSoftwareRenderer("softpipe"));
    EXPECT_TRUE(ssIsSoftwareRenderer("Software Rasterizer"));
    EXPECT_TRUE(ssIsSoftwareRenderer(nullptr));
    EXPECT_FALSE(ssIsSoftwareRenderer("AMD Radeon RX 6800 (navi21, LLVM 15.0.6, DRM 3.49, 6.1.0-13-amd64)"));
    EXPECT_FALSE(ssIsSoftwareRenderer("Mesa Intel(R) UHD Graphics 630 (CFL GT2)"));
    EXPECT_FALSE(ssIsSoftwareRenderer("NVIDIA GeForce RTX 3060/PCIe/SSE2"));
}

TEST_F(RenderTest, DirectCardFramesAreTheDrawnOnesByteForByte)
{
    // Every byte value in every position; the preview is a third of the picture each way, as for
    // 1080 (no preview pixel centre falls on a pixel edge).
    constexpr int width = 96;
    constexpr int height = 18;
    Configure(width, height, width, height, false);
    int previewW = 0;
    int previewH = 0;
    render_->GetPreviewSize(&previewW, &previewH);
    ssRenderSlot* slot = render_->GetSlot(3);
    ASSERT_EQ(render_->RenderFrame(Frame(0, 0.0, noise), slot), 0);
    const std::vector<uint8_t> drawn = cardBytes(slot);
    const std::vector<uint8_t> drawnPreview = ReadTexture(slot->previewTexture, previewW, previewH);

    render_->SetCardFrameWay(ssCardFrameWay::Direct);
    std::memset(slot->pixels, 0, slot->byteSize);
    slot->width = slot->height = 0;
    ASSERT_EQ(render_->RenderFrame(Frame(1, 0.04, noise), slot), 0);
    EXPECT_TRUE(cardBytes(slot) == drawn);
    EXPECT_EQ(slot->width, width);
    EXPECT_EQ(slot->height, height);
    EXPECT_DOUBLE_EQ(slot->time, 0.04);
    // The preview samples the same pixels: luma exactly, the odd pixels' halfway chroma within
    // the one step the GPU may round the other way.
    const std::vector<uint8_t> preview = ReadTexture(slot->previewTexture, previewW, previewH);
    ASSERT_EQ(preview.size(), drawnPreview.size());
    for (size_t i = 0; i < preview.size(); i += 4) {
        EXPECT_EQ(preview[i], drawnPreview[i]) << i / 4;
        EXPECT_LE(std::abs(preview[i + 1] - drawnPreview[i + 1]), 1) << i / 4;
        EXPECT_LE(std::abs(preview[i + 2] - drawnPreview[i + 2]), 1) << i / 4;
    }
}

TEST_F(RenderTest, FramesThatNeedDrawingAreStillDrawnWhenCardFramesGoDirect)
{
    const Pair white{128, 235, 128, 235};
    const Pair grey{128, 126, 128, 126};
    std::vector<uint8_t> red(8 * 8 * 4, 0);
    for (size_t i = 0; i < red.size(); i += 4) {
        red[i] = 255;
        red[i + 3] = 255;
    }

    // An overlay is composited over the picture.
    Configure(64, 36, 64, 36, false);
    render_->SetCardFrameWay(ssCardFrameWay::Direct);
    ssRenderSlot* slot = render_->GetSlot(0);
    render_->SetOverlayImage(8, 8, red.data(), 0.0f, 0.0f, 8.0f, 8.0f);
    render_->FadeOverlay(1, 0.0f);
    ASSERT_EQ(render_->RenderFrame(Uniform(0, 0.0, grey), slot), 0);
    EXPECT_GT(At(slot, 1, 1).cr, 200) << "the overlay is drawn";
    EXPECT_EQ(At(slot, 20, 20).y0, grey.y0);
    // Faded out, the frame is the picture again.
    render_->FadeOverlay(-1, 0.0f);
    ASSERT_EQ(render_->RenderFrame(Uniform(1, 0.04, grey), slot), 0);
    EXPECT_EQ(At(slot, 1, 1).cr, grey.cr);
    EXPECT_EQ(At(slot, 1, 1).y0, grey.y0);

    // A slate stands for the picture.
    render_->ShowSlate(1);
    ASSERT_EQ(render_->RenderFrame(Uniform(2, 0.08, grey), slot), 0);
    EXPECT_NE(At(slot, 16, 18).y0, grey.y0) << "the stock slate is drawn";
    render_->ShowSlate(0);

    // Another size is scaled into the raster, pillar-boxed when anamorphic.
    Configure(48, 36, 64, 36, false);
    render_->SetAnamorphic(1);
    ASSERT_EQ(render_->RenderFrame(Uniform(0, 0.0, white), slot), 0);
    for (int p = 0; p < 32; ++p) {
        const Pair want = p < 4 || p >= 28 ? Pair{128, 16, 128, 16} : white;
        EXPECT_EQ(At(slot, p, 17).y0, want.y0) << p;
    }

    // An interlaced output weaves two pictures into one frame.
    Configure(16, 8, 16, 8, false, true);
    render_->SetInterlace(0, 1);
    const Pair a{128, 60, 128, 60};
    const Pair b{128, 200, 128, 200};
    EXPECT_EQ(render_->RenderFrame(Uniform(0, 0.0, a), slot), 1);
    ASSERT_EQ(render_->RenderFrame(Uniform(1, 0.04, b), slot), 0);
    for (int r = 0; r < 8; ++r)
        EXPECT_EQ(At(slot, 3, r).y0, r % 2 == 0 ? a.y0 : b.y0) << r;
}
