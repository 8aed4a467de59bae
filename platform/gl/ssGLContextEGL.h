#pragma once
// EGL implementation of ssGLContext: an OpenGL (compatibility profile) context with no surface,
// on the Mesa surfaceless platform, or the device platform where surfaceless is missing.
#include "platform/gl/ssGLContext.h"

class ssGLContextEGL final : public ssGLContext
{
public:
    // A root context (no sharing); null when EGL offers no OpenGL context here.
    static std::unique_ptr<ssGLContextEGL> Create();
    ~ssGLContextEGL() override;

    std::unique_ptr<ssGLContext> CreateShared() override;
    bool MakeCurrent() override;
    void DoneCurrent() override;
    void* GetProcAddress(const char* name) override;
    void ReleaseDriverContext() override;

private:
    ssGLContextEGL(void* context, void* pbuffer, void* share) : context_(context), pbuffer_(pbuffer), share_(share) {}
    static std::unique_ptr<ssGLContextEGL> CreateWithShare(void* shareContext);

    void* context_; // null while released
    void* pbuffer_; // only where the driver lacks surfaceless make-current
    void* share_; // what a released context is made again from; null for a root
};
