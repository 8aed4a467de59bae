#include "engine/render/ssLetterbox.h"

#include <algorithm>

ssLetterboxMargins ssComputeLetterbox(int anamorphic, int outputWidth, int outputHeight, int displayWidth,
    int displayHeight)
{
    ssLetterboxMargins m;
    if (!anamorphic || outputWidth <= 0 || outputHeight <= 0 || displayWidth <= 0 || displayHeight <= 0)
        return m;
    const double W = outputWidth;
    const double H = outputHeight;
    // Height of the picture at the full output width.
    const double g = W / displayWidth * displayHeight;
    const double pictureWidth = g > H ? H / displayHeight * displayWidth : W;
    m.horizontal = (W - pictureWidth) / W;
    m.vertical = (H - std::min(g, H)) / H;
    return m;
}
