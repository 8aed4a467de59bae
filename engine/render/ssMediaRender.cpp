#include "engine/render/ssMediaRender.h"

#include "engine/base/ssMessage.h"
#include "engine/display/ssDisplayGL.h"
#include "engine/display/ssFont.h"
#include "engine/display/ssShader.h"
#include "engine/render/ssLetterbox.h"
#include "engine/render/ssRectangleTexture.h"
#include "engine/texture/ssTexture.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Video-range black: full-resolution (Y, Cb, Cr, A) and packed 4:2:2 (Cr, Y0, Cb, Y1).
constexpr float kBlackYCbCr[4] = {16.0f / 255.0f, 128.0f / 255.0f, 128.0f / 255.0f, 1.0f};
constexpr float kBlackPacked[4] = {128.0f / 255.0f, 16.0f / 255.0f, 128.0f / 255.0f, 16.0f / 255.0f};
// The packed black as the bytes of one '2vuy' pixel pair (Cb Y0 Cr Y1).
constexpr uint8_t kBlack2vuy[4] = {128, 16, 128, 16};

uint8_t* alignedBlock(size_t bytes)
{
    void* block = nullptr;
    return posix_memalign(&block, 32, bytes) == 0 ? static_cast<uint8_t*>(block) : nullptr;
}

// A rectangle texture of w x h RGBA8 texels with a framebuffer drawing into it, cleared to colour.
void makeTarget(int32_t w, int32_t h, GLint filter, const float* colour, uint32_t* texture, uint32_t* framebuffer)
{
    uint32_t t = 0;
    GLuint f = 0;
    ssAllocateRectangleTexture(&t, w, h, filter, nullptr);
    glGenFramebuffers(1, &f);
    glBindFramebuffer(GL_FRAMEBUFFER, f);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_RECTANGLE, t, 0);
    glClearColor(colour[0], colour[1], colour[2], colour[3]);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    *texture = t;
    *framebuffer = f;
}

void deleteTarget(uint32_t* texture, uint32_t* framebuffer)
{
    if (*framebuffer) {
        const GLuint f = *framebuffer;
        glDeleteFramebuffers(1, &f);
    }
    if (*texture) {
        const GLuint t = *texture;
        glDeleteTextures(1, &t);
    }
    *texture = 0;
    *framebuffer = 0;
}

// A quad over x0..x1, y0..y1 (normalised device units) with texture coordinates s0..s1, t0..t1;
// t0 goes with y0, which is the top of the picture in the engine's targets.
void quad(float x0, float y0, float x1, float y1, float s0, float t0, float s1, float t1)
{
    glBegin(GL_QUADS);
    glTexCoord2f(s0, t0);
    glVertex2f(x0, y0);
    glTexCoord2f(s1, t0);
    glVertex2f(x1, y0);
    glTexCoord2f(s1, t1);
    glVertex2f(x1, y1);
    glTexCoord2f(s0, t1);
    glVertex2f(x0, y1);
    glEnd();
}

void uploadRGBA(uint32_t* texture, int32_t* currentW, int32_t* currentH, int32_t w, int32_t h, const uint8_t* rgba)
{
    if (!*texture) {
        GLuint t = 0;
        glGenTextures(1, &t);
        *texture = t;
        *currentW = 0;
        *currentH = 0;
    }
    glBindTexture(GL_TEXTURE_RECTANGLE, *texture);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    if (*currentW != w || *currentH != h) {
        glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        *currentW = w;
        *currentH = h;
    } else {
        glTexSubImage2D(GL_TEXTURE_RECTANGLE, 0, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    }
    glBindTexture(GL_TEXTURE_RECTANGLE, 0);
}

int32_t uniform(uint32_t program, const char* name)
{
    return glGetUniformLocation(program, name);
}

} // namespace

void ssFillBlack2vuy(uint8_t* pixels, size_t bytes)
{
    for (size_t i = 0; i + 4 <= bytes; i += 4)
        std::memcpy(pixels + i, kBlack2vuy, 4);
}

ssMediaRender::ssMediaRender(const char* resourceDir) : resourceDir_(resourceDir ? resourceDir : ".") {}

