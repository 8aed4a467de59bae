#pragma once
// The drawing half of the playback engine. Decoded packed 4:2:2 pictures go up into rectangle
// textures (two pixels per texel), are converted to full-resolution YCbCr (deinterlaced from one
// field when asked), get the slate or overlay, and become output frames: a texture a screen output
// draws from another context, or packed 4:2:2 bytes read back for a card, letter-boxed into the
// output raster and, for interlaced outputs, woven from two decoded frames.
//
// This class keeps the output configuration and orders each frame's passes; the work is done by
// its parts, one job each (programs, targets, upload, fields, quads, overlay, slate, preview,
// hand-over).
//
// Everything except the setters and DrawPreview runs on the render thread with the engine's
// context current. The setters may be called from any thread. DrawPreview runs on the view's
// thread with a context of the same share group current.
#include "engine/render/ssAudioMeters.h"
#include "engine/render/ssDirectCardFrame.h"
#include "engine/render/ssFieldWeaver.h"
#include "engine/render/ssFrameUploader.h"
#include "engine/render/ssOverlayLayer.h"
#include "engine/render/ssPictureQuads.h"
#include "engine/render/ssRenderPreview.h"
#include "engine/render/ssRenderPrograms.h"
#include "engine/render/ssRenderTargets.h"
#include "engine/render/ssRenderTypes.h"
#include "engine/render/ssSlateLayer.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class ssDisplayGL;
class ssFont;
struct ssTexture;

class ssMediaRender
{
public:
    explicit ssMediaRender(const char* resourceDir);
    // Frees the GL objects: the engine's context must be current when any were made.
    ~ssMediaRender();
    ssMediaRender(const ssMediaRender&) = delete;
    ssMediaRender& operator=(const ssMediaRender&) = delete;

    // Output configuration (render thread): the raster, the 486-line flag, and the lists rebuilt
    // on their next use. Creates the display on first use, and sets it up in a context first
    // configured (after ReleaseGL).
    void ConfigureOutput(const ssRenderOutputMode& mode);
    // Compiles the seven programs and sets their fixed uniforms. 0, or the failing program's
    // error for YUV2Out, Interlace and RGB2YUV601; a failure of YUV2In or a
    // Deinterlace program stops loading with 0.
    int32_t LoadShaders();
    // Upload textures and the intermediate and output targets for decoded pictures of w x h.
    // 0, or -1 when the size is unusable or memory runs out.
    int32_t CreateUploadTextures(int32_t width, int32_t height);
    // One target per output slot for an output raster of W x H. slotPixels, when given, are the
    // card frames' own buffers (W x H x 2 bytes each); otherwise the renderer allocates them.
    int32_t CreateFrameTargets(int32_t width, int32_t height, uint8_t* const* slotPixels = nullptr);
    // Frees every texture, framebuffer and buffer made by the two calls above.
    void ReleaseTargets();
    // Frees every GL object the renderer made (targets, programs, lists, the display's fonts and
    // textures, the slate and overlay textures), so the context can go too. The slate and overlay
    // images, the output configuration and the settings stay: the next ConfigureOutput,
    // LoadShaders and CreateUploadTextures, in a new context, draw as before.
    void ReleaseGL();

    // Decoded picture buffer i (backed by the upload buffer), and output slot i.
    ssRenderFrame* GetUploadFrame(int32_t index);
    ssRenderSlot* GetSlot(int32_t index);

    // Movie timing and field handling, from the output configuration.
    void SetFrameDuration(double seconds);
    void SetDisplaySize(int32_t width, int32_t height);
    void SetInterlace(int32_t deinterlaceMode, int32_t interlaceFlag);
    void SetPostSeekFrames(int32_t frames) { weaver_.SetPostSeekFrames(frames); }

    // 0 when the slot now holds an output frame, 1 when nothing is to be presented.
    int32_t RenderFrame(ssRenderFrame* frame, ssRenderSlot* slot);
    int32_t RenderField(ssRenderFrame* frame, ssRenderSlot* slot, int32_t firstField);

