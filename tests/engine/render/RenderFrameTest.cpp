// Pictures through the renderer: card frames read back byte for byte, placement in the raster,
// weaving of two frames, the 486-line shift, and the screen hand-over to another context.
#include "engine/render/ssLetterbox.h"
#include "tests/engine/render/RenderFixture.h"
#include "tests/support/EngineLog.h"

#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

void expectNear(const Pair& got, const Pair& want, const char* what, int p, int r)
{
    EXPECT_LE(std::abs(got.cb - want.cb), 1) << what << " pair " << p << " row " << r;
    EXPECT_LE(std::abs(got.y0 - want.y0), 1) << what << " pair " << p << " row " << r;
    EXPECT_LE(std::abs(got.cr - want.cr), 1) << what << " pair " << p << " row " << r;
    EXPECT_LE(std::abs(got.y1 - want.y1), 1) << what << " pair " << p << " row " << r;
}

constexpr Pair kBlack{128, 16, 128, 16};

} // namespace

TEST_F(RenderTest, ColourBarsSurviveUploadConversionAndReadBack)
{
    // Eight bars of four pixel pairs each. The last pair of a bar borrows chroma from the next bar
    // (4:2:2 has no chroma sample between them), so chroma is compared inside the bars only.
    constexpr int width = 64;
    constexpr int height = 8;
    Configure(width, height, width, height, false);
    ssRenderFrame* frame = Frame(0, 0.0, [](int p, int) { return barColour(p / 4); });
    ssRenderSlot* slot = render_->GetSlot(0);
    ASSERT_EQ(render_->RenderFrame(frame, slot), 0);
    for (int r = 0; r < height; ++r) {
        for (int p = 0; p < width / 2; ++p) {
            const Pair want = barColour(p / 4);
            const Pair got = At(slot, p, r);
            EXPECT_LE(std::abs(got.y0 - want.y0), 1) << p << "," << r;
            EXPECT_LE(std::abs(got.y1 - want.y1), 1) << p << "," << r;
            if (p % 4 != 3)
                expectNear(got, want, "bar", p, r);
        }
    }
}

TEST_F(RenderTest, EveryPictureComesOutAsItselfThroughTheSharedUploadTextures)
{
    // The pictures go up through fewer textures than there are pictures, taken in turn, and the
    // intermediates are made when first drawn into: in any order, on the one-pass card path and
    // through the intermediates (a raster twice the size), each frame shows its own picture.
    for (const int scale : {1, 2}) {
        SCOPED_TRACE(scale);
        constexpr int width = 32;
        constexpr int height = 8;
        Configure(width, height, width * scale, height * scale, false);
        auto lumaOf = [](int picture) { return uint8_t(40 + picture * 20); };
        const int order[] = {0, 1, 2, 3, 4, 5, 6, 7, 7, 5, 3, 1, 6, 4, 2, 0, 2, 2, 5};
        int n = 0;
        for (const int listed : order) {
            const int picture = listed % ssRenderUploadCount;
            ssRenderFrame* frame = Uniform(picture, n * 0.04, Pair{128, lumaOf(picture), 128, lumaOf(picture)});
            ssRenderSlot* slot = render_->GetSlot(n % ssRenderSlotCount);
            ASSERT_EQ(render_->RenderFrame(frame, slot), 0);
            const Pair got = At(slot, width * scale / 4, height * scale / 2);
            EXPECT_LE(std::abs(got.y0 - lumaOf(picture)), 1) << "frame " << n << " picture " << picture;
            ++n;
        }
    }
}

