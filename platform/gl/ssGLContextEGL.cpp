#include "platform/gl/ssGLContextEGL.h"

#include <epoxy/egl.h>

#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

struct EglDisplay
{
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLConfig config = nullptr;
    bool surfaceless = false; // EGL_KHR_surfaceless_context: make current without any surface
};

bool hasExtension(const char* list, const char* name)
{
    if (!list)
        return false;
    const size_t n = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n) {
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0'))
            return true;
    }
    return false;
}

EGLDisplay openPlatformDisplay()
{
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (hasExtension(client, "EGL_MESA_platform_surfaceless")) {
        EGLDisplay d = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr))
            return d;
    }
    // Drivers without the surfaceless platform: the first render device.
    if (hasExtension(client, "EGL_EXT_platform_device") && hasExtension(client, "EGL_EXT_device_enumeration")) {
        EGLDeviceEXT devices[8];
        EGLint count = 0;
        if (eglQueryDevicesEXT(8, devices, &count)) {
            for (EGLint i = 0; i < count; ++i) {
                EGLDisplay d = eglGetPlatformDisplayEXT(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
                if (d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr))
                    return d;
            }
        }
    }
    return EGL_NO_DISPLAY;
}

// One EGL display for the whole process, initialised on first use and kept to the end: contexts
// of several engines live on it and terminating it under them would pull their objects away.
const EglDisplay& eglDisplay()
{
    static EglDisplay shared;
    static std::once_flag once;
    std::call_once(once, [] {
        EGLDisplay d = openPlatformDisplay();
        if (d == EGL_NO_DISPLAY) {
            std::fprintf(stderr, "EGL: no surfaceless or device display available\n");
            return;
        }
        if (!eglBindAPI(EGL_OPENGL_API)) {
            std::fprintf(stderr, "EGL: desktop OpenGL is not offered\n");
            return;
        }
        const EGLint attributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
            EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8, EGL_NONE};
        EGLint count = 0;
        EGLConfig config = nullptr;
        if (!eglChooseConfig(d, attributes, &config, 1, &count) || count < 1) {
            std::fprintf(stderr, "EGL: no RGBA8 OpenGL configuration\n");
            return;
        }
        shared.display = d;
        shared.config = config;
        shared.surfaceless = hasExtension(eglQueryString(d, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context");
    });
    return shared;
}

EGLContext createContext(const EglDisplay& d, EGLContext share)
{
    // eglBindAPI is per thread: a context may be asked for from any engine thread.
    eglBindAPI(EGL_OPENGL_API);
    const EGLint attributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
        EGL_NONE};
    EGLContext context = eglCreateContext(d.display, d.config, share, attributes);
    if (context == EGL_NO_CONTEXT)
        std::fprintf(stderr, "EGL: eglCreateContext failed 0x%x\n", static_cast<unsigned>(eglGetError()));
    return context;
}

} // namespace

std::unique_ptr<ssGLContextEGL> ssGLContextEGL::Create()
{
    return CreateWithShare(EGL_NO_CONTEXT);
}

std::unique_ptr<ssGLContextEGL> ssGLContextEGL::CreateWithShare(void* shareContext)
{
    const EglDisplay& d = eglDisplay();
    if (d.display == EGL_NO_DISPLAY)
        return nullptr;
    EGLContext context = createContext(d, static_cast<EGLContext>(shareContext));
    if (context == EGL_NO_CONTEXT)
        return nullptr;
    EGLSurface pbuffer = EGL_NO_SURFACE;
    if (!d.surfaceless) {
        const EGLint size[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
        pbuffer = eglCreatePbufferSurface(d.display, d.config, size);
        if (pbuffer == EGL_NO_SURFACE) {
            eglDestroyContext(d.display, context);
            return nullptr;
        }
    }
    return std::unique_ptr<ssGLContextEGL>(new ssGLContextEGL(context, pbuffer, shareContext));
}

ssGLContextEGL::~ssGLContextEGL()
{
    const EglDisplay& d = eglDisplay();
    if (context_ && eglGetCurrentContext() == context_)
        eglMakeCurrent(d.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (pbuffer_ != EGL_NO_SURFACE)
        eglDestroySurface(d.display, pbuffer_);
    if (context_)
        eglDestroyContext(d.display, context_);
}

std::unique_ptr<ssGLContext> ssGLContextEGL::CreateShared()
{
    return context_ ? CreateWithShare(context_) : nullptr;
}

bool ssGLContextEGL::MakeCurrent()
{
    const EglDisplay& d = eglDisplay();
    if (!context_) {
        context_ = createContext(d, static_cast<EGLContext>(share_));
        if (context_ == EGL_NO_CONTEXT) {
            context_ = nullptr;
            return false;
        }
    }
    eglBindAPI(EGL_OPENGL_API);
    return eglMakeCurrent(d.display, pbuffer_, pbuffer_, context_) == EGL_TRUE;
}

void ssGLContextEGL::ReleaseDriverContext()
{
    if (!share_ || !context_)
        return;
    eglDestroyContext(eglDisplay().display, context_);
    context_ = nullptr;
}

void ssGLContextEGL::DoneCurrent()
{
    eglMakeCurrent(eglDisplay().display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

void* ssGLContextEGL::GetProcAddress(const char* name)
{
    return reinterpret_cast<void*>(eglGetProcAddress(name));
}
