#pragma once
// The renderer's seven shader programs and their uniforms. Render thread only: no other context
// draws with them (the preview has its own), so freeing them never reaches into another
// context's drawing.
#include <cstdint>

class ssDisplayGL;

// A conversion from the packed upload with the colour-adjustment uniforms, set on first use after
// loading.
struct ssColourProgram {
    uint32_t program = 0;
    int32_t cosHue = -1, sinHue = -1, saturation = -1, brightness = -1, contrast = -1;
    bool dirty = true;
};

class ssRenderPrograms
{
public:
    ~ssRenderPrograms() { Release(); }

    // Compiles the programs and sets their fixed uniforms. 0, or the failing program's error for
    // YUV2Out, Interlace and RGB2YUV601; a failure of YUV2In or a Deinterlace program stops
    // loading with 0.
    int32_t Load(ssDisplayGL& display);
    void Release();

    // Packed upload to full resolution, whole frame (YUV2In) or from one field.
    ssColourProgram& Upload() { return yuv2In_; }
    ssColourProgram& Field(bool evenLines) { return evenLines ? deinterlaceEven_ : deinterlaceOdd_; }
    // Packed upload straight to the packed card raster; program 0 when it failed to load.
    ssColourProgram& Card() { return yuv2Card_; }
    void UseColour(ssColourProgram& program);

    // Full resolution to the packed raster: one picture (YUV2Out) or two woven (Interlace).
    // xInc is the picture's width over the raster's.
    void UseOutput(float xInc);
    void UseInterlace(float xInc);
    // RGBA images (slate, overlay) to full-resolution YCbCr at the given opacity.
    bool HasImageProgram() const { return rgb2yuv_ != 0; }
    void UseImage(float alpha);

private:
    ssColourProgram yuv2In_, yuv2Card_, deinterlaceEven_, deinterlaceOdd_;
    uint32_t yuv2Out_ = 0, interlace_ = 0, rgb2yuv_ = 0;
    int32_t yuv2OutXInc_ = -1, interlaceXInc_ = -1, rgb2yuvAlpha_ = -1;
    const float cosHue_ = 1.0f, sinHue_ = 0.0f, saturation_ = 1.0f, contrast_ = 1.0f, brightness_ = 0.0f;
};
