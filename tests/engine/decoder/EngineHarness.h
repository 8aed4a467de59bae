#pragma once
// One playback engine on a screen-sized output, with the process's audio hub on the null sink of
// a manual clock: the test moves the playback clock itself, 10 ms per step.

#include "engine/decoder/ssMediaDecoder3.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class ManualClock;
}

class EngineHarness {
public:
    EngineHarness();
    ~EngineHarness();

    static platform::ManualClock& clock();

    ssMediaDecoder3& engine() { return *engine_; }
    int32_t open(const std::string& clipName, bool hasPreview = false);

    // Moves the audio clock on by 10 ms (one buffer of the null sink).
    bool step();
    // Asks for the frame to show now, as a display link would; the barcode of a shown frame.
    std::optional<uint32_t> present();
    // Presents for `seconds` of playback clock, one 10 ms step at a time; the barcodes shown.
    std::vector<uint32_t> playFor(double seconds);
    // Runs `action` while another thread presents as a display link would; the last barcode shown
    // while it ran or right after.
    std::optional<uint32_t> showWhile(const std::function<void()>& action);
    // Waits (real time, bounded) until the engine's queues are full or the file was read through.
    bool waitForBuffers();

private:
    std::unique_ptr<ssMediaDecoder3> engine_;
};
