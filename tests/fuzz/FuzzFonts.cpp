// Fonts as the display loads them: with bit 1 of the first byte clear, a font stream (any of the
// three versions) read through ssFont::Load from memory; with it set, a family file (sizes and
// offsets, then streams) through ssDisplay::LoadFont from a resource folder. A font that loads is
// measured over every character code.
#include "engine/display/ssDisplay.h"
#include "tests/fuzz/FuzzScratch.h"
#include "tests/fuzz/FuzzQuiet.h"
#include "engine/display/ssFont.h"
#include "engine/files/ssFile.h"
#include "platform/foundation/Log.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

class MemoryFile : public ssFile {
public:
    MemoryFile(const std::uint8_t* data, std::size_t size) : data_(data), size_(std::int64_t(size)) {}
    std::int64_t Read(void* buffer, std::int64_t size) override
    {
        const std::int64_t n = std::max<std::int64_t>(0, std::min(size, size_ - at_));
        if (n > 0)
            std::memcpy(buffer, data_ + at_, std::size_t(n));
        at_ += n;
        return n;
    }
    std::int64_t Seek(std::int64_t offset, int whence) override
    {
        const std::int64_t base = whence == 0 ? 0 : whence == 1 ? at_ : size_;
        if (base + offset < 0)
            return -1;
        at_ = base + offset;
        return at_;
    }
    std::int64_t GetSize() override { return size_; }
    std::int64_t Tell() override { return at_; }

private:
    const std::uint8_t* data_;
    std::int64_t size_;
    std::int64_t at_ = 0;
};

// The resource folder the family file is written to.
std::string familyPath()
{
    return fuzzsupport::scratchFolder("F.fnt") + "/F.fnt";
}

long measure(const ssFont& font)
{
    long width = 0;
    for (int code = 0; code < 256; ++code) {
        font.Glyph(static_cast<unsigned char>(code));
        width += font.Advance(static_cast<unsigned char>(code));
    }
    return width;
}

int loadFamily(const std::uint8_t* data, std::size_t size)
{
    const int fd = ::open(familyPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size))
        std::abort();
    ::close(fd);
    const std::string folder = fuzzsupport::scratchFolder("F.fnt");
    ssDisplay display(1.0f, folder.c_str());
    display.Init(64, 32, 32, 0);
    const ssFont* font = display.LoadFont("F12", "", "");
    return font && measure(*font) == -1 ? 1 : 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::silenceEngineLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static platform::LogCapture quiet;
    quiet.clear();
    if (size < 1)
        return 0;
    if (data[0] & 2)
        return loadFamily(data + 1, size - 1);
    MemoryFile stream(data + 1, size - 1);
    ssFont font(32);
    const float scale = (data[0] & 1) ? 0.5f : 1.0f;
    if (font.Load(&stream, scale, scale) != 0)
        return 0;
    return measure(font) == -1 ? 1 : 0;
}
