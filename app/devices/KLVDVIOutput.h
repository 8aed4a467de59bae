#pragma once
// The handle through which an output window draws its screen output (the output is not owned).

#include <cstdint>

class ssDVIOutput;

class KLVDVIOutput {
public:
    explicit KLVDVIOutput(ssDVIOutput* output) : output_(output) {}

    ssDVIOutput* output() const { return output_; }
    void setSize(int32_t width, int32_t height);
    void drawScreen();
    // The window is hidden: the frame due is taken, nothing is drawn. Whether the source is live
    // (a new frame was taken, or it plays).
    bool takeFrame();

private:
    ssDVIOutput* output_;
};