ssMediaRender::~ssMediaRender()
{
    ReleaseTargets();
    for (uint32_t* list : {&fullFrameList_, &letterboxList_}) {
        if (*list)
            glDeleteLists(*list, 1);
        *list = 0;
    }
    for (uint32_t* texture : {&overlay_.texture, &slate_.texture}) {
        if (*texture) {
            const GLuint t = *texture;
            glDeleteTextures(1, &t);
        }
    }
    DeletePrograms();
    deleteTarget(&scratchTexture_, &scratchFramebuffer_);
}

void ssMediaRender::DeletePrograms()
{
    previewProgram_.store(0);
    for (Program* p : {&yuv2In_, &yuv2Card_, &deinterlaceEven_, &deinterlaceOdd_}) {
        if (p->program)
            glDeleteProgram(p->program);
        *p = Program{};
    }
    for (uint32_t* program : {&yuv2Out_, &interlace_, &rgb2yuv_, &yuv2rgb_}) {
        if (*program)
            glDeleteProgram(*program);
        *program = 0;
    }
}

void ssMediaRender::ConfigureOutput(const ssRenderOutputMode& mode)
{
    outputWidth_.store(mode.width);
    outputHeight_.store(mode.height);
    outputInterlaced_ = mode.interlaced;
    outputFrameRate_ = mode.frameRate;
    line486_ = mode.interlaced && mode.height == 486 ? 1 : 0;
    textureOutput_ = mode.textureOutput;
    const float scale = float(mode.width) / 1920.0f;
    if (display_) {
        display_->Resize(mode.width, mode.height);
        fontSmall_ = display_->LoadFont("Arial30", "", "misc.ark");
        fontLarge_ = display_->LoadFont("Arial50", "", "misc.ark");
    } else {
        display_ = std::make_unique<ssDisplayGL>(scale, resourceDir_.c_str());
        // The engine's context has no window surface: the display's set-up clear needs a target.
        if (!scratchFramebuffer_)
            makeTarget(2, 1, GL_NEAREST, kBlackYCbCr, &scratchTexture_, &scratchFramebuffer_);
        glBindFramebuffer(GL_FRAMEBUFFER, scratchFramebuffer_);
        display_->Init(mode.width, mode.height, 32, 0);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        fontSmall_ = display_->LoadFont("Arial30", "", "misc.ark");
        stockSlate_ = display_->LoadTexture("Slate.jpg", "", "misc.ark", ssTexAsSource, 1);
        fontLarge_ = display_->LoadFont("Arial50", "", "misc.ark");
        sharedDisplay_.store(display_.get());
    }
    if (!fontSmall_ || std::strncmp(fontSmall_->GetName(), "Arial30", 7) != 0)
        ssMessage(2, "Can't find font %s/Arial30.fnt", resourceDir_.c_str());
    listsValid_.store(false);
}

