#include "platform/encode/CodecSetup.h"

#include "platform/encode/ColourDescription.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/rational.h>
}

#include <cerrno>

namespace platform::encode {

std::string ffmpegError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

void describePicture(AVCodecContext& context, const PictureDescription& picture)
{
    context.width = picture.width;
    context.height = picture.height;
    context.framerate = av_d2q(picture.frameRate, 1000000);
    context.time_base = av_inv_q(context.framerate);
    context.sample_aspect_ratio = AVRational{1, 1};
    const ColourDescription colour = colourForHeight(picture.height);
    context.color_primaries = AVColorPrimaries(colour.primaries);
    context.color_trc = AVColorTransferCharacteristic(colour.transfer);
    context.colorspace = AVColorSpace(colour.matrix);
    context.color_range = AVCOL_RANGE_MPEG;
    if (picture.interlaced) {
        context.flags |= AV_CODEC_FLAG_INTERLACED_DCT;
        context.field_order = picture.topFieldFirst ? AV_FIELD_TT : AV_FIELD_BB;
    } else {
        context.field_order = AV_FIELD_PROGRESSIVE;
    }
}

int allocateFrames(std::span<AVFrame*> frames, int pixelFormat, int width, int height, std::string* error)
{
    for (AVFrame*& frame : frames) {
        frame = av_frame_alloc();
        if (!frame) {
            *error = "out of memory";
            return AVERROR(ENOMEM);
        }
        frame->format = pixelFormat;
        frame->width = width;
        frame->height = height;
        const int got = av_frame_get_buffer(frame, 64);
        if (got < 0) {
            *error = ffmpegError(got);
            return got;
        }
    }
    return 0;
}

} // namespace platform::encode
