// Level meters: the dB scale and its zones, accumulation, layout by channel count, and the
// preview that draws them.
#include "engine/render/ssAudioMeters.h"
#include "tests/engine/render/RenderFixture.h"

#include <cmath>

namespace {

// An RGBA framebuffer to draw meters and previews into.
class Canvas
{
public:
    Canvas(int width, int height) : width_(width), height_(height)
    {
        glGenFramebuffers(1, &framebuffer_);
        glGenRenderbuffers(1, &colour_);
        glBindRenderbuffer(GL_RENDERBUFFER, colour_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
        glViewport(0, 0, width, height);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    ~Canvas()
    {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer_);
        glDeleteRenderbuffers(1, &colour_);
    }
    // RGB of pixel (x, y), y from the bottom.
    std::array<int, 3> At(int x, int y)
    {
        uint8_t px[4] = {};
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
        return {px[0], px[1], px[2]};
    }
    GLuint framebuffer() const { return framebuffer_; }

private:
    int width_, height_;
    GLuint framebuffer_ = 0, colour_ = 0;
};

std::array<int, 3> rgb(float r, float g, float b)
{
    return {int(std::lround(r * 255)), int(std::lround(g * 255)), int(std::lround(b * 255))};
}

void expectColour(const std::array<int, 3>& got, const std::array<int, 3>& want, const char* what)
{
    for (int i = 0; i < 3; ++i)
        EXPECT_LE(std::abs(got[size_t(i)] - want[size_t(i)]), 1) << what << " component " << i;
}

} // namespace

TEST(MeterScale, ZonesEndAtTheirLevels)
{
    EXPECT_DOUBLE_EQ(ssMeterFraction(-100.0), 0.0);
    EXPECT_DOUBLE_EQ(ssMeterFraction(-10.0), 1.0);
    EXPECT_DOUBLE_EQ(ssMeterFraction(-28.0), ssMeterGreenEnd);
    EXPECT_DOUBLE_EQ(ssMeterFraction(-16.75), ssMeterYellowEnd);
    EXPECT_GT(ssMeterFraction(0.0), 1.0) << "levels above the top are not clamped";
}

TEST(MeterScale, LayoutFollowsTheChannelCount)
{
    ssMeterPlacement p[4];
    EXPECT_EQ(ssMeterLayout(2, p), 1);
    EXPECT_FALSE(p[0].halfHeight);
    ASSERT_EQ(ssMeterLayout(8, p), 2);
    EXPECT_EQ(p[1].firstChannel, 4);
    EXPECT_TRUE(p[1].rightEdge);
    ASSERT_EQ(ssMeterLayout(16, p), 4);
    EXPECT_TRUE(p[0].topHalf && !p[0].rightEdge && p[0].halfHeight);
    EXPECT_TRUE(!p[1].topHalf && !p[1].rightEdge && p[1].firstChannel == 4);
    EXPECT_TRUE(p[2].topHalf && p[2].rightEdge && p[2].firstChannel == 8);
    EXPECT_TRUE(!p[3].topHalf && p[3].rightEdge && p[3].firstChannel == 12);
    EXPECT_EQ(ssMeterLayout(17, p), 0);
}

TEST(MeterLevels, AccumulateRisesSlowlyFallsAndCopiesIntoEightChannelFrames)
{
    ssMeterAccumulators meters;
    // Three channels of full-scale (2^30) samples starting at channel 2.
    std::vector<int32_t> samples(3 * 4, 1 << 30);
    std::vector<int32_t> out(8 * 4, -7);
    meters.AccumulateMeterLevels(out.data(), samples.data(), 4, 2, 3);
    for (int f = 0; f < 4; ++f) {
        EXPECT_EQ(out[size_t(f * 8 + 1)], -7);
        EXPECT_EQ(out[size_t(f * 8 + 2)], 1 << 30);
        EXPECT_EQ(out[size_t(f * 8 + 4)], 1 << 30);
        EXPECT_EQ(out[size_t(f * 8 + 5)], -7);
    }
    double expected = 0.0;
    for (int i = 0; i < 4; ++i)
        expected = expected * 255.0 / 256.0 + 1.0 / 256.0;
    EXPECT_DOUBLE_EQ(meters.Get(2), expected);
    EXPECT_EQ(meters.Get(1), 0.0);
    std::vector<int32_t> silence(3, 0);
    meters.AccumulateMeterLevels(nullptr, silence.data(), 1, 2, 3);
    EXPECT_DOUBLE_EQ(meters.Get(3), expected * 0.99838965);
    EXPECT_NEAR(ssMeterAccumulators().GetDb(0), -100.0, 1e-9);
    // Channels past the accumulators are copied nowhere and measured nowhere.
    meters.AccumulateMeterLevels(out.data(), samples.data(), 1, 19, 3);
    EXPECT_GT(meters.Get(19), 0.0);
}

TEST(MeterLevels, DecayFallsEveryChannelAsABlockOfSilenceWould)
{
    ssMeterAccumulators decayed;
    ssMeterAccumulators silenced;
    std::vector<int32_t> loud(size_t(ssRenderMeterChannels) * 8);
    for (size_t i = 0; i < loud.size(); ++i)
        loud[i] = int32_t(i % 7) << 27;
    for (ssMeterAccumulators* meters : {&decayed, &silenced})
        meters->AccumulateMeterLevels(nullptr, loud.data(), 8, 0, ssRenderMeterChannels);
    std::vector<int32_t> silence(size_t(ssRenderMeterChannels) * 960, 0);
    silenced.AccumulateMeterLevels(nullptr, silence.data(), 960, 0, ssRenderMeterChannels);
    decayed.Decay(960);
    for (int c = 0; c < ssRenderMeterChannels; ++c) {
        EXPECT_EQ(decayed.Get(c), silenced.Get(c)) << "channel " << c;
        EXPECT_GT(decayed.Get(c), 0.0) << "channel " << c;
    }
}

// A meter left in silence reaches 0 and stays there; one stuck on the smallest subnormal number
// never reads lower, yet costs a slow multiply for every frame of every block.
TEST(MeterLevels, SilenceTakesEveryLevelToZero)
{
    ssMeterAccumulators decayed;
    ssMeterAccumulators silenced;
    std::vector<int32_t> loud(size_t(ssRenderMeterChannels), int32_t(1) << 30);
    for (ssMeterAccumulators* meters : {&decayed, &silenced})
        meters->AccumulateMeterLevels(nullptr, loud.data(), 1, 0, ssRenderMeterChannels);
    std::vector<int32_t> silence(size_t(ssRenderMeterChannels) * 960, 0);
    for (int block = 0; block < 600; ++block) {
        decayed.Decay(960);
        silenced.AccumulateMeterLevels(nullptr, silence.data(), 960, 0, ssRenderMeterChannels);
    }
    for (int c = 0; c < ssRenderMeterChannels; ++c) {
        EXPECT_EQ(decayed.Get(c), 0.0) << "channel " << c;
        EXPECT_EQ(silenced.Get(c), 0.0) << "channel " << c;
    }
    EXPECT_NEAR(decayed.GetDb(0), -100.0, 1e-9);
}

class MeterDrawTest : public RenderTest
{
};

TEST_F(MeterDrawTest, BarsChangeColourAtTheZoneThresholds)
{
    // One 4-bar meter 52 pixels wide over 200 pixels: bar 0 at -28 dB, bar 1 at -10 dB, bar 2 at
    // -20 dB, bar 3 silent.
    Canvas canvas(52, 200);
    const double levels[4] = {-28.0, -10.0, -20.0, -100.0};
    ssDrawAudioMeters(4, levels, -1.0f, -1.0f, 2.0f, 200.0f, 1.0f);
    const auto green = rgb(0.02f, 0.97f, 0.02f);
    const auto yellow = rgb(0.97f, 0.97f, 0.02f);
    const auto red = rgb(0.97f, 0.02f, 0.02f);
    const auto darkYellow = rgb(0.4f, 0.4f, 0.02f);
    const auto darkGreen = rgb(0.02f, 0.2397f, 0.02f);
    const auto darkRed = rgb(0.2397f, 0.02f, 0.02f);
    // Bar b spans x from 12 b to 12 b + 13; sample its middle on rows clear of grid ticks.
    auto bar = [&](int b, int y) { return canvas.At(12 * b + 7, y); };
    // Zones end at 160 and 185 pixels; grid ticks run on every third row, so rows 3k + 1 are clear.
    expectColour(bar(0, 154), green, "-28 dB is green up to 80 %");
    expectColour(bar(0, 163), darkYellow, "-28 dB stops at the green zone's end");
    expectColour(bar(1, 169), yellow, "yellow zone");
    expectColour(bar(1, 187), red, "-10 dB has red above 92.5 %");
    expectColour(bar(1, 196), red, "-10 dB reaches the top");
    expectColour(bar(2, 130), green, "-20 dB");
    expectColour(bar(2, 169), yellow, "-20 dB");
    expectColour(bar(2, 181), darkYellow, "-20 dB shows the background above its level");
    expectColour(bar(2, 190), darkRed, "");
    expectColour(bar(3, 1), darkGreen, "silence leaves the background");
}

TEST_F(MeterDrawTest, PreviewShowsMetersThePictureOrTheMissingDevice)
{
    Configure(48, 36, 64, 36, false);
    const Pair white{128, 235, 128, 235};
    ssRenderSlot* slot = render_->GetSlot(0);
    ASSERT_EQ(render_->RenderFrame(Uniform(0, 0.0, white), slot), 0);
    int32_t pw = 0;
    int32_t ph = 0;
    render_->GetPreviewSize(&pw, &ph);
    EXPECT_EQ(pw, 16);
    EXPECT_EQ(ph, 12);

    Canvas canvas(321, 60);
    const double levels[2] = {-10.0, -10.0};
    ssPreviewInput input;
    input.hasOutput = 1;
    input.channelCount = 2;
    input.levelsDb = levels;
    input.frameTexture = render_->AcquireFrameTexture(0);
    input.frameWidth = pw;
    input.frameHeight = ph;
    input.displayWidth = 48;
    input.displayHeight = 36;
    // The canvas stands in for the view's framebuffer.
    glBindFramebuffer(GL_FRAMEBUFFER, canvas.framebuffer());
    ASSERT_EQ(render_->DrawPreview(0, 0, 321, 60, input), 0);
    // A 13-pixel meter strip, then the 4:3 picture (80 x 60) centred in the 307 pixels beside it.
    // Grid lines fall on every third column and row; (1, 31) is clear of them.
    expectColour(canvas.At(1, 31), rgb(0.02f, 0.97f, 0.02f), "meter at the left edge");
    expectColour(canvas.At(166, 30), {255, 255, 255}, "picture right of the meters");
    expectColour(canvas.At(20, 30), rgb(0.12f, 0.12f, 0.12f), "grey beside the 4:3 picture");
    expectColour(canvas.At(0, 0), rgb(0.35f, 0.35f, 0.35f), "frame line");

    input.hasOutput = 0;
    glBindFramebuffer(GL_FRAMEBUFFER, canvas.framebuffer());
    ASSERT_EQ(render_->DrawPreview(0, 0, 321, 60, input), 0);
    int whiteish = 0;
    for (int y = 20; y < 40; ++y) {
        for (int x = 0; x < 320; ++x)
            whiteish += canvas.At(x, y)[0] > 200 ? 1 : 0;
    }
    EXPECT_GT(whiteish, 20) << "the message is written";
    expectColour(canvas.At(1, 31), rgb(0.12f, 0.12f, 0.12f), "no meters without a device");
}
