#include "platform/encode/PicturePool.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace platform::encode {

AVFrame* takeWritablePicture(AVFrame* const* pictures, int count, int* next)
{
    for (int i = 0; i < count; ++i) {
        AVFrame* picture = pictures[(*next + i) % count];
        if (av_frame_is_writable(picture)) {
            *next = (*next + i + 1) % count;
            return picture;
        }
    }
    AVFrame* picture = pictures[*next];
    *next = (*next + 1) % count;
    return av_frame_make_writable(picture) == 0 ? picture : nullptr;
}

} // namespace platform::encode
