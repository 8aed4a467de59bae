#include "platform/gl/ssGLContext.h"

#include "platform/gl/ssGLContextEGL.h"

#include <epoxy/egl.h>

#include <dlfcn.h>
#include <mutex>

namespace {
std::mutex rootLock;
std::shared_ptr<ssGLContext> root;
} // namespace

void ssGLContext::SetShareRoot(std::shared_ptr<ssGLContext> newRoot)
{
    std::lock_guard<std::mutex> guard(rootLock);
    root = std::move(newRoot);
}

std::shared_ptr<ssGLContext> ssGLContext::ShareRoot()
{
    std::lock_guard<std::mutex> guard(rootLock);
    return root;
}

std::unique_ptr<ssGLContext> ssGLContext::CreateEngineContext()
{
    std::shared_ptr<ssGLContext> base;
    {
        std::lock_guard<std::mutex> guard(rootLock);
        if (!root)
            root = ssGLContextEGL::Create();
        base = root;
    }
    return base ? base->CreateShared() : nullptr;
}

bool ssGLContext::AnyCurrent()
{
    if (eglGetCurrentContext() != EGL_NO_CONTEXT)
        return true;
    // Only ask GLX when the process already uses it; looking it up must not load it.
    using GetCurrent = void* (*)();
    static const auto glxGetCurrentContext = reinterpret_cast<GetCurrent>(dlsym(RTLD_DEFAULT, "glXGetCurrentContext"));
    return glxGetCurrentContext && glxGetCurrentContext() != nullptr;
}
