#include "engine/render/ssFieldWeaver.h"

#include "engine/render/ssRenderPrograms.h"
#include "engine/render/ssRenderTargets.h"

#include <epoxy/gl.h>

#include <cmath>

void ssFieldWeaver::SetFrameDuration(double seconds)
{
    if (seconds > 0.0)
        frameDuration_.store(seconds);
}

void ssFieldWeaver::SetInterlace(int32_t deinterlaceMode, int32_t interlaceFlag)
{
    deinterlaceMode_.store(deinterlaceMode);
    interlaceFlag_.store(interlaceFlag);
}

ssFieldPass ssFieldWeaver::PlanFrame(double time, bool slate)
{
    ssFieldPass pass;
    pass.weave = interlaceFlag_.load() != 0 && !slate;
    const int32_t number = int32_t(std::lround(time / frameDuration_.load()));
    frameNumber_.store(number);
    if (pass.weave)
        parity_ = number & 1;
    pass.hold = pass.weave && (number & 1) == 0;
    pass.slotTime = time;
    return pass;
}

ssFieldPass ssFieldWeaver::PlanField(double time, bool firstField)
{
    ssFieldPass pass;
    pass.weave = interlaceFlag_.load() != 0 && postSeekFrames_.load() == 0;
    frameNumber_.store(int32_t(std::lround(time / frameDuration_.load())));
    // Both fields of a frame share its number, so each field gets its own intermediate to weave.
    parity_ = pass.weave && !firstField ? 1 : 0;
    pass.hold = pass.weave && firstField;
    pass.slotTime = firstField ? time : time + 0.5 * frameDuration_.load();
    // Bottom-field-first material shows its odd lines first.
    const int32_t mode = deinterlaceMode_.load();
    const bool bottomFirst = mode == 2 || mode == 4;
    pass.evenLines = firstField != bottomFirst;
    return pass;
}

void ssFieldWeaver::BindOutputPass(ssRenderPrograms& programs, ssRenderTargets& targets, bool weave,
    int32_t drawn, bool line486, float xInc) const
{
    if (weave) {
        programs.UseInterlace(xInc);
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_RECTANGLE, targets.IntermediateTexture(line486 ? 1 : 0));
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_RECTANGLE, targets.IntermediateTexture(line486 ? 0 : 1));
    } else {
        programs.UseOutput(xInc);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_RECTANGLE, targets.IntermediateTexture(drawn));
    }
}