TEST_F(RenderTest, FourByThreeIsPillarBoxedInSixteenByNineOnlyWhenAnamorphic)
{
    // 48 x 36 picture (4:3) in a 64 x 36 raster: 8 pixels (4 pairs) of black each side.
    const Pair white{128, 235, 128, 235};
    Configure(48, 36, 64, 36, false);
    ssRenderSlot* slot = render_->GetSlot(0);
    ASSERT_EQ(render_->RenderFrame(Uniform(0, 0.0, white), slot), 0);
    for (int p = 0; p < 32; ++p)
        expectNear(At(slot, p, 17), white, "stretched", p, 17);

    render_->SetAnamorphic(1);
    ASSERT_EQ(render_->RenderFrame(Uniform(1, 0.04, white), slot), 0);
    for (int r = 0; r < 36; ++r) {
        for (int p = 0; p < 32; ++p)
            expectNear(At(slot, p, r), p < 4 || p >= 28 ? kBlack : white, "pillar-boxed", p, r);
    }
}

TEST_F(RenderTest, CardFramesAreTheSameWithoutThePreviewCopyAndAfterTheMarginsGoAway)
{
    // A channel without a preview skips the preview copy, and a picture that fills the raster
    // skips clearing the margins: neither may change a byte of the card frame.
    const Pair white{128, 235, 128, 235};
    Configure(48, 36, 64, 36, false);
    render_->SetAnamorphic(1);
    ssRenderSlot* slot = render_->GetSlot(0);
    std::vector<Pair> withCopy;
    ASSERT_EQ(render_->RenderFrame(Uniform(0, 0.0, white), slot), 0);
    for (int p = 0; p < 32; ++p)
        withCopy.push_back(At(slot, p, 17));
    render_->SetPreviewCopies(false);
    ASSERT_EQ(render_->RenderFrame(Uniform(1, 0.04, white), slot), 0);
    for (int p = 0; p < 32; ++p)
        expectNear(At(slot, p, 17), withCopy[size_t(p)], "without the preview copy", p, 17);
    // Stretched again: the whole raster is picture, from the first row to the last.
    render_->SetAnamorphic(0);
    const Pair grey{128, 126, 128, 126};
    ASSERT_EQ(render_->RenderFrame(Uniform(2, 0.08, grey), slot), 0);
    for (int r : {0, 17, 35})
        for (int p = 0; p < 32; ++p)
            expectNear(At(slot, p, r), grey, "filling the raster", p, r);
}

