#pragma once
// The drawing half of the playback engine. Decoded packed 4:2:2 pictures go up into rectangle
// textures (two pixels per texel), are converted to full-resolution YCbCr (deinterlaced from one
// field when asked), get the slate or overlay, and become output frames: a texture a screen output
// draws from another context, or packed 4:2:2 bytes read back for a card, letter-boxed into the
// output raster and, for interlaced outputs, woven from two decoded frames.
//
// Everything except the setters and DrawPreview runs on the render thread with the engine's
// context current. The setters may be called from any thread. DrawPreview runs on the view's
// thread with a context of the same share group current.
#include "engine/render/ssAudioMeters.h"
#include "engine/render/ssRenderTypes.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class ssDisplayGL;
class ssFont;
struct ssTexture;

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

class ssMediaRender
{
public:
    explicit ssMediaRender(const char* resourceDir);
    // Frees the GL objects: the engine's context must be current when any were made.
    ~ssMediaRender();
    ssMediaRender(const ssMediaRender&) = delete;
    ssMediaRender& operator=(const ssMediaRender&) = delete;

    // Output configuration (render thread): the raster, the 486-line flag, and the lists rebuilt
    // on their next use. Creates the display on first use.
    void ConfigureOutput(const ssRenderOutputMode& mode);
    // Compiles the eight programs and sets their fixed uniforms. 0, or the failing program's
    // error for YUV2Out, Interlace, RGB2YUV601 and YUV2RGB601; a failure of YUV2In or a
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

    // Decoded picture buffer i (backed by the upload buffer), and output slot i.
    ssRenderFrame* GetUploadFrame(int32_t index);
    ssRenderSlot* GetSlot(int32_t index);

    // Movie timing and field handling, from the output configuration.
    void SetFrameDuration(double seconds);
    void SetDisplaySize(int32_t width, int32_t height);
    void SetInterlace(int32_t deinterlaceMode, int32_t interlaceFlag);
    void SetPostSeekFrames(int32_t frames) { postSeekFrames_.store(frames); }

    // 0 when the slot now holds an output frame, 1 when nothing is to be presented.
    int32_t RenderFrame(ssRenderFrame* frame, ssRenderSlot* slot);
    int32_t RenderField(ssRenderFrame* frame, ssRenderSlot* slot, int32_t firstField);

    // Any thread.
    void SetOverlayImage(int32_t width, int32_t height, const uint8_t* rgba, float x, float y, float w, float h);
    void FadeOverlay(int32_t direction, float fadeTime);
    float GetOverlayOpacity() const { return overlayOpacity_.load(); }
    int32_t GetFadeDirection() const { return fadeDirection_.load(); }
    void SetSlateImage(int32_t width, int32_t height, const uint8_t* rgba);
    void ShowSlate(int32_t show) { showSlate_.store(show); }
    // Whether card frames also get the small copy the channel preview draws (on by default). A
    // channel without a preview turns it off: one pass less per frame.
    void SetPreviewCopies(bool on) { previewCopies_.store(on); }
    int32_t IsSlateShown() const { return showSlate_.load(); }
    void SetAnamorphic(int32_t flag);
    void GetOutputSize(int32_t* width, int32_t* height) const;
    // Any thread: the display once the render thread has made it.
    ssDisplayGL* GetDisplay() const { return sharedDisplay_.load(); }
    int32_t RenderTargetsReady() const { return targetsReady_.load(); }
    int32_t GetFrameNumber() const { return frameNumber_.load(); }
    // Size of the texture AcquireFrameTexture gives for the preview (a third of the picture for a card).
    void GetPreviewSize(int32_t* width, int32_t* height) const
    {
        *width = previewWidth_;
        *height = previewHeight_;
    }

    // The slot's texture for drawing in the calling (screen output's) context: the context waits
    // on the GPU for the render thread's drawing to finish before using it. 0 for no texture.
    uint32_t AcquireFrameTexture(int32_t slot);

    // Preview into the viewport (x, y, width, height) of the current context. Returns 0.
    int32_t DrawPreview(int32_t x, int32_t y, int32_t width, int32_t height, const ssPreviewInput& input);

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
    // An RGBA image set from any thread (copied under `lock`) and uploaded by the render thread.
    struct PendingImage {
        std::mutex lock;
        std::vector<uint8_t> pixels;
        int32_t width = 0, height = 0;
        bool fresh = false;
        // The render thread's own.
        uint32_t texture = 0;
        int32_t textureWidth = 0, textureHeight = 0;
        // Copies the pixels (an unusable image empties it); the caller holds `lock`.
        void Set(int32_t w, int32_t h, const uint8_t* rgba);
    };

    struct Program {
        uint32_t program = 0;
        int32_t cosHue = -1, sinHue = -1, saturation = -1, brightness = -1, contrast = -1;
        bool dirty = true;
    };

