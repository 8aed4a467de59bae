#include "tests/support/media/MediaGenerator.h"

#include "platform/testpattern/FrameBarcode.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <charconv>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <locale>
#include <mutex>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace testsupport {
namespace {

std::string rateText(int num, int den)
{
    return std::to_string(num) + "/" + std::to_string(den);
}

// Locale-independent, shortest exact form.
std::string decimal(double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

bool writeAll(int fd, const unsigned char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The ffmpeg command line: raw frames on stdin, one sine source per audio stream.
std::vector<std::string> ffmpegArguments(const std::string& ffmpeg, const MediaClip& clip, const fs::path& target)
{
    const int drawWidth = clip.drawWidth ? clip.drawWidth : clip.width;
    const int drawHeight = clip.drawHeight ? clip.drawHeight : clip.height;
    const bool still = clip.kind == MediaKind::Still;
    std::vector<std::string> args{ffmpeg, "-hide_banner", "-nostats", "-loglevel", "error", "-y",
                                  "-f", "rawvideo", "-pix_fmt", "rgb24",
                                  "-video_size", std::to_string(drawWidth) + "x" + std::to_string(drawHeight),
                                  "-framerate", still ? std::string("25") : rateText(clip.rateNum, clip.rateDen),
                                  "-i", "pipe:0"};
    const std::string duration = decimal(clip.durationSeconds());
    for (const auto& audio : clip.audio) {
        args.insert(args.end(), {"-f", "lavfi", "-i",
                                 "sine=frequency=" + std::to_string(audio.toneHz) + ":sample_rate="
                                     + std::to_string(audio.sampleRate) + ":duration=" + duration});
    }
    args.insert(args.end(), {"-map", "0:v"});
    for (std::size_t i = 0; i < clip.audio.size(); ++i) {
        const auto& audio = clip.audio[i];
        const std::string stream = ":a:" + std::to_string(i);
        args.insert(args.end(), {"-map", std::to_string(i + 1) + ":a", "-c" + stream, audio.codec,
                                 "-ac" + stream, std::to_string(audio.channels),
                                 "-ar" + stream, std::to_string(audio.sampleRate)});
    }
    args.insert(args.end(), clip.outputOptions.begin(), clip.outputOptions.end());
    args.push_back(target.string());
    return args;
}

} // namespace

void drawTestFrame(std::vector<unsigned char>& rgb, int width, int height, int index)
{
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    rgb.resize(rowBytes * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        unsigned char* row = rgb.data() + rowBytes * static_cast<std::size_t>(y);
        const auto green = static_cast<unsigned char>(y * 255 / height);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<unsigned char>((x * 256 / width + index * 4) & 0xff);
            row[3 * x + 1] = green;
            row[3 * x + 2] = static_cast<unsigned char>(255 - ((x * 256 / width + index * 4) & 0xff));
        }
    }
    platform::FrameBarcode::draw(static_cast<std::uint32_t>(index), rgb.data(), width, height,
                                 static_cast<std::ptrdiff_t>(rowBytes), platform::BarcodePixels::Rgb24);
}

MediaGenerator::MediaGenerator(fs::path folder, std::string ffmpeg)
    : folder_(std::move(folder)), ffmpeg_(std::move(ffmpeg))
{
}

std::vector<std::string> MediaGenerator::make(const std::vector<const MediaClip*>& clips, int jobs) const
{
    std::atomic<std::size_t> next{0};
    std::mutex lock;
    std::vector<std::string> errors;
    auto worker = [&] {
        for (std::size_t i = next++; i < clips.size(); i = next++) {
            std::string error = make(*clips[i]);
            if (!error.empty()) {
                std::lock_guard guard(lock);
                errors.push_back(clips[i]->name + ": " + error);
            }
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < std::max(1, jobs); ++i)
        threads.emplace_back(worker);
    for (auto& thread : threads)
        thread.join();
    return errors;
}

std::string MediaGenerator::make(const MediaClip& clip) const
{
    const fs::path target = folder_ / clip.file;
    // Same extension, so ffmpeg picks the same muxer; renamed into place only when complete. The
    // process id keeps two runs on one build folder apart.
    const std::string tag = std::to_string(::getpid()) + "-";
    const fs::path partial = folder_ / (".partial-" + tag + clip.file);
    std::error_code ec;
    fs::remove(partial, ec);

    if (clip.kind == MediaKind::NotMedia) {
        std::ofstream out(partial, std::ios::binary);
        for (int i = 0; i < 64; ++i)
            out << "This is a plain text file with the name of a movie. Line " << i << ".\n";
        if (!out.flush())
            return "cannot write " + partial.string();
    } else {
        std::string error = encode(clip, partial);
        if (!error.empty()) {
            fs::remove(partial, ec);
            return error;
        }
        if (clip.kind == MediaKind::Truncated) {
            const auto size = fs::file_size(partial, ec);
            if (!ec)
                fs::resize_file(partial, size * static_cast<std::uintmax_t>(clip.truncatePercent) / 100, ec);
            if (ec)
                return "cannot truncate " + partial.string() + ": " + ec.message();
        }
    }
    fs::rename(partial, target, ec);
    return ec ? "cannot rename " + partial.string() + ": " + ec.message() : std::string();
}

std::string MediaGenerator::encode(const MediaClip& clip, const fs::path& target) const
{
    const std::vector<std::string> args = ffmpegArguments(ffmpeg_, clip, target);
    std::vector<char*> argv;
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    // Close-on-exec on both ends: a write end inherited by another job's ffmpeg would keep this
    // pipe open and the encoder would wait for input forever.
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return std::string("pipe: ") + std::strerror(errno);
    const fs::path log = folder_ / (".log-" + std::to_string(::getpid()) + "-" + clip.name + ".txt");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[0]);
    if (spawned != 0) {
        ::close(pipeFds[1]);
        return "cannot start " + ffmpeg_ + ": " + std::strerror(spawned);
    }

    const int width = clip.drawWidth ? clip.drawWidth : clip.width;
    const int height = clip.drawHeight ? clip.drawHeight : clip.height;
    std::vector<unsigned char> frame;
    bool fed = true;
    for (int index = 0; index < clip.frames && fed; ++index) {
        drawTestFrame(frame, width, height, index);
        fed = writeAll(pipeFds[1], frame.data(), frame.size());
    }
    ::close(pipeFds[1]);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !fed) {
        std::string message = "ffmpeg failed";
        for (const auto& arg : args)
            message += " " + arg;
        return message + "\n" + readWholeFile(log);
    }
    std::error_code ec;
    fs::remove(log, ec);
    return {};
}