int32_t ssMediaRender::LoadShaders()
{
    if (!display_)
        display_ = std::make_unique<ssDisplayGL>(1.0f, resourceDir_.c_str());
    DeletePrograms();
    auto load = [this](const char* name, uint32_t* program) {
        ssShader shader;
        const int32_t error = display_->LoadShader(&shader, name);
        *program = shader.program;
        // The shaders go with the program when it is deleted.
        if (shader.vertexShader)
            glDeleteShader(shader.vertexShader);
        if (shader.fragmentShader)
            glDeleteShader(shader.fragmentShader);
        return error;
    };
    auto loadAdjusted = [&](const char* name, Program* p) {
        const int32_t error = load(name, &p->program);
        if (error != 0)
            return false;
        glUseProgram(p->program);
        glUniform1i(uniform(p->program, "texUnitY"), 0);
        p->cosHue = uniform(p->program, "cosHue");
        p->sinHue = uniform(p->program, "sinHue");
        p->contrast = uniform(p->program, "contrast");
        p->brightness = uniform(p->program, "brightness");
        p->saturation = uniform(p->program, "saturation");
        glUniform1f(p->cosHue, 1.0f);
        glUniform1f(p->sinHue, 0.0f);
        glUniform1f(p->contrast, 1.0f);
        glUniform1f(p->brightness, 0.0f);
        glUniform1f(p->saturation, 1.0f);
        p->dirty = true;
        return true;
    };
    int32_t error = load("YUV2Out", &yuv2Out_);
    if (error != 0)
        return error;
    glUseProgram(yuv2Out_);
    glUniform1i(uniform(yuv2Out_, "inputTex"), 0);
    yuv2OutXInc_ = uniform(yuv2Out_, "xInc");
    glUniform1f(yuv2OutXInc_, 1.5f);
    if (!loadAdjusted("YUV2In", &yuv2In_) || !loadAdjusted("DeinterlaceEven", &deinterlaceEven_)
        || !loadAdjusted("DeinterlaceOdd", &deinterlaceOdd_)) {
        glUseProgram(0);
        return 0;
    }
    // Without it card frames take the two passes through the intermediate.
    if (loadAdjusted("YUV2Card", &yuv2Card_)) {
        glUniform2f(uniform(yuv2Card_.program, "storeBias"), 32768.0f, 32768.0f);
        glUniform1f(uniform(yuv2Card_.program, "storeScale"), 256.0f);
    } else {
        if (yuv2Card_.program)
            glDeleteProgram(yuv2Card_.program);
        yuv2Card_ = Program{};
    }
    if ((error = load("Interlace", &interlace_)) != 0)
        return error;
    glUseProgram(interlace_);
    glUniform1i(uniform(interlace_, "inputTex0"), 1);
    glUniform1i(uniform(interlace_, "inputTex1"), 0);
    interlaceXInc_ = uniform(interlace_, "xInc");
    glUniform1f(interlaceXInc_, 1.5f);
    if ((error = load("RGB2YUV601", &rgb2yuv_)) != 0)
        return error;
    glUseProgram(rgb2yuv_);
    glUniform1i(uniform(rgb2yuv_, "inputTex"), 0);
    rgb2yuvAlpha_ = uniform(rgb2yuv_, "alpha");
    glUniform1f(rgb2yuvAlpha_, 1.0f);
    if ((error = load("YUV2RGB601", &yuv2rgb_)) != 0)
        return error;
    glUseProgram(yuv2rgb_);
    glUniform1i(uniform(yuv2rgb_, "inputTex"), 0);
    glUseProgram(0);
    // Finished before the preview may use it.
    glFinish();
    previewProgram_.store(yuv2rgb_);
    return 0;
}

int32_t ssMediaRender::CreateUploadTextures(int32_t width, int32_t height)
{
    ReleaseTargets();
    uploadWidth_ = width;
    uploadHeight_ = height;
    if (width <= 0 || height <= 0 || width % 2 != 0 || width > 16384 || height > 16384)
        return -1;
    const int32_t rowBytes = width * 2;
    const size_t frameBytes = (size_t(rowBytes) * size_t(height) + 31) & ~size_t(31);
    uploadBuffer_ = alignedBlock(frameBytes * ssRenderUploadCount + 256);
    if (!uploadBuffer_)
        return -1;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    for (int i = 0; i < ssRenderUploadCount; ++i) {
        ssRenderFrame& frame = uploadFrames_[size_t(i)];
        frame = ssRenderFrame{};
        frame.pixels = uploadBuffer_ + frameBytes * size_t(i);
        frame.rowBytes = rowBytes;
        frame.width = width;
        frame.height = height;
        frame.index = i;
        ssFillBlack2vuy(frame.pixels, frameBytes);
        uint32_t texture = 0;
        ssAllocateRectangleTexture(&texture, width / 2, height, GL_NEAREST, frame.pixels);
        uploadTextures_[size_t(i)] = texture;
    }
    glBindTexture(GL_TEXTURE_RECTANGLE, 0);
    const int32_t outWidth = std::max(outputWidth_.load(), 2);
    const int32_t outHeight = std::max(outputHeight_.load(), 1);
    for (int p = 0; p < 2; ++p) {
        makeTarget(width, height, GL_LINEAR, kBlackYCbCr, &intermediateTextures_[size_t(p)],
            &intermediateFramebuffers_[size_t(p)]);
        makeTarget(outWidth / 2, outHeight, GL_NEAREST, kBlackPacked, &outputTextures_[size_t(p)],
            &outputFramebuffers_[size_t(p)]);
    }
    listsValid_.store(false);
    return 0;
}

