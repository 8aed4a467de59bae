#include "engine/render/ssRenderPrograms.h"

#include "engine/display/ssDisplayGL.h"
#include "engine/display/ssShader.h"

#include <epoxy/gl.h>

namespace {

int32_t uniform(uint32_t program, const char* name)
{
    return glGetUniformLocation(program, name);
}

} // namespace

void ssRenderPrograms::Release()
{
    for (ssColourProgram* p : {&yuv2In_, &yuv2Card_, &deinterlaceEven_, &deinterlaceOdd_}) {
        if (p->program)
            glDeleteProgram(p->program);
        *p = ssColourProgram{};
    }
    for (uint32_t* program : {&yuv2Out_, &interlace_, &rgb2yuv_}) {
        if (*program)
            glDeleteProgram(*program);
        *program = 0;
    }
}

int32_t ssRenderPrograms::Load(ssDisplayGL& display)
{
    Release();
    auto load = [&display](const char* name, uint32_t* program) {
        ssShader shader;
        const int32_t error = display.LoadShader(&shader, name);
        *program = shader.program;
        // The shaders go with the program when it is deleted.
        if (shader.vertexShader)
            glDeleteShader(shader.vertexShader);
        if (shader.fragmentShader)
            glDeleteShader(shader.fragmentShader);
        return error;
    };
    // Loads a program and sets its sampler to texture unit `unit`, leaving it in use.
    auto loadSampling = [&](const char* name, uint32_t* program, const char* sampler, int32_t unit) {
        const int32_t error = load(name, program);
        if (error == 0) {
            glUseProgram(*program);
            glUniform1i(uniform(*program, sampler), unit);
        }
        return error;
    };
    // Sets a float uniform of the program in use to its first value; its location.
    auto initial = [](uint32_t program, const char* name, float value) {
        const int32_t location = uniform(program, name);
        glUniform1f(location, value);
        return location;
    };
    // A conversion with its colour adjustment neutral.
    auto loadAdjusted = [&](const char* name, ssColourProgram* p) {
        if (loadSampling(name, &p->program, "texUnitY", 0) != 0)
            return false;
        p->cosHue = initial(p->program, "cosHue", 1.0f);
        p->sinHue = initial(p->program, "sinHue", 0.0f);
        p->contrast = initial(p->program, "contrast", 1.0f);
        p->brightness = initial(p->program, "brightness", 0.0f);
        p->saturation = initial(p->program, "saturation", 1.0f);
        p->dirty = true;
        return true;
    };
    int32_t error = loadSampling("YUV2Out", &yuv2Out_, "inputTex", 0);
    if (error != 0)
        return error;
    yuv2OutXInc_ = initial(yuv2Out_, "xInc", 1.5f);
    if (!loadAdjusted("YUV2In", &yuv2In_) || !loadAdjusted("DeinterlaceEven", &deinterlaceEven_)
        || !loadAdjusted("DeinterlaceOdd", &deinterlaceOdd_)) {
        glUseProgram(0);
        return 0;
    }
    // Without it card frames take the two passes through the intermediate.
    if (!loadAdjusted("YUV2Card", &yuv2Card_)) {
        if (yuv2Card_.program)
            glDeleteProgram(yuv2Card_.program);
        yuv2Card_ = ssColourProgram{};
    }
    if ((error = loadSampling("Interlace", &interlace_, "inputTex0", 1)) != 0)
        return error;
    glUniform1i(uniform(interlace_, "inputTex1"), 0);
    interlaceXInc_ = initial(interlace_, "xInc", 1.5f);
    if ((error = loadSampling("RGB2YUV601", &rgb2yuv_, "inputTex", 0)) != 0)
        return error;
    rgb2yuvAlpha_ = initial(rgb2yuv_, "alpha", 1.0f);
    glUseProgram(0);
    return 0;
}

void ssRenderPrograms::UseColour(ssColourProgram& p)
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

void ssRenderPrograms::UseOutput(float xInc)
{
    glUseProgram(yuv2Out_);
    glUniform1f(yuv2OutXInc_, xInc);
}

void ssRenderPrograms::UseInterlace(float xInc)
{
    glUseProgram(interlace_);
    glUniform1f(interlaceXInc_, xInc);
}

void ssRenderPrograms::UseImage(float alpha)
{
    glUseProgram(rgb2yuv_);
    glUniform1f(rgb2yuvAlpha_, alpha);
}
