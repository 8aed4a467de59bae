// The engine drawing through its renderer on real clips: the slate of a cued clip, a slate image
// of the operator's, interlaced material split into fields for a progressive screen, and the
// channel preview drawn by a view's context.

#include "EngineHarness.h"

#include "engine/render/ssMediaRender.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <map>
#include <optional>
#include <thread>
#include <vector>

namespace {

// The slot presented now, stepping the clock until one comes (-1: none).
int32_t nextSlot(EngineHarness& harness, int attempts = 200)
{
    for (int i = 0; i < attempts; ++i) {
        int32_t w, h, dw, dh, state;
        const int32_t slot = harness.engine().GetFrameForOutput(&w, &h, &dw, &dh, &state);
        if (slot >= 0)
            return slot;
        harness.step();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}

// (Y, Cb, Cr) of the pair at the centre of a packed picture.
std::array<int, 3> centre(const std::vector<uint8_t>& packed, int32_t width, int32_t height)
{
    const size_t at = (size_t(height / 2) * size_t(width) + size_t(width / 2 & ~1)) * 2;
    return {packed[at + 1], packed[at], packed[at + 2]};
}

} // namespace

TEST(EngineRendering, TheSlateStandsForTheCuedClipAndNoSlateFrameFollowsPlay)
{
    EngineHarness harness;
    harness.engine().SetShowSlate(1);
    ASSERT_EQ(harness.open("no_audio"), 0);
    ASSERT_TRUE(harness.waitForBuffers());
    EXPECT_EQ(harness.engine().IsSlateShowing(), 1);
    const int32_t cued = nextSlot(harness);
    ASSERT_GE(cued, 0);
    EXPECT_EQ(harness.barcodeOf(cued), std::nullopt) << "the cued clip shows the slate, not its picture";

    // Playing starts on the clip's first picture: every frame shown from then on is the clip's.
    harness.engine().Play();
    EXPECT_EQ(harness.engine().IsSlateShowing(), 0);
    std::vector<std::optional<uint32_t>> shown;
    for (int i = 0; i < 60; ++i) {
        harness.step();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        int32_t w, h, dw, dh, state;
        const int32_t slot = harness.engine().GetFrameForOutput(&w, &h, &dw, &dh, &state);
        if (slot >= 0)
            shown.push_back(harness.barcodeOf(slot));
    }
    ASSERT_GE(shown.size(), 5u);
    EXPECT_EQ(shown.front(), std::optional<uint32_t>(0));
    for (size_t i = 0; i < shown.size(); ++i)
        ASSERT_TRUE(shown[i].has_value()) << "frame " << i << " after play still shows the slate";
}

TEST(EngineRendering, ASlateImageIsShownInItsColoursAlsoAfterTheChannelUnloadedAndReloaded)
{
    EngineHarness harness;
    ssMediaDecoder3& engine = harness.engine();
    engine.SetShowSlate(1);
    ASSERT_EQ(harness.open("no_audio"), 0);
    ASSERT_TRUE(harness.waitForBuffers());
    // Pure red, 4 x 4: BT.601 video range gives Y 81, Cb 90, Cr 240.
    std::vector<uint8_t> red(4 * 4 * 4);
    for (size_t i = 0; i < red.size(); i += 4) {
        red[i] = 255;
        red[i + 3] = 255;
    }
    auto expectRed = [&] {
        const int32_t slot = nextSlot(harness);
        ASSERT_GE(slot, 0);
        EXPECT_EQ(harness.barcodeOf(slot), std::nullopt);
        int32_t width = 0, height = 0;
        std::vector<uint8_t> pixels = harness.pixelsOf(slot, &width, &height);
        ASSERT_FALSE(pixels.empty());
        const auto ycc = centre(pixels, width, height);
        EXPECT_NEAR(ycc[0], 81, 2);
        EXPECT_NEAR(ycc[1], 90, 2);
        EXPECT_NEAR(ycc[2], 240, 2);
    };
    // The engine seeks so that a frame with the new image is drawn; it is the next one shown.
    EXPECT_EQ(engine.SetSlateImage(4, 4, red.data()), 1);
    expectRed();

    // Unloading frees the renderer's GL objects and context; the image comes back with them.
    engine.Open("", false);
    ASSERT_EQ(harness.open("no_audio"), 0);
    ASSERT_TRUE(harness.waitForBuffers());
    expectRed();
}

TEST(EngineRendering, InterlacedMaterialGivesTwoFramesPerPictureOnAFastProgressiveScreen)
{
    // Top field first at 29.97 onto a 60 Hz progressive screen: each picture becomes two frames
    // half a frame apart, so pictures are shown twice and in order.
    EngineHarness harness;
    ASSERT_EQ(harness.open("mpeg2_422_interlaced"), 0);
    ASSERT_TRUE(harness.waitForBuffers());
    harness.engine().Play();
    std::vector<uint32_t> shown = harness.playFor(0.6);
    ASSERT_GE(shown.size(), 10u);
    std::map<uint32_t, int> times;
    for (size_t i = 0; i < shown.size(); ++i) {
        if (i > 0) {
            ASSERT_GE(shown[i], shown[i - 1]) << "at position " << i;
        }
        ++times[shown[i]];
    }
    int twice = 0;
    for (const auto& [index, count] : times) {
        EXPECT_LE(count, 2) << "picture " << index;
        twice += count == 2 ? 1 : 0;
    }
    // How many show both depends on how fast this machine decodes; some always do.
    EXPECT_GE(twice, 1) << "no picture showed both of its fields";
}

namespace {

// A view's drawable of 240 x 120 pixels in the harness's reader context, which shares the
// engine's; the pixels of the last preview drawn into it.
class PreviewView
{
public:
    static constexpr int kW = 240, kH = 120;

