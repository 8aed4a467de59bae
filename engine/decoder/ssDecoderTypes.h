#pragma once
// Records that travel through the playback engine's queues. Every one is allocated when a file
// is opened (or an output configured); per frame and per packet only their pointers move.

#include <cstdint>

struct AVPacket;

// Most audio streams one engine plays; further streams of a file are ignored.
inline constexpr int ssMaxAudioStreams = 20;
// Decoded pictures between the video decode thread and the render thread.
inline constexpr int ssDecodedFrameCount = 8;
// PCM blocks per audio stream between the audio decode thread and the audio output.
inline constexpr int ssSampleQueueLength = 48;
// Output frames in the frame ring, and how many of them stay between writer and slowest reader.
inline constexpr int ssFrameRingSize = 8;
inline constexpr int ssFrameRingReserve = 3;
// Every PCM block is resampled to this rate, 32-bit interleaved.
inline constexpr int ssOutputSampleRate = 48000;

// Values of the worker threads' state words.
enum ssThreadState : int32_t {
    ssStatePlaying = 1,
    ssStateStopped = 3,
    ssStateSeek = 4,
    ssStatePauseRequest = 5,
    ssStateAcknowledged = 6,
    ssStatePaused = 7,
    ssStateExit = 99,
};

// One compressed packet slot of a packet queue.
struct _avPacketHolder {
    AVPacket* packet = nullptr;
    int32_t inUse = 0; // 1 while the packet holds data that must be unreferenced
};

// One resampled PCM block: signed 32-bit samples, interleaved, at 48 kHz.
struct SAMPLE_HEADER {
    uint8_t* data = nullptr; // grown with realloc, with 64 bytes of slack, kept across blocks
    int32_t capacity = 0;    // bytes
    int32_t filled = 0;      // bytes
    double time = 0.0;       // presentation time of the first sample, seconds
};

// One decoded picture in the engine's frame layout: 8-bit 4:2:2, bytes Cb Y0 Cr Y1.
struct _videoFrame {
    uint8_t* pixels = nullptr;
    int32_t rowBytes = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t index = 0;
    double time = 0.0;
};

// One slot of the frame ring: an output frame ready for the presenting side.
struct ssFrameTarget {
    uint32_t framebuffer = 0;
    uint32_t texture = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t textureIndex = 0; // the slot's index in the ring
    int32_t rowBytes = 0;
    double time = 0.0;
    uint8_t* pixels = nullptr; // 2vuy bytes of the frame
};

// The raster and timing of the selected output device.
struct ssOutputFormat {
    int32_t kind = 0; // 1 screen, 2 DeckLink
    int32_t width = 0;
    int32_t height = 0;
    int32_t interlaced = 0;
    float frameRate = 0.0f;
};