int32_t ssMediaRender::CreateFrameTargets(int32_t width, int32_t height, uint8_t* const* slotPixels)
{
    if (uploadWidth_ <= 0 || uploadHeight_ <= 0 || width <= 0 || height <= 0 || width % 2 != 0)
        return -1;
    if (textureOutput_) {
        previewWidth_ = uploadWidth_;
        previewHeight_ = uploadHeight_;
    } else {
        previewWidth_ = std::max(uploadWidth_ / 3, 1);
        previewHeight_ = std::max(uploadHeight_ / 3, 1);
    }
    for (int i = 0; i < ssRenderSlotCount; ++i) {
        ssRenderSlot& slot = slots_[size_t(i)];
        slot.textureIndex = i;
        slot.width = width;
        slot.height = height;
        slot.time = 0.0;
        if (textureOutput_) {
            makeTarget(uploadWidth_, uploadHeight_, GL_LINEAR, kBlackYCbCr, &slot.texture, &slot.framebuffer);
            slot.byteSize = size_t(width) * size_t(height) * 4;
            continue;
        }
        makeTarget(previewWidth_, previewHeight_, GL_LINEAR, kBlackYCbCr, &slot.previewTexture,
            &slot.previewFramebuffer);
        slot.byteSize = size_t(width) * size_t(height) * 2;
        slot.rowBytes = width * 2;
        if (slotPixels && slotPixels[i]) {
            slot.pixels = slotPixels[i];
            slot.ownsPixels = false;
        } else {
            slot.pixels = alignedBlock(slot.byteSize);
            slot.ownsPixels = slot.pixels != nullptr;
            if (!slot.pixels)
                return -1;
        }
        ssFillBlack2vuy(slot.pixels, slot.byteSize);
    }
    targetsReady_.store(1);
    return 0;
}

void ssMediaRender::ReleaseTargets()
{
    targetsReady_.store(0);
    for (auto& texture : uploadTextures_) {
        if (texture) {
            const GLuint t = texture;
            glDeleteTextures(1, &t);
        }
        texture = 0;
    }
    for (auto& frame : uploadFrames_)
        frame = ssRenderFrame{};
    std::free(uploadBuffer_);
    uploadBuffer_ = nullptr;
    for (size_t p = 0; p < 2; ++p) {
        deleteTarget(&intermediateTextures_[p], &intermediateFramebuffers_[p]);
        deleteTarget(&outputTextures_[p], &outputFramebuffers_[p]);
    }
    for (auto& slot : slots_) {
        deleteTarget(&slot.texture, &slot.framebuffer);
        deleteTarget(&slot.previewTexture, &slot.previewFramebuffer);
        if (slot.ownsPixels)
            std::free(slot.pixels);
        slot.pixels = nullptr;
        slot.ownsPixels = false;
        std::lock_guard<std::mutex> hold(slot.fenceLock);
        if (slot.fence)
            glDeleteSync(static_cast<GLsync>(slot.fence));
        slot.fence = nullptr;
    }
}

ssRenderFrame* ssMediaRender::GetUploadFrame(int32_t index)
{
    if (index < 0 || index >= ssRenderUploadCount || !uploadFrames_[size_t(index)].pixels)
        return nullptr;
    return &uploadFrames_[size_t(index)];
}

ssRenderSlot* ssMediaRender::GetSlot(int32_t index)
{
    if (index < 0 || index >= ssRenderSlotCount)
        return nullptr;
    return &slots_[size_t(index)];
}

void ssMediaRender::SetFrameDuration(double seconds)
{
    if (seconds > 0.0)
        frameDuration_.store(seconds);
}

void ssMediaRender::SetDisplaySize(int32_t width, int32_t height)
{
    displayWidth_.store(width);
    displayHeight_.store(height);
    listsValid_.store(false);
}