TEST_F(RenderTest, OnePassCardFramesMatchTheTwoPassOnes)
{
    // Every byte value in every position. A progressive picture of the raster's size with nothing
    // drawn over it skips the full-resolution intermediate, and its preview is converted from the
    // upload. The card frame and the preview must read back exactly as through the intermediate,
    // and the card frame is the picture itself (4:2:2 keeps its chroma sample with the even
    // pixel). An overlay, even one outside the raster, puts the intermediate back.
    constexpr int width = 96;
    constexpr int height = 18;
    Configure(width, height, width, height, false);
    auto noise = [](int p, int r) {
        const uint32_t v = uint32_t(p * 2654435761u) ^ uint32_t(r * 40503u + 0x9e37u);
        return Pair{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t((v >> 24) ^ uint32_t(p + r))};
    };
    auto card = [&](const ssRenderSlot* slot) {
        std::vector<Pair> pairs;
        for (int r = 0; r < height; ++r)
            for (int p = 0; p < width / 2; ++p)
                pairs.push_back(At(slot, p, r));
        return pairs;
    };
    int previewW = 0;
    int previewH = 0;
    render_->GetPreviewSize(&previewW, &previewH);
    ASSERT_EQ(previewW, width / 3);
    std::vector<uint8_t> red(8 * 8 * 4, 0);
    for (size_t i = 0; i < red.size(); i += 4) {
        red[i] = 255;
        red[i + 3] = 255;
    }
    render_->SetOverlayImage(8, 8, red.data(), 4.0f * width, 0.0f, 8.0f, 8.0f);
    render_->FadeOverlay(1, 0.0f);
    ssRenderSlot* slot = render_->GetSlot(0);
    ASSERT_EQ(render_->RenderFrame(Frame(0, 0.0, noise), slot), 0);
    const std::vector<Pair> twoPass = card(slot);
    const std::vector<uint8_t> twoPassPreview = ReadTexture(slot->previewTexture, previewW, previewH);

    render_->SetOverlayImage(0, 0, nullptr, 0.0f, 0.0f, 0.0f, 0.0f);
    ASSERT_EQ(render_->RenderFrame(Frame(1, 0.04, noise), slot), 0);
    const std::vector<Pair> onePass = card(slot);
    EXPECT_TRUE(ReadTexture(slot->previewTexture, previewW, previewH) == twoPassPreview);
    for (size_t i = 0; i < onePass.size(); ++i) {
        const int p = int(i) % (width / 2);
        const int r = int(i) / (width / 2);
        EXPECT_TRUE(std::memcmp(&onePass[i], &twoPass[i], sizeof(Pair)) == 0) << p << "," << r;
        const Pair picture = noise(p, r);
        EXPECT_TRUE(std::memcmp(&onePass[i], &picture, sizeof(Pair)) == 0) << p << "," << r;
    }

    // Without the preview copy: the same card bytes.
    render_->SetPreviewCopies(false);
    ASSERT_EQ(render_->RenderFrame(Frame(2, 0.08, noise), slot), 0);
    const std::vector<Pair> withoutPreview = card(slot);
    for (size_t i = 0; i < onePass.size(); ++i)
        EXPECT_TRUE(std::memcmp(&withoutPreview[i], &onePass[i], sizeof(Pair)) == 0) << i;

    render_->SetOverlayImage(8, 8, red.data(), 0.0f, 0.0f, 8.0f, 8.0f);
    ASSERT_EQ(render_->RenderFrame(Frame(0, 0.12, noise), slot), 0);
    EXPECT_GT(At(slot, 1, 1).cr, 200) << "the overlay is drawn";
    EXPECT_EQ(At(slot, 20, 10).y0, twoPass[size_t(10 * width / 2 + 20)].y0);
}

TEST(Letterbox, MarginsKeepTheDisplayAspect)
{
    // Pillar-box: 4:3 in 1920 x 1080 leaves 240 pixels each side.
    ssLetterboxMargins m = ssComputeLetterbox(1, 1920, 1080, 1440, 1080);
    EXPECT_DOUBLE_EQ(m.horizontal * 1920 / 2, 240.0);
    EXPECT_DOUBLE_EQ(m.vertical, 0.0);
    // Letter-box: 2.39:1 in 1920 x 1080 (picture 1920 x 803.35).
    m = ssComputeLetterbox(1, 1920, 1080, 1912, 800);
    EXPECT_DOUBLE_EQ(m.horizontal, 0.0);
    EXPECT_NEAR(m.vertical * 1080 / 2, (1080 - 1920.0 / 1912 * 800) / 2, 1e-9);
    // Anamorphic DV (720 x 480 shown as 853 x 480) fills 16:9 nearly exactly; without the flag
    // every picture fills the raster.
    m = ssComputeLetterbox(0, 1920, 1080, 1440, 1080);
    EXPECT_EQ(m.horizontal, 0.0);
    EXPECT_EQ(m.vertical, 0.0);
    m = ssComputeLetterbox(1, 1920, 1080, 0, 1080);
    EXPECT_EQ(m.horizontal, 0.0);
}

TEST_F(RenderTest, InterlacingWeavesEvenLinesFromTheEarlierFrame)
{
    const Pair a{128, 60, 128, 60};
    const Pair b{128, 200, 128, 200};
    Configure(16, 8, 16, 8, false, true);
    render_->SetInterlace(0, 1);
    ssRenderSlot* slot = render_->GetSlot(0);
    EXPECT_EQ(render_->RenderFrame(Uniform(0, 0.0, a), slot), 1) << "an even frame waits for its partner";
    ASSERT_EQ(render_->RenderFrame(Uniform(1, 0.04, b), slot), 0);
    for (int r = 0; r < 8; ++r)
        expectNear(At(slot, 3, r), r % 2 == 0 ? a : b, "woven", 3, r);
}

