#pragma once
// A screen output's source that never has a frame: output windows and views draw their black
// screen with it.

#include "engine/output/ssOutputSource.h"

namespace testsupport {

struct IdleScreenSource : ssScreenSource {
    explicit IdleScreenSource(ssDisplayGL* d) : display(d) {}
    int32_t GetFrameForOutput(int32_t* w, int32_t* h, int32_t* s) override
    {
        *w = *h = 0;
        *s = 1;
        return -1;
    }
    uint32_t GetFrameTexture(int32_t) override { return 0; }
    ssDisplayGL* GetDisplay() override { return display; }
    ssDisplayGL* display;
};

} // namespace testsupport
