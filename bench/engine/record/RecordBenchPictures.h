#pragma once
// The 1080i29.97 pictures the record benchmarks compress (a noisy moving ramp, or the ffmpeg tool's
// clean test picture), and the counters they share.

#include "bench/support/BenchRun.h"
#include "platform/encode/CompressionSession.h"
#include "platform/testpattern/FrameBarcode.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace recordbench {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
// Distinct pictures, cycled (a few in a smoke run, which only proves the benchmark works).
inline const int kFrames = benchsupport::smokeRun() ? 4 : 60;

// noisy: a moving ramp with camera-like noise in the low bits (hard to compress); otherwise a
// moving test picture of bars, ramps and edges without noise, drawn by the ffmpeg tool.

inline std::vector<std::vector<uint8_t>> makePictures(bool noisy);

inline const std::vector<std::vector<uint8_t>>& pictures(bool noisy = true)
{
    static const auto rough = makePictures(true);
    static const auto clean = makePictures(false);
    return noisy ? rough : clean;
}

inline std::vector<std::vector<uint8_t>> makePictures(bool noisy)
{
    if (!noisy) {
        std::vector<std::vector<uint8_t>> out;
        const std::string raw = "/tmp/klv_bench_testsrc_" + std::to_string(getpid()) + ".uyvy";
        const std::string frames = std::to_string(kFrames);
        const pid_t pid = fork();
        if (pid == 0) {
            execl(KLV_FFMPEG_PATH, "ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                  "testsrc2=size=1920x1080:rate=30000/1001", "-frames:v", frames.c_str(), "-pix_fmt", "uyvy422", "-f",
                  "rawvideo", raw.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        std::ifstream in(raw, std::ios::binary);
        for (int k = 0; k < kFrames; ++k) {
            std::vector<uint8_t> p(size_t(kWidth * kHeight * 2));
            if (!in.read(reinterpret_cast<char*>(p.data()), std::streamsize(p.size())))
                break;
            out.push_back(std::move(p));
        }
        std::remove(raw.c_str());
        return out;
    }
    {
        std::vector<std::vector<uint8_t>> out(size_t(kFrames), std::vector<uint8_t>(size_t(kWidth * kHeight * 2)));
        for (int k = 0; k < kFrames; ++k) {
            auto& p = out[size_t(k)];
            // A moving ramp with some detail, like camera noise, so the coder has work to do.
            uint32_t noise = 12345u + uint32_t(k);
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; x += 2) {
                    noise = noise * 1664525u + 1013904223u;
                    uint8_t* q = &p[size_t(y * kWidth * 2 + x * 2)];
                    q[0] = uint8_t(64 + (x + k * 8) % 128);
                    q[1] = uint8_t(16 + (x + y + k * 4) % 200 + (noise >> 29));
                    q[2] = uint8_t(64 + (y + k * 8) % 128);
                    q[3] = uint8_t(16 + (x + y + k * 4 + 1) % 200 + (noise >> 30));
                }
            platform::FrameBarcode::draw(uint32_t(k), p.data(), kWidth, kHeight, kWidth * 2,
                                         platform::BarcodePixels::Uyvy422);
        }
        return out;
    }
}

inline double processCpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Counter final : platform::encode::CompressedFrameSink {
    void compressedFrame(const uint8_t*, int size, int64_t) override
    {
        ++frames;
        bytes += size;
    }
    int64_t frames = 0;
    int64_t bytes = 0;
};

inline constexpr double kRealTimeFps = 30000.0 / 1001;

// The pictures as one raw '2vuy' file for the ffmpeg tool; removed by the caller.
inline std::string writeRawPictures(bool noisy, const char* tag)
{
    const std::string raw = "/tmp/klv_bench_" + std::string(tag) + "_" + std::to_string(getpid()) + ".uyvy";
    std::ofstream out(raw, std::ios::binary);
    for (const auto& p : pictures(noisy))
        out.write(reinterpret_cast<const char*>(p.data()), std::streamsize(p.size()));
    return raw;
}

} // namespace recordbench
