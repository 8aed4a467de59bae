#pragma once
// Engine-side OpenGL context: everything the engine needs of a context, with no window system or
// toolkit type in sight. The application installs a Qt-backed root (platform/gl/qt); tests and
// services fall back to an EGL surfaceless root. Every engine context shares its objects with the
// root, so textures made on a render thread can be drawn by an output window's context.
#include <memory>

class ssGLContext
{
public:
    virtual ~ssGLContext() = default;

    // A new context in the same share group as this one; null when the window system refuses.
    virtual std::unique_ptr<ssGLContext> CreateShared() = 0;
    // Binds the context to the calling thread (a context is current on one thread at a time).
    virtual bool MakeCurrent() = 0;
    virtual void DoneCurrent() = 0;
    virtual void* GetProcAddress(const char* name) = 0;
    // Frees the driver's context (its state, compiled draw code and buffers: megabytes a context
    // on a software driver) and keeps what is needed to make it again: the next MakeCurrent makes
    // a new one in the same share group. Objects of the share group are untouched, so free them
    // first; framebuffers, which no other context sees, go with it. Call with the context current
    // on no thread. A context that others share from (the root) stays.
    virtual void ReleaseDriverContext() = 0;

    // Process-wide root of the share group. SetShareRoot replaces it (null clears it).
    static void SetShareRoot(std::shared_ptr<ssGLContext> root);
    static std::shared_ptr<ssGLContext> ShareRoot();
    // A context for an engine thread: shared with the root, which is created on the EGL surfaceless
    // platform when nothing was installed. Null when no context can be had.
    static std::unique_ptr<ssGLContext> CreateEngineContext();
    // Whether any context (EGL, or GLX once the process has loaded it) is current on the calling
    // thread: objects whose context is gone (at exit) must not make GL calls.
    static bool AnyCurrent();
};

// Makes a context current for a scope and restores "nothing current" on leaving it.
class ssGLCurrent
{
public:
    explicit ssGLCurrent(ssGLContext& context) : context_(context), ok_(context.MakeCurrent()) {}
    ~ssGLCurrent() { context_.DoneCurrent(); }
    ssGLCurrent(const ssGLCurrent&) = delete;
    ssGLCurrent& operator=(const ssGLCurrent&) = delete;
    bool ok() const { return ok_; }

private:
    ssGLContext& context_;
    bool ok_;
};