void ssMediaRender::SetInterlace(int32_t deinterlaceMode, int32_t interlaceFlag)
{
    deinterlaceMode_.store(deinterlaceMode);
    interlaceFlag_.store(interlaceFlag);
}

void ssMediaRender::SetAnamorphic(int32_t flag)
{
    anamorphic_.store(flag);
    listsValid_.store(false);
}

void ssMediaRender::GetOutputSize(int32_t* width, int32_t* height) const
{
    if (width)
        *width = outputWidth_.load();
    if (height)
        *height = outputHeight_.load();
}

void ssMediaRender::UploadFrame(ssRenderFrame* frame)
{
    glBindTexture(GL_TEXTURE_RECTANGLE, uploadTextures_[size_t(frame->index)]);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, frame->rowBytes / 4);
    glTexSubImage2D(GL_TEXTURE_RECTANGLE, 0, 0, 0, frame->width / 2, frame->height, GL_BGRA,
        GL_UNSIGNED_INT_8_8_8_8_REV, frame->pixels);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

void ssMediaRender::BuildLists(int32_t frameWidth, int32_t frameHeight, float t0)
{
    if (listsValid_.load() && listWidth_ == frameWidth && listHeight_ == frameHeight && listT0_ == t0)
        return;
    if (!fullFrameList_)
        fullFrameList_ = glGenLists(1);
    if (!letterboxList_)
        letterboxList_ = glGenLists(1);
    const float w = float(frameWidth);
    const float h = float(frameHeight);
    // t0 moves the picture down by whole lines (486-line outputs).
    glNewList(fullFrameList_, GL_COMPILE);
    quad(-1.0f, -1.0f, 1.0f, 1.0f, 0.0f, -t0, w, h - t0);
    glEndList();
    const int32_t dw = displayWidth_.load() > 0 ? displayWidth_.load() : frameWidth;
    const int32_t dh = displayHeight_.load() > 0 ? displayHeight_.load() : frameHeight;
    const ssLetterboxMargins m
        = ssComputeLetterbox(anamorphic_.load(), outputWidth_.load(), outputHeight_.load(), dw, dh);
    const float l = float(m.horizontal);
    const float v = float(m.vertical);
    glNewList(letterboxList_, GL_COMPILE);
    quad(l - 1.0f, v - 1.0f, 1.0f - l, 1.0f - v, 0.0f, 0.0f, w, h);
    glEndList();
    letterboxFills_ = l <= 0.0f && v <= 0.0f;
    listWidth_ = frameWidth;
    listHeight_ = frameHeight;
    listT0_ = t0;
    listsValid_.store(true);
}

void ssMediaRender::UseColourProgram(Program& p)
{
    glUseProgram(p.program);
    if (p.dirty) {
        glUniform1f(p.cosHue, cosHue_);
        glUniform1f(p.sinHue, sinHue_);
        glUniform1f(p.saturation, saturation_);
        glUniform1f(p.brightness, brightness_);
        glUniform1f(p.contrast, contrast_);
        p.dirty = false;
    }
}

void ssMediaRender::PendingImage::Set(int32_t w, int32_t h, const uint8_t* rgba)
{
    if (rgba && w > 0 && h > 0 && w <= 16384 && h <= 16384) {
        pixels.assign(rgba, rgba + size_t(w) * size_t(h) * 4);
        width = w;
        height = h;
    } else {
        pixels.clear();
        width = 0;
        height = 0;
    }
    fresh = true;
}

void ssMediaRender::UploadPending(PendingImage& image)
{
    std::lock_guard<std::mutex> hold(image.lock);
    if (!image.fresh)
        return;
    image.fresh = false;
    if (image.width > 0 && image.height > 0
        && image.pixels.size() >= size_t(image.width) * size_t(image.height) * 4) {
        uploadRGBA(&image.texture, &image.textureWidth, &image.textureHeight, image.width, image.height,
            image.pixels.data());
    } else if (image.texture) {
        // An empty image takes the old one away.
        const GLuint t = image.texture;
        glDeleteTextures(1, &t);
        image.texture = 0;
        image.textureWidth = 0;
        image.textureHeight = 0;
    }
    // The copy is not needed once it is on the GPU.
    image.pixels.clear();
    image.pixels.shrink_to_fit();
}

