#pragma once
// The OpenGL display: rectangle textures, fixed-function state for fonts and quads, and the
// viewport. Every call needs the display's context current on the calling thread.
#include "engine/display/ssDisplay.h"

class ssDisplayGL final : public ssDisplay
{
public:
    explicit ssDisplayGL(float scale = 1.0f, const char* resourceRoot = ".");
    ~ssDisplayGL() override;

    void Resize(int32_t width, int32_t height) override;
    ssFont* CreateFont() override;
    int32_t BeginFrame() override;
    int32_t UploadTexture(ssTexture* texture, int32_t filter) override;
    int32_t DeleteTexture(ssTexture* texture) override;
    int32_t BindTexture(ssTexture* texture) override;

    // The context is gone (the application quitting): the GL names stay with their share group,
    // and what this display holds in memory is freed without a GL call.
    void AbandonGLNames() { abandoned_ = true; }

private:
    bool abandoned_ = false;
};