    PreviewView()
    {
        glGenTextures(1, &texture_);
        glBindTexture(GL_TEXTURE_2D, texture_);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kW, kH, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glGenFramebuffers(1, &framebuffer_);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture_, 0);
    }
    ~PreviewView()
    {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer_);
        glDeleteTextures(1, &texture_);
    }

    int32_t draw(EngineHarness& harness)
    {
        const int32_t result = harness.engine().DrawPreview(0, 0, kW, kH);
        glReadPixels(0, 0, kW, kH, GL_RGBA, GL_UNSIGNED_BYTE, pixels_.data());
        return result;
    }
    const uint8_t* at(int x, int y) const { return &pixels_[(size_t(y) * kW + size_t(x)) * 4]; }
    // The picture: the barcode band across the middle has white cells, which the grey 0.12
    // background never has.
    int brightInBand() const
    {
        int bright = 0;
        for (int x = 20; x < kW - 20; ++x)
            bright += at(x, kH / 2)[0] > 200 ? 1 : 0;
        return bright;
    }

private:
    GLuint texture_ = 0, framebuffer_ = 0;
    std::vector<uint8_t> pixels_ = std::vector<uint8_t>(size_t(kW) * kH * 4);
};

void expectPreviewShowsThePicture(EngineHarness& harness)
{
    ASSERT_EQ(harness.open("h264_2997_aac", true), 0);
    ASSERT_TRUE(harness.waitForBuffers());
    ASSERT_GE(nextSlot(harness), 0); // the cued frame: the preview takes frames after it
    ASSERT_NE(harness.readerContext(), nullptr);
    ssGLCurrent current(*harness.readerContext());
    ASSERT_TRUE(current.ok());
    PreviewView view;
    // A view redraws until the engine has a frame for it.
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(view.draw(harness), 0);
        if (view.brightInBand() > 10)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    EXPECT_GT(view.brightInBand(), 10);
    // The meter strip at the left edge: its dark green zone near the bottom.
    const uint8_t* meter = view.at(4, 10);
    EXPECT_GT(meter[1], meter[0]);
}

} // namespace

TEST(EngineRendering, ThePreviewDrawsTheNewestPictureBesideItsMeters)
{
    EngineHarness screen;
    expectPreviewShowsThePicture(screen);
    // A card of the clip's own size gets the pictures without drawing; the preview still shows them.
    EngineHarness card(2, 320, 240);
    expectPreviewShowsThePicture(card);
}

TEST(EngineRendering, AnUnloadedChannelsPreviewShowsNoPicture)
{
    // The unloaded channel's textures and context are gone: its preview must not draw them.
    EngineHarness card(2, 320, 240);
    expectPreviewShowsThePicture(card);
    card.engine().Open("", true);
    ssGLCurrent current(*card.readerContext());
    ASSERT_TRUE(current.ok());
    PreviewView view;
    ASSERT_EQ(view.draw(card), 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(view.brightInBand(), 0);
}