void ssMediaRender::DrawSlate(int32_t width, int32_t height)
{
    UploadPending(slate_);
    uint32_t texture = slate_.texture;
    float sw = float(slate_.textureWidth);
    float sh = float(slate_.textureHeight);
    if (!texture && stockSlate_ && stockSlate_->glName > 0) {
        // No slate of the clip's own: the stock still.
        texture = uint32_t(stockSlate_->glName);
        sw = stockSlate_->width;
        sh = stockSlate_->height;
    }
    if (!texture || !rgb2yuv_)
        return;
    glViewport(0, 0, width, height);
    glUseProgram(rgb2yuv_);
    glUniform1f(rgb2yuvAlpha_, 1.0f);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_RECTANGLE, texture);
    quad(-1.0f, -1.0f, 1.0f, 1.0f, 0.0f, 0.0f, sw, sh);
}

bool ssMediaRender::PrepareOverlay(bool advance)
{
    {
        std::lock_guard<std::mutex> hold(overlay_.lock);
        std::memcpy(overlayDrawRect_.data(), overlayRect_.data(), sizeof overlayDrawRect_);
    }
    UploadPending(overlay_);
    int32_t direction = fadeDirection_.load();
    if (advance && direction != 0) {
        // Snap within half a step of either end, so a fade of n steps ends on its n-th frame
        // however the steps round.
        const float step = fadeStep_.load();
        float opacity = overlayOpacity_.load() + step * float(direction);
        if (opacity >= 1.0f - 0.5f * step)
            opacity = 1.0f;
        if (opacity <= 0.5f * step)
            opacity = 0.0f;
        overlayOpacity_.store(opacity);
        if (direction < 0 && opacity == 0.0f)
            fadeDirection_.compare_exchange_strong(direction, 0);
    }
    const float* rect = overlayDrawRect_.data();
    return overlay_.texture && overlayOpacity_.load() > 0.0f && rgb2yuv_ && outputWidth_.load() > 0
        && outputHeight_.load() > 0 && rect[2] > 0.0f && rect[3] > 0.0f;
}

void ssMediaRender::DrawOverlay(int32_t width, int32_t height)
{
    const float opacity = overlayOpacity_.load();
    const int32_t W = outputWidth_.load();
    const int32_t H = outputHeight_.load();
    const float* rect = overlayDrawRect_.data();
    glViewport(0, 0, width, height);
    glUseProgram(rgb2yuv_);
    glUniform1f(rgb2yuvAlpha_, opacity);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_RECTANGLE, overlay_.texture);
    glEnable(GL_BLEND);
    // The picture's alpha stays opaque; only its colour takes the overlay.
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);
    // The rectangle is in output pixels from the top-left of the raster.
    const float x0 = rect[0] / float(W) * 2.0f - 1.0f;
    const float y0 = rect[1] / float(H) * 2.0f - 1.0f;
    const float x1 = (rect[0] + rect[2]) / float(W) * 2.0f - 1.0f;
    const float y1 = (rect[1] + rect[3]) / float(H) * 2.0f - 1.0f;
    quad(x0, y0, x1, y1, 0.0f, 0.0f, float(overlay_.textureWidth), float(overlay_.textureHeight));
    glDisable(GL_BLEND);
}

void ssMediaRender::DrawPreviewCopy(ssRenderSlot* slot, uint32_t source, int32_t width, int32_t height,
    Program* conversion)
{
    if (!slot->previewFramebuffer)
        return;
    glBindFramebuffer(GL_FRAMEBUFFER, slot->previewFramebuffer);
    glViewport(0, 0, previewWidth_, previewHeight_);
    glActiveTexture(GL_TEXTURE0);
    if (conversion) {
        UseColourProgram(*conversion);
    } else {
        glUseProgram(0);
        glEnable(GL_TEXTURE_RECTANGLE);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    }
    glBindTexture(GL_TEXTURE_RECTANGLE, source);
    quad(-1.0f, -1.0f, 1.0f, 1.0f, 0.0f, 0.0f, float(width), float(height));
    if (conversion)
        glUseProgram(0);
    else
        glDisable(GL_TEXTURE_RECTANGLE);
}

