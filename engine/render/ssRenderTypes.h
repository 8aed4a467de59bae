#pragma once
// Records the renderer works on: decoded pictures in, output frames out. Both are made once per
// output configuration; per frame only their pointers move.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

// Decoded pictures between decoder and renderer (4 MB each at 1080). In steady play both queues
// are full; these absorb a slow decode on top of the frames the ring holds ahead of the output.
inline constexpr int ssRenderUploadCount = 4;
// Output frames (frame-ring slots) the renderer keeps targets for.
inline constexpr int ssRenderSlotCount = 8;
// Audio channels with a level accumulator.
inline constexpr int ssRenderMeterChannels = 20;

// Fills packed 4:2:2 bytes with video-range black (Cb 128, Y 16, Cr 128, Y 16); a trailing
// partial pixel pair is left alone.
void ssFillBlack2vuy(uint8_t* pixels, size_t bytes);

// One decoded picture: 8-bit 4:2:2, the '2vuy' bytes Cb Y0 Cr Y1, row 0 at the top.
struct ssRenderFrame {
    uint8_t* pixels = nullptr;
    int32_t rowBytes = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t index = 0; // upload texture it goes through
    double time = 0.0; // presentation time, seconds
    bool clipStart = false; // the first picture of a cue that follows another without a stop
    // The engine's count of passes left when the picture was decoded: a slave that stops going
    // round with its master drops the pictures of later passes decoded before it did.
    int32_t rereads = 0;
};

// One output frame. A screen output draws `texture` (full-resolution Y, Cb, Cr, A); a card output
// gets the packed 4:2:2 bytes in `pixels` and the preview draws `previewTexture`.
struct ssRenderSlot {
    uint32_t framebuffer = 0;
    uint32_t texture = 0;
    uint32_t previewFramebuffer = 0;
    uint32_t previewTexture = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t textureIndex = 0;
    int32_t rowBytes = 0;
    size_t byteSize = 0;
    double time = 0.0;
    bool clipStart = false; // as the picture it was rendered from
    bool slate = false;     // the slate drawn in place of the picture
    int32_t rereads = 0;    // as the picture it was rendered from
    uint8_t* pixels = nullptr;
    bool ownsPixels = false;
    // Signalled when the GPU has finished drawing the slot; a reading context waits on it.
    std::mutex fenceLock;
    void* fence = nullptr;
};

// The raster the renderer draws for.
struct ssRenderOutputMode {
    int32_t width = 0;
    int32_t height = 0;
    int32_t interlaced = 0;
    float frameRate = 0.0f;
    int32_t textureOutput = 0; // non-zero: a screen (frames stay on the GPU); zero: a card
};
