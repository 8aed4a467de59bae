#pragma once
// The channel preview: on the render thread, the small copy of each card frame it shows (on by
// default; a channel without a preview turns it off, one pass less per frame); on the view's
// thread, the preview itself: meters at the side and the newest frame beside them.
//
// The view's context draws several channels' previews while their engines load and unload; a
// program used by two contexts cannot be freed by one while the other draws (the driver keeps
// per-context state of it that the freeing thread changes). So the preview's program is its own:
// made and used on the view's thread, never freed by a render thread, and freed with the engine
// once the view has stopped drawing. The render thread frees only its own programs.
#include "engine/display/ssShader.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class ssDisplayGL;
class ssFont;
class ssRenderPrograms;
struct ssColourProgram;
struct ssRenderSlot;

// What the preview shows besides the frame: the caller's view of the channel.
struct ssPreviewInput {
    int32_t hasOutput = 0;      // zero: "No Output Device Selected"
    int32_t channelCount = 0;   // audio channels metered
    const double* levelsDb = nullptr; // channelCount levels, dB
    uint32_t frameTexture = 0;  // full-resolution YCbCr texture of the newest frame, 0 for none
    int32_t frameWidth = 0;     // its size in texels
    int32_t frameHeight = 0;
    int32_t displayWidth = 0;   // the picture's display aspect
    int32_t displayHeight = 0;
};

class ssRenderPreview
{
public:
    explicit ssRenderPreview(std::string resourceDir);
    ~ssRenderPreview();

    // Any thread.
    void SetCopies(bool on) { copies_.store(on); }
    bool Copies() const { return copies_.load(); }
    // Sizes the copies for pictures of w x h: the picture's own for a screen (its slot texture
    // is the preview), a third of it for a card.
    void SetSize(int32_t pictureWidth, int32_t pictureHeight, bool textureOutput);
    void GetSize(int32_t* width, int32_t* height) const
    {
        *width = width_;
        *height = height_;
    }

    // Render thread: the slot's copy from source, a full-resolution picture of w x h, or with
    // conversion a packed picture converted on the way.
    void Copy(ssRenderSlot* slot, uint32_t source, int32_t width, int32_t height, ssRenderPrograms& programs,
        ssColourProgram* conversion = nullptr) const;

    // View's thread, with a context of the engine's share group current: the preview into the
    // viewport (x, y, width, height). Meters only when asked (targets made and no slate).
    // Returns 0.
    int32_t Draw(int32_t x, int32_t y, int32_t width, int32_t height, const ssPreviewInput& input, bool showMeters);
    // View's thread: the program the picture is drawn with, 0 before the first one.
    uint32_t Program() const { return program_.program; }

private:
    std::string resourceDir_;
    std::atomic<bool> copies_{true};
    std::atomic<int32_t> width_{0};
    std::atomic<int32_t> height_{0};
    // The view thread's own.
    std::unique_ptr<ssDisplayGL> display_;
    ssFont* font_ = nullptr;
    ssShader program_; // YUV2RGB601, made on the first frame drawn
    bool programTried_ = false;
};
