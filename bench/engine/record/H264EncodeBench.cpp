// H.264 recording at 1080i29.97: our session (conversion from '2vuy' included) and, in the same
// run, the ffmpeg tool's libx264 with the same settings on the same raw frames. "realtime" is frames
// per second over 29.97 (at least 1.0 keeps a recording whole); "vs_ffmpeg_tool" is our frames per
// wall-clock second over the tool's.
#include "bench/engine/record/RecordBenchPictures.h"
#include "platform/encode/H264Session.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

using namespace recordbench;

// Wall-clock seconds of the ffmpeg tool compressing the pictures once with the session's settings.
double toolSeconds(const std::string& raw, int threads, double* cpu)
{
    const std::string vbv = std::to_string(int64_t(platform::encode::H264Session::maxFrameBytes(kWidth, kHeight)) * 8);
    const std::string rate =
        std::to_string(int64_t(platform::encode::H264Session::peakBytesPerSecond(kWidth, kHeight, kRealTimeFps) * 8));
    const std::string threadCount = std::to_string(threads);
    const double before = processCpuSeconds(RUSAGE_CHILDREN);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execl(KLV_FFMPEG_PATH, "ffmpeg", "-v", "error", "-f", "rawvideo", "-pix_fmt", "uyvy422", "-s", "1920x1080",
              "-r", "30000/1001", "-i", raw.c_str(), "-pix_fmt", "yuv422p", "-c:v", "libx264", "-preset", "veryfast",
              "-crf", "18", "-g", "30", "-bf", "0", "-rc-lookahead", "2", "-x264-params", "sync-lookahead=0",
              "-maxrate", rate.c_str(), "-bufsize", vbv.c_str(), "-flags", "+ildct+ilme+global_header", "-top", "1",
              "-threads", threadCount.c_str(), "-f", "null", "-", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const auto end = std::chrono::steady_clock::now();
    *cpu += processCpuSeconds(RUSAGE_CHILDREN) - before;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return std::chrono::duration<double>(end - start).count();
}

// Arguments: threads (0: the session's default), 1 for the noisy pictures.
void BM_H264SessionEncode1080i(benchmark::State& state)
{
    const bool noisy = state.range(1) != 0;
    const auto& frames = pictures(noisy);
    if (frames.empty()) {
        state.SkipWithError("no pictures");
        return;
    }
    platform::encode::H264Session session;
    platform::encode::H264Settings settings;
    settings.width = kWidth;
    settings.height = kHeight;
    settings.interlaced = true;
    settings.frameRate = kRealTimeFps;
    settings.threads = int(state.range(0));
    std::string error;
    if (session.open(settings, &error) != 0) {
        state.SkipWithError(error.c_str());
        return;
    }
    Counter out;
    int64_t submitted = 0;
    double seconds = 0;
    const double cpuBefore = processCpuSeconds(RUSAGE_SELF);
    for (auto _ : state) {
        // A pass over every picture, so the tool's pass below compresses exactly the same.
        const auto start = std::chrono::steady_clock::now();
        for (const auto& p : frames)
            session.encode(p.data(), kWidth * 2, submitted++, out);
        session.drain(out);
        const double pass = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(pass);
        seconds += pass;
    }
    const double cpu = processCpuSeconds(RUSAGE_SELF) - cpuBefore;
    const std::string raw = writeRawPictures(noisy, "h264");
    double toolCpu = 0;
    // The tool gets the threads the session used.
    const int threads = settings.threads > 0 ? settings.threads
                                             : std::min(int(std::thread::hardware_concurrency()),
                                                        platform::encode::H264Session::kMaxThreads);
    const double tool = toolSeconds(raw, threads, &toolCpu);
    std::remove(raw.c_str());
    const double fps = double(submitted) / std::max(seconds, 1e-9);
    state.SetItemsProcessed(submitted);
    state.counters["cpu_s_per_frame"] = cpu / double(std::max<int64_t>(submitted, 1));
    state.counters["bytes_per_frame"] = double(out.bytes) / double(std::max<int64_t>(out.frames, 1));
    state.counters["realtime"] = fps / kRealTimeFps;
    if (tool > 0) {
        const double toolFps = double(frames.size()) / tool;
        state.counters["tool_realtime"] = toolFps / kRealTimeFps;
        state.counters["vs_ffmpeg_tool"] = fps / toolFps;
    }
    state.SetLabel(noisy ? "noisy" : "clean");
}

} // namespace

BENCHMARK(BM_H264SessionEncode1080i)
    ->ArgsProduct(benchsupport::smokeRun() ? std::vector<std::vector<int64_t>>{{4}, {1}}
                                           : std::vector<std::vector<int64_t>>{{0, 4}, {0, 1}})
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(benchsupport::iterations(3));