std::string readWholeFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string mediaFingerprint(const std::vector<const MediaClip*>& clips, const std::string& ffmpeg)
{
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << "generator " << kMediaGeneratorVersion << "\nffmpeg " << ffmpeg << "\n";
    for (const MediaClip* clip : clips) {
        text << clip->name << " " << clip->file << " " << clip->width << "x" << clip->height << " "
             << clip->drawWidth << "x" << clip->drawHeight << " " << clip->rateNum << "/" << clip->rateDen << " "
             << clip->frames << " " << clip->truncatePercent << " " << static_cast<int>(clip->kind);
        for (const auto& audio : clip->audio)
            text << " " << audio.codec << ":" << audio.channels << ":" << audio.sampleRate << ":" << audio.toneHz;
        for (const auto& option : clip->outputOptions)
            text << " " << option;
        text << "\n";
    }
    return text.str();
}

std::string mediaManifestJson()
{
    static const char* const kKinds[] = {"movie", "still", "truncated", "not-media"};
    nlohmann::json clips = nlohmann::json::array();
    for (const auto& clip : mediaCatalog()) {
        nlohmann::json audio = nlohmann::json::array();
        for (const auto& stream : clip.audio)
            audio.push_back({{"codec", stream.codec}, {"channels", stream.channels},
                             {"sampleRate", stream.sampleRate}, {"toneHz", stream.toneHz}});
        clips.push_back({{"name", clip.name},
                         {"file", clip.file},
                         {"set", clip.set == MediaSet::Large ? "large" : "default"},
                         {"kind", kKinds[static_cast<int>(clip.kind)]},
                         {"codec", clip.codec},
                         {"pixelFormat", clip.pixelFormat},
                         {"width", clip.width},
                         {"height", clip.height},
                         {"rate", rateText(clip.rateNum, clip.rateDen)},
                         {"frames", clip.frames},
                         {"interlaced", clip.interlaced},
                         {"startTimecode", clip.startTimecode},
                         {"startSeconds", clip.startSeconds},
                         {"audio", audio}});
    }
    return nlohmann::json{{"generator", kMediaGeneratorVersion}, {"clips", clips}}.dump(2) + "\n";
}

} // namespace testsupport
