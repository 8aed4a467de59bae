#pragma once
// Card frames that need no drawing: a decoded picture of the raster's own size, progressive, with
// no slate, overlay or field change, is already the card's packed 4:2:2 frame. It is copied into
// the slot's bytes on the render thread, and its preview copy is taken from the same bytes at the
// preview's size and uploaded, so neither the picture's upload nor a pass is drawn. On a software
// GL driver this is most of the render stage's cost.
#include "engine/render/ssRenderTypes.h"

#include <cstdint>
#include <vector>

// Which way card frames that need no drawing take.
enum class ssCardFrameWay {
    Automatic, // direct on a software GL driver, through GL on a GPU
    ThroughGL,
    Direct,
};

// Whether a GL_RENDERER text names a driver that draws on the CPU.
bool ssIsSoftwareRenderer(const char* renderer);

// KLV_CARD_FRAMES ("gl" or "direct") overrides the automatic choice for a whole process.
ssCardFrameWay ssCardFrameWayFromEnvironment();

class ssDirectCardFrame
{
public:
    // Room for preview copies of w x h (0 x 0: none, and the room is given back). Made with the
    // targets, never per frame.
    void SetPreviewSize(int32_t width, int32_t height);

    // The picture's bytes into the slot; the slot then holds a frame of the picture's size.
    static void Copy(const ssRenderFrame& frame, ssRenderSlot* slot);

    // The slot's preview texture from the picture: (Y, Cb, Cr, A) sampled at the preview's pixel
    // centres as the conversion pass samples the upload. Render thread, context current.
    void Preview(const ssRenderFrame& frame, ssRenderSlot* slot);

private:
    int32_t previewWidth_ = 0;
    int32_t previewHeight_ = 0;
    std::vector<uint8_t> preview_;
    std::vector<int32_t> columns_; // source column of each preview pixel
};
