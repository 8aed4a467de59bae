#include <epoxy/gl.h>

#include "app/gl/KLVTextureFence.h"

void KLVTextureFence::publish()
{
    GLsync fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    glFlush();
    std::lock_guard lock(lock_);
    // Deleting a fence another context still waits on is deferred by GL until the wait is over.
    if (sync_)
        glDeleteSync(static_cast<GLsync>(sync_));
    sync_ = fence;
}

void KLVTextureFence::waitInCurrentContext()
{
    // Held across the wait so the producer cannot delete the fence in between (the wait is queued
    // on the GPU and returns at once).
    std::lock_guard lock(lock_);
    if (sync_)
        glWaitSync(static_cast<GLsync>(sync_), 0, GL_TIMEOUT_IGNORED);
}

bool KLVTextureFence::hasFence() const
{
    std::lock_guard lock(lock_);
    return sync_ != nullptr;
}