TEST_F(RenderTest, FourEightySixLineOutputsSwapFieldsAndShiftDownOneLine)
{
    const Pair a{128, 60, 128, 60};
    const Pair b{128, 200, 128, 200};
    Configure(16, 486, 16, 486, false, true, 29.97f);
    render_->SetFrameDuration(1001.0 / 30000.0);
    render_->SetInterlace(0, 1);
    ssRenderSlot* slot = render_->GetSlot(0);
    EXPECT_EQ(render_->RenderFrame(Uniform(0, 0.0, a), slot), 1);
    ASSERT_EQ(render_->RenderFrame(Uniform(1, 1001.0 / 30000.0, b), slot), 0);
    for (int r = 0; r < 486; r += 97)
        expectNear(At(slot, 3, r), r % 2 == 0 ? b : a, "swapped", 3, r);

    // Progressive pictures into the same raster: line r shows picture line r - 1.
    render_->SetInterlace(0, 0);
    auto ramp = [](int, int row) {
        const uint8_t y = uint8_t(16 + row % 200);
        return Pair{128, y, 128, y};
    };
    ASSERT_EQ(render_->RenderFrame(Frame(2, 2 * 1001.0 / 30000.0, ramp), slot), 0);
    for (int r = 1; r < 486; r += 37)
        expectNear(At(slot, 3, r), ramp(3, r - 1), "shifted", 3, r);
}

TEST_F(RenderTest, FieldsOfAnInterlacedPictureBecomeTwoFramesHalfAFrameApart)
{
    // Even lines dark, odd lines bright: the first field of top-first material shows the dark
    // lines everywhere, the second the bright ones; bottom-first swaps them.
    const Pair dark{128, 40, 128, 40};
    const Pair bright{128, 220, 128, 220};
    Configure(16, 16, 16, 16, false, false, 50.0f);
    auto lines = [&](int, int row) { return row % 2 == 0 ? dark : bright; };
    for (int mode : {1, 2}) {
        render_->SetInterlace(mode, 0);
        ssRenderFrame* frame = Frame(0, 0.4, lines);
        ssRenderSlot* first = render_->GetSlot(0);
        ssRenderSlot* second = render_->GetSlot(1);
        ASSERT_EQ(render_->RenderField(frame, first, 1), 0);
        ASSERT_EQ(render_->RenderField(frame, second, 0), 0);
        EXPECT_DOUBLE_EQ(first->time, 0.4);
        EXPECT_DOUBLE_EQ(second->time, 0.42);
        const Pair& firstShown = mode == 1 ? dark : bright;
        const Pair& secondShown = mode == 1 ? bright : dark;
        for (int r = 2; r < 14; r += 3) {
            expectNear(At(first, 2, r), firstShown, "first field", 2, r);
            expectNear(At(second, 2, r), secondShown, "second field", 2, r);
        }
    }
}

