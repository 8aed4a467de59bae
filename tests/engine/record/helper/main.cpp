// Records barcoded frames with a tone into a movie, says "ready" once they are on disk and then
// waits, never finishing the file, until it is killed.
//   record_until_killed <path> <frames>

#include "engine/record/ssMovieWriter.h"
#include "tests/engine/record/CompressedFrames.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const char* path = argv[1];
    const int frames = std::atoi(argv[2]);
    constexpr int kWidth = 320, kHeight = 180, kSlot = kWidth * kHeight;
    testsupport::CompressedFrames source(kWidth, kHeight, 2, 25.0);
    ssMovieWriter writer;
    writer.SetCodecIndex(2);
    if (!source.ok() || writer.Open(path, kWidth, kHeight, 0, 0, 25.0, 60.0, 2, kSlot) != 0)
        return 1;
    writer.SetStartTimecode(36000.0); // 10:00:00:00
    for (int k = 0; k < frames; ++k) {
        const auto audio = testsupport::rampAudio(int64_t(k) * 1920, 1920, 2);
        writer.WriteAudio(audio.data(), int32_t(audio.size()));
        const auto& frame = source.frame(uint32_t(k));
        writer.WriteVideo(frame.data(), int32_t(frame.size()));
    }
    // The writer thread writes in order, so the last frame is on disk once the file ends with it.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    const std::vector<uint8_t> last = source.frame(uint32_t(frames - 1));
    std::vector<uint8_t> tail(last.size());
    for (;;) {
        const off_t size = ::lseek(fd, 0, SEEK_END);
        if (size >= kSlot && ::pread(fd, tail.data(), tail.size(), size - kSlot) == ssize_t(tail.size()) &&
            tail == last)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;)
        pause();
}
