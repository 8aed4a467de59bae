#pragma once
// The 1080p clips the decode benchmarks play, the engine's decode path without GL, and the ffmpeg
// tool runs they are compared with.

#include <cstdint>
#include <string>
#include <vector>

class ssMediaDecoder3;

namespace benchclips {

struct Clip {
    std::string path; // empty when the clip is missing and cannot be made
    int frames = 0;
};

// "h264_1080p" and "prores_1080p" are the shared large fixtures (media_large); the others
// ("prores4444_1080p", "dnxhd_1080p", "mpeg2_422_1080i") are made by the ffmpeg tool on first use
// into <test data>/bench, shorter in a smoke run.
Clip clip(const std::string& name);

struct ToolRun {
    double wall = 0;
    double cpu = 0; // user + system seconds of the tool
    bool ok = false;
};

// The ffmpeg tool with these arguments (after "-v error"), waited for.
ToolRun runFfmpeg(const std::vector<std::string>& arguments);
struct DecodeRun {
    int frames = 0;
    double cpu = 0;        // thread CPU seconds of the whole run
    double convertCpu = 0; // of which converting to 2vuy
    // With an allocation counter: allocations after the first picture, over frames - 1 pictures.
    uint64_t steadyAllocations = 0;
    bool ok = false;
};

// Demuxes and decodes the video on the calling thread (one decoder thread) and converts every
// picture through the engine's converter into one '2vuy' frame: the engine's decode path
// without GL.
// Stops once maxFrames pictures are out.
DecodeRun decodeAndConvert(ssMediaDecoder3& engine, const std::string& path, int maxFrames,
                           uint64_t (*allocations)() = nullptr);

// `ffmpeg -threads 1 -i path -an -vf format=uyvy422 -f null -`, the first `frames` pictures
// only when frames > 0.
ToolRun runFfmpegToUyvy(const std::string& path, int frames);

} // namespace benchclips
