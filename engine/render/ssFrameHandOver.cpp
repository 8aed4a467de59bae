#include "engine/render/ssFrameHandOver.h"

#include "engine/render/ssRenderTypes.h"

#include <epoxy/gl.h>

void ssPublishSlot(ssRenderSlot* slot)
{
    GLsync fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    // The fence must reach the GPU before another context can wait on it.
    glFlush();
    std::lock_guard<std::mutex> hold(slot->fenceLock);
    if (slot->fence)
        glDeleteSync(static_cast<GLsync>(slot->fence));
    slot->fence = fence;
}

void ssReadBackSlot(ssRenderSlot* slot, int32_t outputWidth, int32_t outputHeight, int32_t pictureWidth,
    int32_t pictureHeight)
{
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, slot->rowBytes / 4);
    glReadPixels(0, 0, outputWidth / 2, outputHeight, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, slot->pixels);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    slot->width = pictureWidth;
    slot->height = pictureHeight;
    ssPublishSlot(slot);
}

uint32_t ssAcquireSlotTexture(ssRenderSlot* slot)
{
    {
        std::lock_guard<std::mutex> hold(slot->fenceLock);
        if (slot->fence)
            glWaitSync(static_cast<GLsync>(slot->fence), 0, GL_TIMEOUT_IGNORED);
    }
    return slot->texture ? slot->texture : slot->previewTexture;
}
