#pragma once
// One playback engine on a screen-sized output, with the process's audio hub on the null sink of
// a manual clock: the test moves the playback clock itself, 10 ms per step. Frames are read as an
// output would: a screen's texture from a context of its own, a card's read-back bytes.

#include "engine/decoder/ssMediaDecoder3.h"
#include "platform/audio/AudioVoice.h"
#include "platform/gl/ssGLContext.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class ManualClock;
}

class EngineHarness {
public:
    // kind 1 renders for a 1920x1080 screen, kind 2 for a card raster of outputWidth x outputHeight.
    explicit EngineHarness(int32_t kind = 1, int32_t outputWidth = 1920, int32_t outputHeight = 1080);
    ~EngineHarness();

    static platform::ManualClock& clock();

    ssMediaDecoder3& engine() { return *engine_; }
    int32_t open(const std::string& clipName, bool hasPreview = false);

    // Moves the audio clock on by 10 ms (one buffer of the null sink).
    bool step();
    // Asks for the frame to show now, as a display link would; the barcode of a shown frame.
    std::optional<uint32_t> present();
    // The barcode of a ring slot GetFrameForOutput named.
    std::optional<uint32_t> barcodeOf(int32_t slot);
    // Packed 4:2:2 bytes of a ring slot (the screen texture read back and repacked); width and
    // height of the picture.
    std::vector<uint8_t> pixelsOf(int32_t slot, int32_t* width, int32_t* height);
    // A context sharing the engine's, for reading its textures (null without OpenGL).
    ssGLContext* readerContext() { return reader_.get(); }
    // Presents for `seconds` of playback clock, one 10 ms step at a time; the barcodes shown.
    std::vector<uint32_t> playFor(double seconds);
    // Runs `action` while another thread presents as a display link would; the last barcode shown
    // while it ran or right after.
    std::optional<uint32_t> showWhile(const std::function<void()>& action);
    // Waits (real time, bounded) until the engine's queues are full or the file was read through.
    bool waitForBuffers();

private:
    // The tests step the clock one null-sink buffer at a time, so the sink must pull even while no
    // engine plays (it rests otherwise): this voice always sounds, silently.
    platform::AudioVoice* pacer_ = nullptr;
    std::unique_ptr<ssMediaDecoder3> engine_;
    std::unique_ptr<ssGLContext> reader_;
    std::mutex readerLock_; // one thread at a time has the reader context current
};
