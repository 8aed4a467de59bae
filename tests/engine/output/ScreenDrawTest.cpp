// A screen output drawing into a framebuffer of "window" size: letterbox placement, flipping,
// clearing when stopped and showing the last picture again when no new frame is due.
#include "engine/display/ssDisplayGL.h"
#include "engine/output/ssDVIOutput.h"
#include "engine/output/ssOutputSource.h"
#include "platform/gl/ssGLContext.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kW = 64;
constexpr int kH = 32;

struct FakeSource : ssScreenSource {
    int32_t GetFrameForOutput(int32_t* w, int32_t* h, int32_t* s) override
    {
        *w = width;
        *h = height;
        *s = state;
        return slot;
    }
    uint32_t GetFrameTexture(int32_t) override { return texture; }
    ssDisplayGL* GetDisplay() override { return display; }
    int32_t slot = 0, width = 0, height = 0, state = 1;
    uint32_t texture = 0;
    ssDisplayGL* display = nullptr;
};

class ScreenDraw : public ::testing::Test {
protected:
    void SetUp() override
    {
        context_ = ssGLContext::CreateEngineContext();
        ASSERT_TRUE(context_ && context_->MakeCurrent());
        const char* build = std::getenv("KLV_BINARY_DIR");
        display_ = std::make_unique<ssDisplayGL>(1.0f, (std::string(build ? build : ".") + "/resources").c_str());
        glGenFramebuffers(1, &fbo_);
        glGenRenderbuffers(1, &colour_);
        glBindRenderbuffer(GL_RENDERBUFFER, colour_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, kW, kH);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
        display_->Init(kW, kH, 32, 0);
        source_.display = display_.get();
        output_.Kind_ = ssBaseOutput::kKindScreen;
        output_.SetSize(kW, kH);
        output_.SetSource(nullptr, &source_, 0, 0);
    }
    void TearDown() override
    {
        output_.ReleaseGL();
        for (GLuint t : textures_)
            glDeleteTextures(1, &t);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &fbo_);
        glDeleteRenderbuffers(1, &colour_);
        display_.reset();
        context_->DoneCurrent();
    }
    // A rectangle texture of (Y, Cb, Cr, A) texels: video white in the top `whiteRows` rows, black below.
    GLuint MakeFrame(int width, int height, int whiteRows)
    {
        std::vector<uint8_t> texels(size_t(width) * height * 4);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                uint8_t* t = &texels[(size_t(y) * width + x) * 4];
                t[0] = y < whiteRows ? 235 : 16;
                t[1] = 128;
                t[2] = 128;
                t[3] = 255;
            }
        }
        GLuint texture = 0;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_RECTANGLE, texture);
        glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        glBindTexture(GL_TEXTURE_RECTANGLE, 0);
        textures_.push_back(texture);
        return texture;
    }
    void Present(int32_t slot, int width, int height, uint32_t texture, int32_t state = 1)
    {
        source_.slot = slot;
        source_.width = width;
        source_.height = height;
        source_.texture = texture;
        source_.state = state;
        // Something else on the screen first, so a missing clear shows.
        glClearColor(0.5f, 0.5f, 0.5f, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        output_.DrawScreen();
        glFinish();
        pixels_.assign(size_t(kW) * kH * 4, 0);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kW, kH, GL_RGBA, GL_UNSIGNED_BYTE, pixels_.data());
    }
    // Red byte at window column x, row y counted from the top.
    int At(int x, int y) const { return pixels_[(size_t(kH - 1 - y) * kW + x) * 4]; }
    // The lit box: first and last lit column and row, or -1 when nothing is lit.
    std::vector<int> LitBox() const
    {
        int x0 = kW, x1 = -1, y0 = kH, y1 = -1;
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                if (At(x, y) > 200) {
                    x0 = std::min(x0, x);
                    x1 = std::max(x1, x);
                    y0 = std::min(y0, y);
                    y1 = std::max(y1, y);
                }
            }
        }
        return x1 < 0 ? std::vector<int>{-1} : std::vector<int>{x0, x1, y0, y1};
    }

    std::unique_ptr<ssGLContext> context_;
    std::unique_ptr<ssDisplayGL> display_;
    GLuint fbo_ = 0, colour_ = 0;
    std::vector<GLuint> textures_;
    std::vector<uint8_t> pixels_;
    FakeSource source_;
    ssDVIOutput output_;
};

} // namespace

TEST_F(ScreenDraw, LetterboxesKeepsTheTopUpAndRebuildsWhenEitherDimensionChanges)
{
    // A square frame in a 2:1 window: pillarboxed into the middle half.
    Present(0, 16, 16, MakeFrame(16, 16, 16));
    EXPECT_EQ(LitBox(), (std::vector<int>{16, 47, 0, 31}));
    EXPECT_LT(At(0, 0), 10); // the margin is cleared black

    // Only the top half of the frame is white: it lands at the top of the window.
    Present(1, 16, 16, MakeFrame(16, 16, 8));
    EXPECT_EQ(LitBox(), (std::vector<int>{16, 47, 0, 15}));

    // Same width, new height: 16x8 fills the 2:1 window.
    Present(2, 16, 8, MakeFrame(16, 8, 8));
    EXPECT_EQ(LitBox(), (std::vector<int>{0, 63, 0, 31}));

    // A wide frame: letterboxed into the middle rows.
    Present(3, 32, 8, MakeFrame(32, 8, 8));
    EXPECT_EQ(LitBox(), (std::vector<int>{0, 63, 8, 23}));

    // A new window size places the frame again.
    output_.SetSize(32, 32);
    Present(3, 32, 8, textures_.back());
    EXPECT_EQ(LitBox(), (std::vector<int>{0, 31, 12, 19}));
}

TEST_F(ScreenDraw, NoNewFrameShowsTheLastAgainAndAStoppedEngineLeavesTheScreenCleared)
{
    Present(-1, 0, 0, 0);
    EXPECT_EQ(LitBox(), (std::vector<int>{-1})); // nothing drawn yet
    EXPECT_LT(At(0, 0), 10);

    Present(0, 16, 8, MakeFrame(16, 8, 8));
    EXPECT_EQ(LitBox(), (std::vector<int>{0, 63, 0, 31}));
    Present(-1, 0, 0, 0);
    EXPECT_EQ(LitBox(), (std::vector<int>{0, 63, 0, 31}));

    Present(-1, 0, 0, 0, ssDVIOutput::kStateStopped);
    EXPECT_EQ(LitBox(), (std::vector<int>{-1}));
    EXPECT_LT(At(32, 16), 10);

    // ClearFrame forgets the last picture; detaching stops drawing altogether.
    output_.ClearFrame();
    Present(-1, 0, 0, 0);
    EXPECT_EQ(LitBox(), (std::vector<int>{-1}));
    output_.SetSource(nullptr, nullptr, 0, 0);
    Present(0, 16, 8, textures_.back());
    EXPECT_NEAR(At(0, 0), 128, 1); // untouched grey
}

TEST_F(ScreenDraw, ResizingWhileDrawingIsSerialisedByTheOutputLock)
{
    Present(0, 16, 8, MakeFrame(16, 8, 8));
    std::thread resizer([this] {
        for (int i = 0; i < 200; ++i)
            output_.SetSize(kW - (i & 1), kH);
    });
    for (int i = 0; i < 50; ++i)
        output_.DrawScreen();
    resizer.join();
    output_.SetSize(kW, kH);
    Present(-1, 0, 0, 0);
    EXPECT_EQ(LitBox(), (std::vector<int>{0, 63, 0, 31}));
}
