// klv_make_media: generates the test clips of the media catalog into a folder, once. A stamp per
// set records what was made; when it matches and every file is there, nothing is redone.
//
//   klv_make_media --out DIR --ffmpeg PATH [--set default|large|all] [--jobs N] [--force]

#include "tests/support/media/MediaGenerator.h"

#include <csignal>
#include <fstream>
#include <iostream>
#include <string_view>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

int usage()
{
    std::cerr << "usage: klv_make_media --out DIR --ffmpeg PATH [--set default|large|all] [--jobs N] [--force]\n";
    return 2;
}

// Write-then-rename; the process id keeps concurrent runs of two sets apart.
bool writeAtomically(const fs::path& path, const std::string& text)
{
    const fs::path partial = path.string() + ".partial-" + std::to_string(::getpid());
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush())
            return false;
    }
    std::error_code ec;
    fs::rename(partial, path, ec);
    return !ec;
}

} // namespace

int main(int argc, char** argv)
{
    fs::path out;
    std::string ffmpeg;
    std::string set = "default";
    int jobs = 4;
    bool force = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--out" && hasValue)
            out = argv[++i];
        else if (arg == "--ffmpeg" && hasValue)
            ffmpeg = argv[++i];
        else if (arg == "--set" && hasValue)
            set = argv[++i];
        else if (arg == "--jobs" && hasValue)
            jobs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--force")
            force = true;
        else
            return usage();
    }
    if (out.empty() || ffmpeg.empty() || (set != "default" && set != "large" && set != "all"))
        return usage();

    // A dead encoder must show up as a failed write, not kill the generator.
    std::signal(SIGPIPE, SIG_IGN);

    std::vector<const MediaClip*> clips;
    for (const auto& clip : mediaCatalog()) {
        if (set == "all" || (set == "large") == (clip.set == MediaSet::Large))
            clips.push_back(&clip);
    }

    std::error_code ec;
    fs::create_directories(out, ec);
    if (ec) {
        std::cerr << "cannot create " << out << ": " << ec.message() << "\n";
        return 1;
    }
    const fs::path stamp = out / (".stamp-" + set);
    const std::string fingerprint = mediaFingerprint(clips, ffmpeg);
    bool complete = !force && readWholeFile(stamp) == fingerprint;
    for (const MediaClip* clip : clips)
        complete = complete && fs::is_regular_file(out / clip->file);
    if (complete) {
        std::cout << "media (" << set << ") up to date in " << out.string() << "\n";
        return 0;
    }

    fs::remove(stamp, ec);
    const auto errors = MediaGenerator(out, ffmpeg).make(clips, jobs);
    for (const auto& error : errors)
        std::cerr << error << "\n";
    if (!errors.empty())
        return 1;
    if (!writeAtomically(out / "manifest.json", mediaManifestJson()) || !writeAtomically(stamp, fingerprint)) {
        std::cerr << "cannot write the manifest or stamp in " << out.string() << "\n";
        return 1;
    }
    std::cout << "media (" << set << "): " << clips.size() << " clips made in " << out.string() << "\n";
    return 0;
}
