#include "bench/engine/decoder/ClipTools.h"

#include "bench/support/BenchRun.h"
#include "engine/decoder/ssMediaDecoder3.h"
#include "tests/support/MediaFiles.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace benchclips {
namespace {

double cpuSeconds(const rusage& usage)
{
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// How each made clip is encoded from the tool's moving test picture.
const std::map<std::string, std::vector<std::string>>& recipes()
{
    static const std::map<std::string, std::vector<std::string>> all{
        {"prores4444_1080p", {"-c:v", "prores_ks", "-profile:v", "4", "-pix_fmt", "yuv444p10le", "-vendor", "apl0"}},
        {"dnxhd_1080p", {"-c:v", "dnxhd", "-b:v", "145M", "-pix_fmt", "yuv422p"}},
        {"mpeg2_422_1080i",
         {"-c:v", "mpeg2video", "-pix_fmt", "yuv422p", "-flags", "+ilme+ildct", "-top", "1", "-b:v", "50M", "-maxrate",
          "50M", "-bufsize", "17M"}},
    };
    return all;
}

double threadCpu()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

} // namespace

ToolRun runFfmpeg(const std::vector<std::string>& arguments)
{
    const std::string program = testsupport::ffmpegProgram().toStdString();
    std::vector<std::string> all{program, "-v", "error"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    ToolRun run;
    const pid_t child = fork();
    if (child == 0) {
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child > 0 && wait4(child, &status, 0, &usage) == child) {
        run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        run.cpu = cpuSeconds(usage);
    }
    run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return run;
}

ToolRun runFfmpegToUyvy(const std::string& path, int frames)
{
    std::vector<std::string> arguments{"-threads", "1", "-i", path, "-an", "-vf", "format=uyvy422"};
    if (frames > 0)
        arguments.insert(arguments.end(), {"-frames:v", std::to_string(frames)});
    arguments.insert(arguments.end(), {"-f", "null", "-"});
    return runFfmpeg(arguments);
}

Clip clip(const std::string& name)
{
    Clip out;
    const auto recipe = recipes().find(name);
    if (recipe == recipes().end()) {
        const auto& shared = testsupport::mediaClip(name);
        const std::string path = testsupport::mediaPath(shared).toStdString();
        // A smoke run only proves the benchmark works: the first few pictures do.
        if (access(path.c_str(), R_OK) == 0)
            out = {path, benchsupport::smokeRun() ? std::min(shared.frames, 8) : shared.frames};
        return out;
    }
    const int frames = benchsupport::smokeRun() ? 5 : 60;
    const std::filesystem::path folder = std::filesystem::path(testsupport::mediaFolder().toStdString()).parent_path() / "bench";
    const std::filesystem::path path = folder / (name + "-" + std::to_string(frames) + ".mov");
    if (access(path.c_str(), R_OK) != 0) {
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
        // Benchmarks run side by side in the suite may make the same clip at once: each writes
        // its own partial file, and whichever renames last leaves an equally good clip.
        const std::string partial = path.string() + "." + std::to_string(getpid()) + ".part.mov";
        std::vector<std::string> arguments{"-y", "-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=30000/1001",
                                           "-frames:v", std::to_string(frames)};
        arguments.insert(arguments.end(), recipe->second.begin(), recipe->second.end());
        arguments.push_back(partial);
        if (!runFfmpeg(arguments).ok)
            return out;
        std::filesystem::rename(partial, path, ignored);
        if (ignored && access(path.c_str(), R_OK) != 0)
            return out;
    }
    return {path.string(), frames};
}

DecodeRun decodeAndConvert(ssMediaDecoder3& engine, const std::string& path, int maxFrames, uint64_t (*allocations)())
{
    DecodeRun run;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) != 0)
        return run;
    const double start = threadCpu();
    const AVCodec* codec = nullptr;
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    AVCodecContext* context = stream >= 0 ? avcodec_alloc_context3(codec) : nullptr;
    if (context && avcodec_parameters_to_context(context, format->streams[stream]->codecpar) == 0) {
        context->thread_count = 1;
        if (avcodec_open2(context, codec, nullptr) == 0) {
            std::vector<uint8_t> pixels(size_t(context->width) * size_t(context->height) * 2);
            _videoFrame target;
            target.pixels = pixels.data();
            target.rowBytes = context->width * 2;
            target.width = context->width;
            target.height = context->height;
            AVPacket* packet = av_packet_alloc();
            AVFrame* picture = av_frame_alloc();
            uint64_t firstAllocations = 0;
            auto receive = [&] {
                while (avcodec_receive_frame(context, picture) == 0) {
                    const double before = threadCpu();
                    engine.CopyVideoFrame(picture, &target);
                    run.convertCpu += threadCpu() - before;
                    av_frame_unref(picture);
                    if (++run.frames == 1 && allocations)
                        firstAllocations = allocations();
                }
            };
            while (run.frames < maxFrames && av_read_frame(format, packet) == 0) {
                if (packet->stream_index == stream && avcodec_send_packet(context, packet) == 0)
                    receive();
                av_packet_unref(packet);
            }
            avcodec_send_packet(context, nullptr);
            receive();
            if (allocations && run.frames > 0)
                run.steadyAllocations = allocations() - firstAllocations;
            av_frame_free(&picture);
            av_packet_free(&packet);
            run.ok = run.frames > 0;
        }
    }
    avcodec_free_context(&context);
    avformat_close_input(&format);
    run.cpu = threadCpu() - start;
    return run;
}

} // namespace benchclips
