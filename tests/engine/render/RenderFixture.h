#pragma once
// A renderer on an EGL surfaceless context with the built shaders, and packed 4:2:2 pictures to
// feed it. Every test ends without a GL error.
#include "engine/render/ssMediaRender.h"
#include "platform/gl/ssGLContext.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One packed pixel pair: two lumas and their shared chroma.
struct Pair {
    uint8_t cb = 128, y0 = 16, cr = 128, y1 = 16;
};

class RenderTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Configures an output, loads the shaders and makes targets for pictures of w x h.
    void Configure(int width, int height, int outputWidth, int outputHeight, bool screen, bool interlaced = false,
        float rate = 25.0f);
    // Fills upload buffer `index` with pairs from `pairAt(column pair, row)` and stamps its time.
    template <typename F> ssRenderFrame* Frame(int index, double time, F pairAt)
    {
        ssRenderFrame* frame = render_->GetUploadFrame(index);
        EXPECT_NE(frame, nullptr);
        for (int row = 0; row < frame->height; ++row) {
            for (int p = 0; p < frame->width / 2; ++p) {
                const Pair v = pairAt(p, row);
                uint8_t* px = frame->pixels + size_t(row) * size_t(frame->rowBytes) + size_t(p) * 4;
                px[0] = v.cb;
                px[1] = v.y0;
                px[2] = v.cr;
                px[3] = v.y1;
            }
        }
        frame->time = time;
        return frame;
    }
    ssRenderFrame* Uniform(int index, double time, Pair value)
    {
        return Frame(index, time, [value](int, int) { return value; });
    }
    // Packed pair at column pair p, row r of a card slot.
    static Pair At(const ssRenderSlot* slot, int p, int r);
    // Full-resolution (Y, Cb, Cr, A) bytes of a rectangle texture, row 0 first.
    static std::vector<uint8_t> ReadTexture(uint32_t texture, int width, int height);
    static std::string BuiltResources();

    std::unique_ptr<ssGLContext> context_;
    std::unique_ptr<ssMediaRender> render_;
};

// Video-range BT.601 colours of a 75 % bar chart.
Pair barColour(int bar);
