#pragma once
// A screen output whose source never has a frame: output windows and views draw their black
// screen with it.

#include "engine/display/ssDisplayGL.h"
#include "engine/output/ssDVIOutput.h"
#include "engine/output/ssOutputSource.h"

#include <cstdlib>
#include <string>

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

// The display (with the build's resources), the idle source and the screen output over them.
struct IdleScreenOutput {
    static std::string resources()
    {
        const char* build = std::getenv("KLV_BINARY_DIR");
        return std::string(build ? build : ".") + "/resources";
    }
    IdleScreenOutput()
        : display(1.0f, resources().c_str())
        , source(&display)
    {
        output.Kind_ = ssBaseOutput::kKindScreen;
        output.SetSource(nullptr, &source, 0, 0);
    }
    ssDisplayGL display;
    IdleScreenSource source;
    ssDVIOutput output;
};

} // namespace testsupport