void ssMediaRender::Publish(ssRenderSlot* slot)
{
    GLsync fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    // The fence must reach the GPU before another context can wait on it.
    glFlush();
    std::lock_guard<std::mutex> hold(slot->fenceLock);
    if (slot->fence)
        glDeleteSync(static_cast<GLsync>(slot->fence));
    slot->fence = fence;
}

uint32_t ssMediaRender::AcquireFrameTexture(int32_t index)
{
    ssRenderSlot* slot = GetSlot(index);
    if (!slot)
        return 0;
    {
        std::lock_guard<std::mutex> hold(slot->fenceLock);
        if (slot->fence)
            glWaitSync(static_cast<GLsync>(slot->fence), 0, GL_TIMEOUT_IGNORED);
    }
    return slot->texture ? slot->texture : slot->previewTexture;
}

bool ssMediaRender::Accepts(const ssRenderFrame* frame, const ssRenderSlot* slot) const
{
    return frame && slot && frame->pixels && targetsReady_.load() && frame->index >= 0
        && frame->index < ssRenderUploadCount && frame->width == uploadWidth_ && frame->height == uploadHeight_
        && (textureOutput_ ? slot->framebuffer != 0 : slot->pixels != nullptr);
}

int32_t ssMediaRender::RenderFrame(ssRenderFrame* frame, ssRenderSlot* slot)
{
    if (!Accepts(frame, slot))
        return 1;
    // A slate frame stands alone: it is never a field waiting for its pair.
    const bool interlace = interlaceFlag_.load() != 0 && showSlate_.load() == 0;
    const int32_t number = int32_t(std::lround(frame->time / frameDuration_.load()));
    frameNumber_.store(number);
    if (interlace)
        parity_ = number & 1;
    slot->time = frame->time;
    UploadFrame(frame);
    // Under the interlace flag an even frame only fills its field; the odd one after it is woven.
    return Finish(frame, slot, yuv2In_, interlace, interlace && (number & 1) == 0, true);
}

int32_t ssMediaRender::RenderField(ssRenderFrame* frame, ssRenderSlot* slot, int32_t firstField)
{
    if (!Accepts(frame, slot))
        return 1;
    const bool weave = interlaceFlag_.load() != 0 && postSeekFrames_.load() == 0;
    frameNumber_.store(int32_t(std::lround(frame->time / frameDuration_.load())));
    // Both fields of a frame share its number, so each field gets its own intermediate to weave.
    parity_ = weave && !firstField ? 1 : 0;
    // The second field is shown half a frame later, whatever the field rate.
    slot->time = firstField ? frame->time : frame->time + 0.5 * frameDuration_.load();
    if (firstField)
        UploadFrame(frame);
    // Bottom-field-first material shows its odd lines first.
    const int32_t mode = deinterlaceMode_.load();
    const bool bottomFirst = mode == 2 || mode == 4;
    Program& program = (firstField != 0) != bottomFirst ? deinterlaceEven_ : deinterlaceOdd_;
    return Finish(frame, slot, program, weave, weave && firstField, firstField != 0);
}

