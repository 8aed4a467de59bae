#include "engine/capture/ssDeckLinkInput.h"
#include "engine/record/ssRecordPreview.h"
#include "platform/gl/ssGLContext.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 200;
constexpr int kHeight = 100;

struct Rgb {
    int r, g, b;
};

class RecordPreviewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        context_ = ssGLContext::CreateEngineContext();
        ASSERT_TRUE(context_) << "no EGL context";
        ASSERT_TRUE(context_->MakeCurrent());
        glGenFramebuffers(1, &framebuffer_);
        glGenRenderbuffers(1, &colour_);
        glBindRenderbuffer(GL_RENDERBUFFER, colour_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, kWidth, kHeight);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
        ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
        glViewport(0, 0, kWidth, kHeight);
        const char* build = std::getenv("KLV_BINARY_DIR");
        preview_ = std::make_unique<ssRecordPreview>((std::string(build ? build : ".") + "/resources").c_str());
    }

    void TearDown() override
    {
        preview_.reset();
        if (framebuffer_) {
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            glDeleteFramebuffers(1, &framebuffer_);
            glDeleteRenderbuffers(1, &colour_);
        }
        if (context_)
            context_->DoneCurrent();
    }

    Rgb pixel(int x, int y)
    {
        uint8_t p[4] = {};
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
        return {p[0], p[1], p[2]};
    }

    std::unique_ptr<ssGLContext> context_;
    GLuint framebuffer_ = 0;
    GLuint colour_ = 0;
    std::unique_ptr<ssRecordPreview> preview_;
};

// A 64 x 32 frame of one colour in '2vuy' (video range BT.601).
struct SolidFrame {
    SolidFrame(uint8_t y, uint8_t u, uint8_t v) : bytes(64 * 32 * 2)
    {
        for (size_t i = 0; i < bytes.size(); i += 4) {
            bytes[i] = u;
            bytes[i + 1] = y;
            bytes[i + 2] = v;
            bytes[i + 3] = y;
        }
        frame.Width_ = 64;
        frame.Height_ = 32;
        frame.RowBytes_ = 128;
        frame.Pixels_ = bytes.data();
    }
    std::vector<uint8_t> bytes;
    ssCaptureFrame frame;
};

} // namespace

TEST_F(RecordPreviewTest, FrameIsLetterBoxedBesideTheMetersInsideAHealthBorder)
{
    SolidFrame red(81, 90, 240);
    const float levels[2] = {0.0f, -100.0f};
    EXPECT_EQ(preview_->Draw(&red.frame, false, levels, 2, 0, 0, 0, kWidth, kHeight), 0);
    // The playback preview's meter strip (13 pixels, four bars), then the 2:1 frame centred in
    // the 187 x 100 room.
    const Rgb centre = pixel(13 + 93, 50);
    EXPECT_GT(centre.r, 200);
    EXPECT_LT(centre.g, 40);
    EXPECT_LT(centre.b, 40);
    const Rgb above = pixel(13 + 93, 98); // letter-box bar: the grey fill
    EXPECT_NEAR(above.r, 31, 3);
    EXPECT_NEAR(above.g, 31, 3);
    const Rgb border = pixel(100, 0);
    EXPECT_NEAR(border.r, 89, 3);
    EXPECT_NEAR(border.g, 89, 3);
    // At 85 % of the height a full-scale channel's bar is yellow; a silent one shows the dark
    // yellow zone behind it.
    const Rgb loud = pixel(1, 85);
    const Rgb quiet = pixel(4, 85);
    EXPECT_GT(loud.r, 200);
    EXPECT_GT(loud.g, 200);
    EXPECT_LT(loud.b, 40);
    EXPECT_NEAR(quiet.r, 102, 6);
    EXPECT_NEAR(quiet.g, 102, 6);

    // Critical health turns the border red, low health yellow; the last frame is drawn again.
    EXPECT_EQ(preview_->Draw(nullptr, false, levels, 2, 2, 0, 0, kWidth, kHeight), 0);
    const Rgb critical = pixel(100, 0);
    EXPECT_GT(critical.r, 220);
    EXPECT_LT(critical.g, 50);
    EXPECT_GT(pixel(13 + 93, 50).r, 200);
    preview_->Draw(nullptr, false, levels, 2, 1, 0, 0, kWidth, kHeight);
    const Rgb low = pixel(100, 0);
    EXPECT_GT(low.r, 220);
    EXPECT_GT(low.g, 220);
    EXPECT_LT(low.b, 50);
}

