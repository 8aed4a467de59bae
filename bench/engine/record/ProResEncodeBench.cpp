// Frames per second and CPU seconds per frame of 1080i29.97 ProRes compression: through our
// session (conversion from '2vuy' included) for each encoder and thread count, and through the
// ffmpeg tool's prores_ks and prores_aw reading the same raw frames. "realtime" is frames per
// second over 29.97 (at least 1.5 wanted for HQ, 1.0 for 4444 on an otherwise idle machine).
#include "bench/engine/record/RecordBenchPictures.h"
#include "bench/support/BenchRun.h"
#include "engine/record/ssMovieWriter.h"
#include "platform/encode/ProResFlavours.h"
#include "platform/encode/ProResSession.h"
#include "platform/testpattern/FrameBarcode.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace recordbench;

// Arguments: codec index, threads, 1 for prores_ks only (0: the session's default), 1 for the
// noisy pictures (0: the clean test picture).
void BM_SessionEncode1080(benchmark::State& state)
{
    const int codec = int(state.range(0));
    const auto& frames = pictures(state.range(3) != 0);
    if (frames.empty()) {
        state.SkipWithError("no pictures");
        return;
    }
    platform::encode::ProResSession session;
    platform::encode::ProResSettings settings;
    settings.width = kWidth;
    settings.height = kHeight;
    settings.codecIndex = codec;
    settings.interlaced = true;
    settings.frameRate = 30000.0 / 1001;
    settings.threads = int(state.range(1));
    settings.rateControlled = state.range(2) != 0;
    if (session.open(settings, nullptr) != 0) {
        state.SkipWithError("no session");
        return;
    }
    Counter out;
    int64_t submitted = 0;
    const double cpuBefore = processCpuSeconds(RUSAGE_SELF);
    for (auto _ : state) {
        const auto& p = frames[size_t(submitted) % frames.size()];
        session.encode(p.data(), kWidth * 2, submitted, out);
        ++submitted;
    }
    session.drain(out);
    const double cpu = processCpuSeconds(RUSAGE_SELF) - cpuBefore;
    state.SetItemsProcessed(submitted);
    state.counters["cpu_s_per_frame"] = cpu / double(std::max<int64_t>(submitted, 1));
    state.counters["bytes_per_frame"] = double(out.bytes) / double(std::max<int64_t>(out.frames, 1));
    state.counters["realtime"] = benchmark::Counter(double(submitted) / kRealTimeFps, benchmark::Counter::kIsRate);
    state.SetLabel(std::string(settings.rateControlled ? "prores_ks, " : "default, ")
                   + (state.range(3) != 0 ? "noisy, " : "clean, ") + platform::encode::proResFlavour(codec)->compressorName);
}

// The ffmpeg tool, encoding the same frames from a raw file; timed by the wall clock per run.
// Arguments: codec index, 1 for prores_ks (0: prores_aw), 1 for the noisy pictures.
void BM_FfmpegToolEncode1080(benchmark::State& state)
{
    const int codec = int(state.range(0));
    const char* encoder = state.range(1) != 0 ? "prores_ks" : "prores_aw";
    const std::string raw = writeRawPictures(state.range(2) != 0, "prores");
    const std::string profile = std::to_string(platform::encode::proResFlavour(codec)->encoderProfile);
    const std::string format = platform::encode::proResFlavour(codec)->fullChroma ? "yuv444p10le" : "yuv422p10le";
    double cpu = 0;
    int64_t frames = 0;
    for (auto _ : state) {
        const double childBefore = processCpuSeconds(RUSAGE_CHILDREN);
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            execl(KLV_FFMPEG_PATH, "ffmpeg", "-v", "error", "-f", "rawvideo", "-pix_fmt", "uyvy422", "-s", "1920x1080",
                  "-r", "30000/1001", "-i", raw.c_str(), "-pix_fmt", format.c_str(), "-c:v", encoder, "-profile:v",
                  profile.c_str(), "-vendor", "apl0", "-flags", "+ildct", "-f", "null", "-", static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        const auto end = std::chrono::steady_clock::now();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("ffmpeg failed");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        cpu += processCpuSeconds(RUSAGE_CHILDREN) - childBefore;
        frames += kFrames;
    }
    std::remove(raw.c_str());
    state.SetItemsProcessed(frames);
    state.counters["cpu_s_per_frame"] = cpu / double(std::max<int64_t>(frames, 1));
    state.counters["realtime"] = benchmark::Counter(double(frames) / kRealTimeFps, benchmark::Counter::kIsRate);
    state.SetLabel(std::string("ffmpeg tool, ") + encoder + (state.range(2) != 0 ? ", noisy, " : ", clean, ")
                   + platform::encode::proResFlavour(codec)->compressorName);
}

const int kWriterFrames = benchsupport::smokeRun() ? 10 : 150;

// One compressed HQ frame into the movie writer: copy into its slot, queue, disk write behind.
void BM_MovieWriterFrame1080(benchmark::State& state)
{
    const std::string path = "/tmp/klv_bench_writer_" + std::to_string(getpid()) + ".mov";
    const auto* flavour = platform::encode::proResFlavour(1);
    const int32_t slot = int32_t(kWidth * kHeight * flavour->bytesPerPixel);
    std::vector<uint8_t> frame(size_t(slot * 3 / 4), 0x5A);
    std::vector<uint8_t> audio(1602 * 4, 0);
    for (auto _ : state) {
        state.PauseTiming();
        auto writer = std::make_unique<ssMovieWriter>();
        writer->Open(path.c_str(), kWidth, kHeight, 1, 0, 30000.0 / 1001, 10.0, 2, slot);
        state.ResumeTiming();
        for (int i = 0; i < kWriterFrames; ++i) {
            writer->WriteAudio(audio.data(), int32_t(audio.size()));
            writer->WriteVideo(frame.data(), int32_t(frame.size()));
        }
        writer->Finish();
    }
    std::remove(path.c_str());
    state.SetItemsProcessed(int64_t(state.iterations()) * kWriterFrames);
}

} // namespace

// HQ and 4444 at the thread counts worth choosing between, both encoders; the other profiles
// with the defaults.
// A smoke run takes one of each kind.
BENCHMARK(BM_SessionEncode1080)
    ->ArgsProduct(benchsupport::smokeRun() ? std::vector<std::vector<int64_t>>{{1}, {4}, {0, 1}, {0, 1}}
                                           : std::vector<std::vector<int64_t>>{{1, 0}, {4, 8}, {0, 1}, {0, 1}})
    ->Args({2, 0, 0, 1})->Args({3, 0, 0, 1})->Args({4, 0, 0, 1})
    ->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(benchsupport::minTime(2.0));
BENCHMARK(BM_FfmpegToolEncode1080)
    ->ArgsProduct(benchsupport::smokeRun() ? std::vector<std::vector<int64_t>>{{1}, {1, 0}, {1}}
                                           : std::vector<std::vector<int64_t>>{{1, 0}, {1, 0}, {0, 1}})
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(benchsupport::iterations(2));
BENCHMARK(BM_MovieWriterFrame1080)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(benchsupport::iterations(3));

KLV_BENCHMARK_MAIN()