int32_t ssMediaRender::Finish(ssRenderFrame* frame, ssRenderSlot* slot, Program& program, bool weave, bool hold,
    bool advanceFade)
{
    const int32_t w = frame->width;
    const int32_t h = frame->height;
    const int32_t drawn = parity_;
    if (!program.program)
        return 1;
    const int32_t W = outputWidth_.load();
    const int32_t H = outputHeight_.load();
    const bool slate = showSlate_.load() != 0;
    const bool overlay = PrepareOverlay(advanceFade);
    BuildLists(w, h, line486_ ? 1.0f : 0.0f);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    // A progressive card frame of the raster's own size with nothing drawn over it goes from the
    // upload into the card raster in one pass; its preview copy is converted from the upload at
    // the preview's size.
    if (!textureOutput_ && !weave && !slate && !overlay && &program == &yuv2In_ && yuv2Card_.program && w == W
        && h == H && !line486_ && letterboxFills_) {
        parity_ = 0;
        if (previewCopies_.load())
            DrawPreviewCopy(slot, uploadTextures_[size_t(frame->index)], w, h, &yuv2In_);
        glBindFramebuffer(GL_FRAMEBUFFER, outputFramebuffers_[0]);
        glViewport(0, 0, W / 2, H);
        UseColourProgram(yuv2Card_);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_RECTANGLE, uploadTextures_[size_t(frame->index)]);
        glCallList(letterboxList_);
        glUseProgram(0);
        ReadBack(slot, w, h);
        return 0;
    }

    const uint32_t target = textureOutput_ ? slot->framebuffer : intermediateFramebuffers_[size_t(drawn)];
    glBindFramebuffer(GL_FRAMEBUFFER, target);
    glViewport(0, 0, w, h);
    glActiveTexture(GL_TEXTURE0);
    if (slate)
        DrawSlate(w, h);
    if (!slate) {
        UseColourProgram(program);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_RECTANGLE, uploadTextures_[size_t(frame->index)]);
        glCallList(fullFrameList_);
    }
    if (overlay)
        DrawOverlay(w, h);
    glUseProgram(0);

    if (textureOutput_) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        slot->width = w;
        slot->height = h;
        Publish(slot);
        return 0;
    }

    if (previewCopies_.load())
        DrawPreviewCopy(slot, intermediateTextures_[size_t(drawn)], w, h);
    parity_ = 0;
    if (hold) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glFlush();
        return 1;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, outputFramebuffers_[0]);
    glViewport(0, 0, W / 2, H);
    // Margins read back as black; a picture that fills the raster leaves none to clear.
    if (!letterboxFills_) {
        glClearColor(kBlackPacked[0], kBlackPacked[1], kBlackPacked[2], kBlackPacked[3]);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    if (weave) {
        glUseProgram(interlace_);
        glUniform1f(interlaceXInc_, float(w) / float(W));
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_RECTANGLE, intermediateTextures_[line486_ ? 1 : 0]);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_RECTANGLE, intermediateTextures_[line486_ ? 0 : 1]);
    } else {
        glUseProgram(yuv2Out_);
        glUniform1f(yuv2OutXInc_, float(w) / float(W));
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_RECTANGLE, intermediateTextures_[size_t(drawn)]);
    }
    glCallList(letterboxList_);
    glUseProgram(0);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_RECTANGLE, 0);
    glActiveTexture(GL_TEXTURE0);
    ReadBack(slot, w, h);
    return 0;
}

void ssMediaRender::ReadBack(ssRenderSlot* slot, int32_t pictureWidth, int32_t pictureHeight)
{
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, slot->rowBytes / 4);
    glReadPixels(0, 0, outputWidth_.load() / 2, outputHeight_.load(), GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
        slot->pixels);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    slot->width = pictureWidth;
    slot->height = pictureHeight;
    Publish(slot);
}

void ssMediaRender::SetOverlayImage(int32_t width, int32_t height, const uint8_t* rgba, float x, float y, float w,
    float h)
{
    std::lock_guard<std::mutex> hold(overlay_.lock);
    overlay_.Set(width, height, rgba);
    overlayRect_ = {x, y, w, h};
}

void ssMediaRender::FadeOverlay(int32_t direction, float fadeTime)
{
    // A fade of no length is a cut: one step covers the whole range.
    const double step = fadeTime > 0.0f ? frameDuration_.load() / double(fadeTime) : 1.0;
    fadeStep_.store(float(std::min(step, 1.0)));
    fadeDirection_.store(direction > 0 ? 1 : direction < 0 ? -1 : 0);
}

void ssMediaRender::SetSlateImage(int32_t width, int32_t height, const uint8_t* rgba)
{
    std::lock_guard<std::mutex> hold(slate_.lock);
    slate_.Set(width, height, rgba);
}
