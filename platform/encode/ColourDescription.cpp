#include "platform/encode/ColourDescription.h"

namespace platform::encode {

ColourDescription colourForHeight(int height)
{
    if (height <= 486)
        return {6, 1, 6}; // SMPTE 170M primaries, BT.709 transfer, BT.601 matrix
    if (height <= 576)
        return {5, 1, 6}; // BT.470 B/G primaries, BT.709 transfer, BT.601 matrix
    return {1, 1, 1};     // BT.709
}

} // namespace platform::encode