    void DeletePrograms();
    void UploadFrame(ssRenderFrame* frame);
    void BuildLists(int32_t frameWidth, int32_t frameHeight, float t0);
    void UseColourProgram(Program& program);
    void DrawSlate(int32_t width, int32_t height);
    // Uploads a new overlay and moves the fade on a frame when advance is set; true when the
    // overlay is to be drawn on this frame.
    bool PrepareOverlay(bool advance);
    // Composites the overlay prepared for this frame.
    void DrawOverlay(int32_t width, int32_t height);
    // The slot's preview from source: a copy of a full-resolution picture, or with conversion a
    // packed picture converted on the way.
    void DrawPreviewCopy(ssRenderSlot* slot, uint32_t source, int32_t width, int32_t height,
        Program* conversion = nullptr);
    bool Accepts(const ssRenderFrame* frame, const ssRenderSlot* slot) const;
    // Conversion through `program`, slate, overlay, then the hand-over or the card frame; with
    // hold the picture waits in its intermediate to be woven with the next one (result 1).
    int32_t Finish(ssRenderFrame* frame, ssRenderSlot* slot, Program& program, bool weave, bool hold, bool advanceFade);
    void Publish(ssRenderSlot* slot);
    // Reads the bound card raster into the slot's bytes and publishes the slot.
    void ReadBack(ssRenderSlot* slot, int32_t pictureWidth, int32_t pictureHeight);
    // Uploads the image set by another thread when it is new.
    static void UploadPending(PendingImage& image);

    std::string resourceDir_;
    std::unique_ptr<ssDisplayGL> display_;
    std::atomic<ssDisplayGL*> sharedDisplay_{nullptr};
    ssFont* fontSmall_ = nullptr;
    ssFont* fontLarge_ = nullptr;
    ssTexture* stockSlate_ = nullptr;
    uint32_t scratchTexture_ = 0;
    uint32_t scratchFramebuffer_ = 0; // "Slate.jpg": shown when no slate image was given

    // Output.
    std::atomic<int32_t> outputWidth_{0};
    std::atomic<int32_t> outputHeight_{0};
    int32_t outputInterlaced_ = 0;
    float outputFrameRate_ = 0.0f;
    int32_t line486_ = 0;
    int32_t textureOutput_ = 0;

    // Upload side.
    uint8_t* uploadBuffer_ = nullptr;
    std::array<uint32_t, ssRenderUploadCount> uploadTextures_{};
    std::array<ssRenderFrame, ssRenderUploadCount> uploadFrames_{};
    int32_t uploadWidth_ = 0;
    int32_t uploadHeight_ = 0;
    std::atomic<int32_t> previewWidth_{0};
    std::atomic<int32_t> previewHeight_{0};
    std::atomic<int32_t> displayWidth_{0};
    std::atomic<int32_t> displayHeight_{0};
    std::array<uint32_t, 2> intermediateFramebuffers_{};
    std::array<uint32_t, 2> intermediateTextures_{};
    std::array<uint32_t, 2> outputFramebuffers_{};
    std::array<uint32_t, 2> outputTextures_{};
    std::array<ssRenderSlot, ssRenderSlotCount> slots_{};
    int32_t parity_ = 0;
    std::atomic<int32_t> targetsReady_{0};

    // Programs.
    Program yuv2In_, yuv2Card_, deinterlaceEven_, deinterlaceOdd_;
    uint32_t yuv2Out_ = 0, interlace_ = 0, rgb2yuv_ = 0, yuv2rgb_ = 0;
    // YUV2RGB601 as the preview's thread sees it.
    std::atomic<uint32_t> previewProgram_{0};
    int32_t yuv2OutXInc_ = -1, interlaceXInc_ = -1, rgb2yuvAlpha_ = -1;
    const float cosHue_ = 1.0f, sinHue_ = 0.0f, saturation_ = 1.0f, contrast_ = 1.0f, brightness_ = 0.0f;

    // Cached quads; -1 (stored as 0 here) means rebuilt on next use.
    uint32_t fullFrameList_ = 0;
    uint32_t letterboxList_ = 0;
    std::atomic<bool> listsValid_{false};
    float listT0_ = 0.0f;
    int32_t listWidth_ = 0, listHeight_ = 0;

    // Timing and fields.
    std::atomic<double> frameDuration_{1.0 / 30.0};
    std::atomic<int32_t> deinterlaceMode_{0};
    std::atomic<int32_t> interlaceFlag_{0};
    std::atomic<int32_t> postSeekFrames_{0};
    std::atomic<int32_t> frameNumber_{0};
    std::atomic<int32_t> anamorphic_{0};

    // Overlay.
    PendingImage overlay_;
    std::array<float, 4> overlayRect_{}; // under overlay_.lock
    std::array<float, 4> overlayDrawRect_{}; // render thread: the rectangle of this frame
    std::atomic<float> overlayOpacity_{0.0f};
    std::atomic<float> fadeStep_{0.0f};
    std::atomic<int32_t> fadeDirection_{0};

    // Slate.
    PendingImage slate_;
    std::atomic<int32_t> showSlate_{0};
    bool letterboxFills_ = false; // render thread: the picture covers the whole output raster
    std::atomic<bool> previewCopies_{true};

    // Preview.
    std::unique_ptr<ssDisplayGL> previewDisplay_;
    ssFont* previewFont_ = nullptr;

    ssMeterAccumulators meters_;
};