TEST_F(RecordPreviewTest, APreviewRightOfAnotherChannelDrawsInItsOwnRectangle)
{
    // The strip draws its channels one after another in one context: the channel on the left
    // leaves its own viewport set. The record preview of the next column is drawn at its x.
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glViewport(0, 0, kWidth / 2, kHeight);
    SolidFrame red(81, 90, 240);
    EXPECT_EQ(preview_->Draw(&red.frame, false, nullptr, 0, 0, kWidth / 2, 0, kWidth / 2, kHeight), 0);
    const Rgb picture = pixel(kWidth / 2 + 13 + (kWidth / 2 - 13) / 2, kHeight / 2);
    EXPECT_GT(picture.r, 200);
    EXPECT_LT(picture.g, 40);
    // Nothing of it lands in the other column (the meter grid's left line, 70 % of near-black
    // on the edge, is as faint as the playback preview's).
    int touched = 0;
    for (int y = 0; y < kHeight; y += 3)
        for (int x = 0; x < kWidth / 2; x += 3) {
            const Rgb p = pixel(x, y);
            touched += p.r + p.g + p.b > 20;

        }
    EXPECT_EQ(touched, 0);
    // No input: the notice is centred in the same rectangle.
    EXPECT_EQ(preview_->Draw(nullptr, true, nullptr, 0, 0, kWidth / 2, 0, kWidth / 2, kHeight), 1);
    int white = 0;
    for (int y = 2; y < kHeight - 2; ++y)
        for (int x = kWidth / 2 + 2; x < kWidth - 2; ++x) {
            const Rgb p = pixel(x, y);
            white += p.r > 200 && p.g > 200 && p.b > 200;
        }
    EXPECT_GT(white, 20);
}

TEST_F(RecordPreviewTest, NoSignalDrawsTheMessageInsteadOfTheFrame)
{
    SolidFrame red(81, 90, 240);
    preview_->Draw(&red.frame, false, nullptr, 0, 0, 0, 0, kWidth, kHeight);
    EXPECT_EQ(preview_->Draw(nullptr, true, nullptr, 0, 0, 0, 0, kWidth, kHeight), 1);
    int white = 0;
    int red_ = 0;
    for (int y = 2; y < kHeight - 2; ++y)
        for (int x = 2; x < kWidth - 2; ++x) {
            const Rgb p = pixel(x, y);
            white += p.r > 200 && p.g > 200 && p.b > 200;
            red_ += p.r > 200 && p.g < 60;
        }
    EXPECT_GT(white, 20); // the text
    EXPECT_EQ(red_, 0);   // and no picture
}

TEST_F(RecordPreviewTest, APreviewReleasedWithNoContextCurrentMakesNoGLCall)
{
    // The application quitting mid-recording releases the encoder, and its preview, with no
    // context current: a GL call then aborts the process.
    SolidFrame red(81, 90, 240);
    preview_->Draw(&red.frame, false, nullptr, 0, 0, 0, 0, kWidth, kHeight);
    EXPECT_TRUE(ssGLContext::AnyCurrent());
    context_->DoneCurrent();
    EXPECT_FALSE(ssGLContext::AnyCurrent());
    preview_.reset();
    ASSERT_TRUE(context_->MakeCurrent());
}
