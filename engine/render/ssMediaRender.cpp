#include "engine/render/ssMediaRender.h"

#include "engine/base/ssMessage.h"
#include "engine/display/ssDisplayGL.h"
#include "engine/display/ssFont.h"
#include "engine/render/ssFrameHandOver.h"
#include "engine/texture/ssTexture.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cstring>

ssMediaRender::ssMediaRender(const char* resourceDir)
    : resourceDir_(resourceDir ? resourceDir : "."), preview_(resourceDir_)
{
}

ssMediaRender::~ssMediaRender()
{
    // The parts free their own names as they go.
    ssDeleteRenderTarget(&scratchTexture_, &scratchFramebuffer_);
}

void ssMediaRender::ConfigureOutput(const ssRenderOutputMode& mode)
{
    outputWidth_.store(mode.width);
    outputHeight_.store(mode.height);
    outputInterlaced_ = mode.interlaced;
    outputFrameRate_ = mode.frameRate;
    line486_ = mode.interlaced && mode.height == 486 ? 1 : 0;
    textureOutput_ = mode.textureOutput;
    softwareRenderer_ = ssIsSoftwareRenderer(reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    const float scale = float(mode.width) / 1920.0f;
    if (!display_)
        display_ = std::make_unique<ssDisplayGL>(scale, resourceDir_.c_str());
    if (!scratchFramebuffer_) {
        // The engine's context has no window surface: the display's set-up clear needs a target.
        ssMakeRenderTarget(2, 1, GL_NEAREST, ssBlackYCbCr, &scratchTexture_, &scratchFramebuffer_);
        glBindFramebuffer(GL_FRAMEBUFFER, scratchFramebuffer_);
        display_->Init(mode.width, mode.height, 32, 0);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    } else {
        display_->Resize(mode.width, mode.height);
    }
    fontSmall_ = display_->LoadFont("Arial30", "", "misc.ark");
    fontLarge_ = display_->LoadFont("Arial50", "", "misc.ark");
    sharedDisplay_.store(display_.get());
    if (!fontSmall_ || std::strncmp(fontSmall_->GetName(), "Arial30", 7) != 0)
        ssMessage(2, "Can't find font %s/Arial30.fnt", resourceDir_.c_str());
    quads_.Invalidate();
}

int32_t ssMediaRender::LoadShaders()
{
    if (!display_)
        display_ = std::make_unique<ssDisplayGL>(1.0f, resourceDir_.c_str());
    return programs_.Load(*display_);
}

int32_t ssMediaRender::CreateUploadTextures(int32_t width, int32_t height)
{
    ReleaseTargets();
    if (uploader_.Create(width, height) != 0)
        return -1;
    targets_.CreatePasses(width, height, std::max(outputWidth_.load(), 2), std::max(outputHeight_.load(), 1));
    quads_.Invalidate();
    return 0;
}

int32_t ssMediaRender::CreateFrameTargets(int32_t width, int32_t height, uint8_t* const* slotPixels)
{
    const int32_t pictureWidth = uploader_.Width();
    const int32_t pictureHeight = uploader_.Height();
    if (pictureWidth <= 0 || pictureHeight <= 0 || width <= 0 || height <= 0 || width % 2 != 0)
        return -1;
    // The slot's texture is what the preview draws: the frame itself on a screen.
    preview_.SetSize(pictureWidth, pictureHeight, textureOutput_ != 0);
    int32_t textureWidth = 0;
    int32_t textureHeight = 0;
    preview_.GetSize(&textureWidth, &textureHeight);
    direct_.SetPreviewSize(textureOutput_ ? 0 : textureWidth, textureOutput_ ? 0 : textureHeight);
    return targets_.CreateSlots(textureWidth, textureHeight, width, height, textureOutput_ != 0, slotPixels);
}

void ssMediaRender::ReleaseTargets()
{
    targets_.Release();
    uploader_.Release();
    direct_.SetPreviewSize(0, 0);
}

void ssMediaRender::ReleaseGL()
{
    ReleaseTargets();
    programs_.Release();
    quads_.Release();
    slate_.ReleaseTexture();
    overlay_.ReleaseTexture();
    // The display object stays: a screen output reads it from its own thread.
    if (display_)
        display_->ReleaseResources();
    fontSmall_ = nullptr;
    fontLarge_ = nullptr;
    stockSlate_ = nullptr;
    stockSlateTried_ = false;
    ssDeleteRenderTarget(&scratchTexture_, &scratchFramebuffer_);
}

ssRenderFrame* ssMediaRender::GetUploadFrame(int32_t index)
{
    return uploader_.Frame(index);
}

ssRenderSlot* ssMediaRender::GetSlot(int32_t index)
{
    return targets_.Slot(index);
}

void ssMediaRender::SetFrameDuration(double seconds)
{
    weaver_.SetFrameDuration(seconds);
}

void ssMediaRender::SetDisplaySize(int32_t width, int32_t height)
{
    quads_.SetDisplaySize(width, height);
}

void ssMediaRender::SetInterlace(int32_t deinterlaceMode, int32_t interlaceFlag)
{
    weaver_.SetInterlace(deinterlaceMode, interlaceFlag);
}

void ssMediaRender::SetAnamorphic(int32_t flag)
{
    quads_.SetAnamorphic(flag);
}

void ssMediaRender::GetOutputSize(int32_t* width, int32_t* height) const
{
    if (width)
        *width = outputWidth_.load();
    if (height)
        *height = outputHeight_.load();
}

void ssMediaRender::SetOverlayImage(int32_t width, int32_t height, const uint8_t* rgba, float x, float y, float w,
    float h)
{
    overlay_.Set(width, height, rgba, x, y, w, h);
}

void ssMediaRender::FadeOverlay(int32_t direction, float fadeTime)
{
    overlay_.Fade(direction, fadeTime, weaver_.FrameDuration());
}

void ssMediaRender::SetSlateImage(int32_t width, int32_t height, const uint8_t* rgba)
{
    slate_.Set(width, height, rgba);
}

uint32_t ssMediaRender::AcquireFrameTexture(int32_t index)
{
    ssRenderSlot* slot = GetSlot(index);
    return slot ? ssAcquireSlotTexture(slot) : 0;
}

int32_t ssMediaRender::DrawPreview(int32_t x, int32_t y, int32_t width, int32_t height, const ssPreviewInput& input)
{
    return preview_.Draw(x, y, width, height, input, PreviewShowsMeters());
}

const ssTexture* ssMediaRender::StockSlate()
{
    // A full raster of pixels that most channels never show: read when first needed.
    if (!stockSlate_ && !stockSlateTried_ && display_) {
        stockSlateTried_ = true;
        stockSlate_ = display_->LoadTexture("Slate.jpg", "", "misc.ark", ssTexAsSource, 1);
    }
    return stockSlate_;
}

bool ssMediaRender::Accepts(const ssRenderFrame* frame, const ssRenderSlot* slot) const
{
    return frame && slot && frame->pixels && targets_.Ready() && uploader_.Fits(*frame)
        && (textureOutput_ ? slot->framebuffer != 0 : slot->pixels != nullptr);
}

bool ssMediaRender::DirectCardFrames() const
{
    const ssCardFrameWay way = cardFrameWay_.load();
    return way == ssCardFrameWay::Direct || (way == ssCardFrameWay::Automatic && softwareRenderer_);
}

bool ssMediaRender::PrepareOverlay(bool advanceFade)
{
    return overlay_.Prepare(advanceFade, programs_.HasImageProgram() && outputWidth_.load() > 0
        && outputHeight_.load() > 0);
}

bool ssMediaRender::NeedsNoDrawing(int32_t w, int32_t h, bool weave, bool overlay)
{
    const int32_t W = outputWidth_.load();
    const int32_t H = outputHeight_.load();
    quads_.Build(w, h, line486_ ? 1.0f : 0.0f, W, H);
    return !textureOutput_ && !weave && !overlay && !slate_.Shown() && w == W && h == H && !line486_
        && quads_.LetterboxFills();
}

int32_t ssMediaRender::RenderFrame(ssRenderFrame* frame, ssRenderSlot* slot)
{
    if (!Accepts(frame, slot))
        return 1;
    const ssFieldPass pass = weaver_.PlanFrame(frame->time, slate_.Shown() != 0);
    slot->time = pass.slotTime;
    const bool overlay = PrepareOverlay(true);
    if (DirectCardFrames() && NeedsNoDrawing(frame->width, frame->height, pass.weave, overlay)) {
        weaver_.ClearParity();
        ssDirectCardFrame::Copy(*frame, slot);
        if (preview_.Copies()) {
            direct_.Preview(*frame, slot);
            ssPublishSlot(slot); // the preview's context waits for the upload
        }
        return 0;
    }
    uploader_.Upload(*frame);
    return Finish(frame, slot, programs_.Upload(), pass.weave, pass.hold, overlay);
}

int32_t ssMediaRender::RenderField(ssRenderFrame* frame, ssRenderSlot* slot, int32_t firstField)
{
    if (!Accepts(frame, slot))
        return 1;
    const ssFieldPass pass = weaver_.PlanField(frame->time, firstField != 0);
    slot->time = pass.slotTime;
    if (firstField)
        uploader_.Upload(*frame);
    return Finish(frame, slot, programs_.Field(pass.evenLines), pass.weave, pass.hold,
        PrepareOverlay(firstField != 0));
}

int32_t ssMediaRender::Finish(ssRenderFrame* frame, ssRenderSlot* slot, ssColourProgram& program, bool weave,
    bool hold, bool overlay)
{
    const int32_t w = frame->width;
    const int32_t h = frame->height;
    const int32_t drawn = weaver_.Parity();
    if (!program.program)
        return 1;
    const int32_t W = outputWidth_.load();
    const int32_t H = outputHeight_.load();
    const bool slate = slate_.Shown() != 0;
    quads_.Build(w, h, line486_ ? 1.0f : 0.0f, W, H);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    const uint32_t upload = uploader_.Texture(frame->index);
    // A progressive card frame of the raster's own size with nothing drawn over it goes from the
    // upload into the card raster in one pass; its preview copy is converted from the upload at
    // the preview's size.
    if (&program == &programs_.Upload() && programs_.Card().program && NeedsNoDrawing(w, h, weave, overlay)) {
        weaver_.ClearParity();
        if (preview_.Copies())
            preview_.Copy(slot, upload, w, h, programs_, &programs_.Upload());
        glBindFramebuffer(GL_FRAMEBUFFER, targets_.OutputFramebuffer());
        glViewport(0, 0, W / 2, H);
        programs_.UseColour(programs_.Card());
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_RECTANGLE, upload);
        quads_.DrawLetterboxed();
        glUseProgram(0);
        ssReadBackSlot(slot, W, H, w, h);
        return 0;
    }

    const uint32_t target = textureOutput_ ? slot->framebuffer : targets_.IntermediateFramebuffer(drawn);
    glBindFramebuffer(GL_FRAMEBUFFER, target);
    glViewport(0, 0, w, h);
    glActiveTexture(GL_TEXTURE0);
    if (slate)
        slate_.Draw(w, h, slate_.UploadImage() ? nullptr : StockSlate(), programs_);
    if (!slate) {
        programs_.UseColour(program);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_RECTANGLE, upload);
        quads_.DrawFullFrame();
    }
    if (overlay)
        overlay_.Draw(w, h, W, H, programs_);
    glUseProgram(0);

    if (textureOutput_) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        slot->width = w;
        slot->height = h;
        ssPublishSlot(slot);
        return 0;
    }

    if (preview_.Copies())
        preview_.Copy(slot, targets_.IntermediateTexture(drawn), w, h, programs_);
    weaver_.ClearParity();
    if (hold) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glFlush();
        return 1;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, targets_.OutputFramebuffer());
    glViewport(0, 0, W / 2, H);
    // Margins read back as black; a picture that fills the raster leaves none to clear.
    if (!quads_.LetterboxFills()) {
        glClearColor(ssBlackPacked[0], ssBlackPacked[1], ssBlackPacked[2], ssBlackPacked[3]);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    weaver_.BindOutputPass(programs_, targets_, weave, drawn, line486_ != 0, float(w) / float(W));
    quads_.DrawLetterboxed();
    glUseProgram(0);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_RECTANGLE, 0);
    glActiveTexture(GL_TEXTURE0);
    ssReadBackSlot(slot, W, H, w, h);
    return 0;
}
