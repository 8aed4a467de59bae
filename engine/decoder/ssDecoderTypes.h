#pragma once
// Records that travel through the playback engine's queues. Every one is allocated when a file
// is opened (or an output configured); per frame and per packet only their pointers move.

#include "engine/audio/ssAudioTypes.h"
#include "engine/render/ssRenderTypes.h"

#include <cstdint>

struct AVPacket;

// Decoded pictures between the video decode thread and the render thread.
inline constexpr int ssDecodedFrameCount = ssRenderUploadCount;
// PCM blocks per audio stream between the audio decode thread and the audio output.
inline constexpr int ssSampleQueueLength = 48;
// Compressed video the reader keeps queued ahead of the video decoder, in bytes, within the
// queue's slots (4 s of frames): those would hold 110 MB of 1080 ProRes HQ for every channel.
// Half a second of that rate, two seconds of a 60 Mbit/s stream.
inline constexpr int64_t ssVideoPacketBudget = int64_t(16) << 20;
// Output frames in the frame ring, and how many of them stay between writer and slowest reader.
inline constexpr int ssFrameRingSize = ssRenderSlotCount;
inline constexpr int ssFrameRingReserve = 3;

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
    int32_t endsClip = 0; // an end marker after which the prepared cue's packets follow
    // What the reader moved the packet on by (a loop's pass), its count of passes left when it
    // queued it, and whether the decoder starts afresh with it (the first packet read again).
    double shift = 0.0;
    int32_t rereads = 0;
    int32_t startsAfresh = 0;
};

// One decoded picture in the engine's frame layout (8-bit 4:2:2, bytes Cb Y0 Cr Y1), backed by the
// renderer's upload buffer, and one slot of the frame ring: an output frame the renderer made for
// the presenting side.
using _videoFrame = ssRenderFrame;
using ssFrameTarget = ssRenderSlot;

// The raster and timing of the selected output device.
struct ssOutputFormat {
    int32_t kind = 0; // 1 screen, 2 DeckLink
    int32_t width = 0;
    int32_t height = 0;
    int32_t interlaced = 0;
    float frameRate = 0.0f;
};