TEST_F(RenderTest, ScreenFramesAreHandedToAnotherContextAfterTheirFence)
{
    Configure(32, 8, 32, 8, true);
    ssRenderSlot* slot = render_->GetSlot(2);
    ASSERT_EQ(render_->RenderFrame(Frame(0, 0.0, [](int p, int) { return barColour(p / 2); }), slot), 0);
    ASSERT_NE(slot->fence, nullptr);

    std::vector<uint8_t> pixels;
    GLenum error = GL_NO_ERROR;
    std::thread output([&] {
        // The screen output's own context, as its render thread has it.
        std::unique_ptr<ssGLContext> shared = ssGLContext::CreateEngineContext();
        ASSERT_TRUE(shared);
        ssGLCurrent current(*shared);
        ASSERT_TRUE(current.ok());
        const uint32_t texture = render_->AcquireFrameTexture(2);
        ASSERT_EQ(texture, slot->texture);
        pixels = ReadTexture(texture, 32, 8);
        error = glGetError();
    });
    output.join();
    EXPECT_EQ(error, static_cast<GLenum>(GL_NO_ERROR));
    ASSERT_EQ(pixels.size(), 32u * 8u * 4u);
    for (int x = 0; x < 32; ++x) {
        const Pair want = barColour(x / 4);
        const uint8_t* px = &pixels[size_t(3 * 32 + x) * 4];
        EXPECT_LE(std::abs(px[0] - want.y0), 1) << x;
        if (x % 4 == 0) {
            EXPECT_LE(std::abs(px[1] - want.cb), 1) << x;
            EXPECT_LE(std::abs(px[2] - want.cr), 1) << x;
        }
    }
    EXPECT_EQ(render_->AcquireFrameTexture(ssRenderSlotCount), 0u);
}

TEST_F(RenderTest, FramesOfTheWrongSizeOrWithoutTargetsAreNotPresented)
{
    ssRenderFrame loose;
    ssRenderSlot slot;
    EXPECT_EQ(render_->RenderFrame(&loose, &slot), 1);
    Configure(16, 8, 16, 8, false);
    EXPECT_EQ(render_->CreateUploadTextures(15, 8), -1) << "odd widths have no packed layout";
    Configure(16, 8, 16, 8, false);
    ssRenderFrame* frame = Uniform(0, 0.0, kBlack);
    frame->width = 32;
    EXPECT_EQ(render_->RenderFrame(frame, render_->GetSlot(0)), 1);
    frame->width = 16;
    render_->ReleaseTargets();
    EXPECT_EQ(render_->GetUploadFrame(0), nullptr);
}

TEST_F(RenderTest, FieldsAreWovenBackForAnInterlacedOutputOnceASeekHasSettled)
{
    // Deinterlaced fields of another height go back into an interlaced raster: the first field
    // waits, the second completes the frame. Right after a seek every field is a frame of its own.
    const Pair dark{128, 40, 128, 40};
    const Pair bright{128, 220, 128, 220};
    Configure(16, 16, 16, 32, false, true);
    render_->SetInterlace(1, 1);
    auto lines = [&](int, int row) { return row % 2 == 0 ? dark : bright; };
    ssRenderFrame* frame = Frame(0, 0.0, lines);
    ssRenderSlot* slot = render_->GetSlot(0);
    EXPECT_EQ(render_->RenderField(frame, slot, 1), 1);
    ASSERT_EQ(render_->RenderField(frame, slot, 0), 0);
    for (int r = 4; r < 28; r += 5)
        expectNear(At(slot, 3, r), r % 2 == 0 ? dark : bright, "woven fields", 3, r);

    render_->SetPostSeekFrames(2);
    EXPECT_EQ(render_->RenderField(frame, slot, 1), 0);
    expectNear(At(slot, 3, 5), dark, "first field alone", 3, 5);
    EXPECT_EQ(render_->RenderField(frame, slot, 0), 0);
    expectNear(At(slot, 3, 6), bright, "second field alone", 3, 6);
}

TEST_F(RenderTest, MissingResourcesAreLoggedAndLeaveTheProgramsUnloaded)
{
    ssMediaRender bare("/nonexistent-klv-resources");
    const testsupport::EngineLog engine;
    ssRenderOutputMode mode;
    mode.width = 64;
    mode.height = 36;
    bare.ConfigureOutput(mode);
    EXPECT_NE(bare.LoadShaders(), 0);
    const std::string log = engine.Text();
    EXPECT_NE(log.find("Can't find font /nonexistent-klv-resources/Arial30.fnt"), std::string::npos) << log;
    EXPECT_NE(bare.GetDisplay(), nullptr);
    int32_t w = 0;
    int32_t h = 0;
    bare.GetOutputSize(&w, &h);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 36);
}
