#include "engine/render/ssInterlaceDecision.h"

#include "engine/base/ssMessage.h"

#include <cmath>

ssInterlaceDecision ssDecideInterlace(int32_t fieldOrder, int32_t movieHeight, double movieRate,
    int32_t outputInterlaced, int32_t outputHeight, double outputRate)
{
    ssInterlaceDecision d;
    if (fieldOrder >= 2) {
        if (outputInterlaced && movieHeight == outputHeight) {
            ssMessage(2, "Output is interlaced and matches height, not deinterlacing");
        } else if (outputInterlaced) {
            d.deinterlaceMode = fieldOrder - 1;
            ssMessage(2, "Output is interlaced but height is differnt, deinterlacing");
        } else {
            d.deinterlaceMode = fieldOrder - 1;
        }
        if (outputRate <= 30.0 && !outputInterlaced) {
            d.deinterlaceMode = 0;
            ssMessage(2, "Output framerate too slow to support deinterlacing");
        }
    }
    if (!outputInterlaced)
        return d;
    ssMessage(2, "Output is interlaced");
    if (std::fabs(movieRate - outputRate) < 1.5) {
        if (movieHeight != outputHeight)
            d.interlaceFlag = 1;
        if (fieldOrder != 4) {
            d.interlaceFlag = 1;
            if (movieRate < 31.0) {
                d.interlaceFlag = 0;
                ssMessage(2, "movie too slow to interlace");
            }
        }
        if (d.interlaceFlag == 0)
            ssMessage(2, "Movie is interlaced and matches in height, not interlacing");
        else
            ssMessage(2, "Movie is not interlaced or different height, interlacing");
    } else if (std::fabs(movieRate / 2.0 - outputRate) < 1.5) {
        d.interlaceFlag = 1;
        if (fieldOrder != 4 && movieRate < 31.0) {
            d.interlaceFlag = 0;
            ssMessage(2, "movie too slow to interlace");
        }
    }
    return d;
}
