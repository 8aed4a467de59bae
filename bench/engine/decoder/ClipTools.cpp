#include "bench/engine/decoder/ClipTools.h"

#include "bench/support/BenchRun.h"
#include "tests/support/MediaFiles.h"

#include <chrono>
#include <filesystem>
#include <map>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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
        if (access(path.c_str(), R_OK) == 0)
            out = {path, shared.frames};
        return out;
    }
    const int frames = benchsupport::smokeRun() ? 5 : 60;
    const std::filesystem::path folder = std::filesystem::path(testsupport::mediaFolder().toStdString()).parent_path() / "bench";
    const std::filesystem::path path = folder / (name + "-" + std::to_string(frames) + ".mov");
    if (access(path.c_str(), R_OK) != 0) {
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
        const std::string partial = path.string() + ".part.mov";
        std::vector<std::string> arguments{"-y", "-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=30000/1001",
                                           "-frames:v", std::to_string(frames)};
        arguments.insert(arguments.end(), recipe->second.begin(), recipe->second.end());
        arguments.push_back(partial);
        if (!runFfmpeg(arguments).ok)
            return out;
        std::filesystem::rename(partial, path, ignored);
        if (ignored)
            return out;
    }
    return {path.string(), frames};
}

} // namespace benchclips
