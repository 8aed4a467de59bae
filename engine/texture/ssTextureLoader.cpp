#include "engine/texture/ssTextureLoader.h"

#include "engine/files/ssFile.h"

#include <new>
#include <vector>

namespace {
// Texture files are pictures of at most a few megabytes; a larger "texture" is refused before
// the engine tries to buffer it.
constexpr int64_t maxTextureFileBytes = 256LL << 20;
} // namespace

int32_t ssTextureLoader(ssTexture* texture, ssFile* stream, int32_t requestedType, float displayScale)
{
    const int64_t size = stream->GetSize();
    std::vector<uint8_t> buffer;
    try {
        if (size < 0 || size > maxTextureFileBytes)
            throw std::bad_alloc();
        buffer.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        texture->Clear();
        return ssTexNoMemory;
    }
    int64_t done = 0;
    while (done < size) {
        const int64_t got = stream->Read(buffer.data() + done, size - done);
        if (got <= 0)
            break;
        done += got;
    }
    return ssTextureDecode(texture, buffer.data(), static_cast<size_t>(done), requestedType, displayScale);
}