    // Any thread.
    void SetOverlayImage(int32_t width, int32_t height, const uint8_t* rgba, float x, float y, float w, float h);
    void FadeOverlay(int32_t direction, float fadeTime);
    float GetOverlayOpacity() const { return overlay_.Opacity(); }
    int32_t GetFadeDirection() const { return overlay_.FadeDirection(); }
    void SetSlateImage(int32_t width, int32_t height, const uint8_t* rgba);
    void ShowSlate(int32_t show) { slate_.Show(show); }
    // Whether card frames also get the small copy the channel preview draws (on by default). A
    // channel without a preview turns it off: one pass less per frame.
    void SetPreviewCopies(bool on) { preview_.SetCopies(on); }
    // How card frames that need no drawing are made (see ssDirectCardFrame); automatic by default,
    // or as KLV_CARD_FRAMES says. Takes effect on the next frame.
    void SetCardFrameWay(ssCardFrameWay way) { cardFrameWay_.store(way); }
    // Render thread: whether such frames skip GL now (the driver is known once configured).
    bool DirectCardFrames() const;
    int32_t IsSlateShown() const { return slate_.Shown(); }
    void SetAnamorphic(int32_t flag);
    void GetOutputSize(int32_t* width, int32_t* height) const;
    // Any thread: the display once the render thread has made it.
    ssDisplayGL* GetDisplay() const { return sharedDisplay_.load(); }
    int32_t RenderTargetsReady() const { return targets_.Ready(); }
    int32_t GetFrameNumber() const { return weaver_.FrameNumber(); }
    // Size of the texture AcquireFrameTexture gives for the preview (a third of the picture for a card).
    void GetPreviewSize(int32_t* width, int32_t* height) const { preview_.GetSize(width, height); }

    // The slot's texture for drawing in the calling (screen output's) context: the context waits
    // on the GPU for the render thread's drawing to finish before using it. 0 for no texture.
    uint32_t AcquireFrameTexture(int32_t slot);

    // Preview into the viewport (x, y, width, height) of the current context. Returns 0.
    int32_t DrawPreview(int32_t x, int32_t y, int32_t width, int32_t height, const ssPreviewInput& input);
    // The view's thread's program for the picture (see ssRenderPreview), 0 before the first.
    uint32_t PreviewProgram() const { return preview_.Program(); }
    // Whether DrawPreview draws the meters (not over a slate, not before the targets exist).
    bool PreviewShowsMeters() const { return targets_.Ready() && !slate_.Shown(); }

    ssMeterAccumulators& Meters() { return meters_; }
    // The audio path's copy into 8-channel frames with the meter update (see ssMeterAccumulators).
    void AccumulateMeterLevels(int32_t* out, const int32_t* samples, int32_t frames, int32_t first, int32_t count)
    {
        meters_.AccumulateMeterLevels(out, samples, frames, first, count);
    }
    // One meter of `bars` bars; also drawn by the record preview.
    static void DrawAudioMeters(int32_t bars, const double* levelsDb, float left, float bottom, float stripWidth,
        float pixelHeight, float top)
    {
        ssDrawAudioMeters(bars, levelsDb, left, bottom, stripWidth, pixelHeight, top);
    }

private:
    bool Accepts(const ssRenderFrame* frame, const ssRenderSlot* slot) const;
    // The stock slate, loaded on first use (null when it cannot be).
    const ssTexture* StockSlate();
    // Conversion through `program`, slate, overlay, then the hand-over or the card frame; with
    // hold the picture waits in its intermediate to be woven with the next one (result 1).
    int32_t Finish(ssRenderFrame* frame, ssRenderSlot* slot, ssColourProgram& program, bool weave, bool hold,
        bool overlay);
    // Whether a progressive card frame of w x h with this pass and overlay is the picture itself:
    // the raster's size, filled, with nothing drawn over it.
    bool NeedsNoDrawing(int32_t w, int32_t h, bool weave, bool overlay);
    // The overlay's upload and fade step for this frame; whether it is drawn.
    bool PrepareOverlay(bool advanceFade);

    std::string resourceDir_;
    std::unique_ptr<ssDisplayGL> display_;
    std::atomic<ssDisplayGL*> sharedDisplay_{nullptr};
    ssFont* fontSmall_ = nullptr;
    ssFont* fontLarge_ = nullptr;
    ssTexture* stockSlate_ = nullptr; // "Slate.jpg": shown when no slate image was given
    bool stockSlateTried_ = false;
    uint32_t scratchTexture_ = 0;
    uint32_t scratchFramebuffer_ = 0;

    // Output.
    std::atomic<int32_t> outputWidth_{0};
    std::atomic<int32_t> outputHeight_{0};
    int32_t outputInterlaced_ = 0;
    float outputFrameRate_ = 0.0f;
    int32_t line486_ = 0;
    int32_t textureOutput_ = 0;
    std::atomic<ssCardFrameWay> cardFrameWay_{ssCardFrameWayFromEnvironment()};
    bool softwareRenderer_ = false; // from the driver's name, at each output configuration

    // The parts, destroyed in reverse: the uploads and targets go before the programs.
    ssRenderPrograms programs_;
    ssSlateLayer slate_;
    ssOverlayLayer overlay_;
    ssPictureQuads quads_;
    ssRenderTargets targets_;
    ssFrameUploader uploader_;
    ssFieldWeaver weaver_;
    ssRenderPreview preview_;
    ssDirectCardFrame direct_;

    ssMeterAccumulators meters_;
};
