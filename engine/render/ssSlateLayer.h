#pragma once
// The slate shown in place of the picture: the clip's own image when one was given, else the
// stock still. Set and shown from any thread; drawn on the render thread.
#include "engine/render/ssPendingImage.h"

#include <atomic>
#include <cstdint>

class ssRenderPrograms;
struct ssTexture;

class ssSlateLayer
{
public:
    // Any thread.
    void Set(int32_t width, int32_t height, const uint8_t* rgba);
    void Show(int32_t show) { show_.store(show); }
    int32_t Shown() const { return show_.load(); }

    // Render thread: takes up a newly set image; whether the slate has an image of its own.
    bool UploadImage();
    // Fills a target of w x h with the slate (stock: the still shown without an image of the
    // clip's own); nothing without a slate or the program.
    void Draw(int32_t width, int32_t height, const ssTexture* stock, ssRenderPrograms& programs);
    // Render thread: the texture goes, the image stays for the next upload.
    void ReleaseTexture() { image_.Release(); }

private:
    ssPendingImage image_;
    std::atomic<int32_t> show_{0};
};
