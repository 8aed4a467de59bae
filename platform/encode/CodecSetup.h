#pragma once
// The FFmpeg steps every compression session takes alike: error texts, describing the picture to
// the encoder (size, rate, colour, fields) and allocating the frames it compresses from.

#include <span>
#include <string>

struct AVCodecContext;
struct AVFrame;

namespace platform::encode {

// FFmpeg's text for an error code.
std::string ffmpegError(int code);

struct PictureDescription {
    int width = 0;
    int height = 0;
    double frameRate = 0;
    bool interlaced = false;
    bool topFieldFirst = true;
};

// Size, rate, square pixels, the colour of its height (video range) and the field order.
void describePicture(AVCodecContext& context, const PictureDescription& picture);

// Allocates each frame with buffers of this format and size. 0, or the FFmpeg error with its text
// in `error`; frames allocated before a failure stay for the caller to free.
int allocateFrames(std::span<AVFrame*> frames, int pixelFormat, int width, int height, std::string* error);

} // namespace platform::encode
