#include "engine/base/ssMessage.h"
#include "engine/texture/ssImageDecode.h"
#include "engine/texture/ssPixelLayout.h"
#include "engine/texture/ssTarga.h"
#include "engine/texture/ssTextureLoader.h"

#include <cstring>
#include <new>
#include <utility>

namespace {

constexpr uint32_t magicRaw = 0x0CAAD001;
constexpr uint32_t magicCompressed = 0xABCD0001;
constexpr uint32_t magicPacked16 = 0xABCD0002;
constexpr uint32_t magicCompressed3 = 0xABCD0003;
constexpr uint32_t magicJpegPair = 0xABCD0004;
constexpr uint32_t magicPng = 0x474E5089;

constexpr size_t containerHeader = 52;
constexpr size_t rawPixelsAt = 1040;

uint32_t le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16
        | static_cast<uint32_t>(p[3]) << 24;
}

int32_t failed(ssTexture* texture, const char* what)
{
    ssMessage(2, "Texture %s: %s", texture->name.c_str(), what);
    texture->Clear();
    return ssTexDecodeFailed;
}

bool take(ssTexture* texture, ssDecodedImage&& image)
{
    if (!image.ok)
        return false;
    texture->pixels = std::move(image.pixels);
    texture->width = static_cast<uint16_t>(image.width);
    texture->height = static_cast<uint16_t>(image.height);
    texture->type = image.type;
    return true;
}

int32_t decodeRaw(ssTexture* texture, const uint8_t* data, size_t size)
{
    if (size < rawPixelsAt)
        return failed(texture, "raw header truncated");
    const int64_t width = static_cast<int32_t>(le32(data + 4));
    const int64_t height = static_cast<int32_t>(le32(data + 8));
    if (!ssPictureSizeAllowed(width, height) || size - rawPixelsAt < static_cast<size_t>(width * height))
        return failed(texture, "raw picture size does not match the file");
    texture->pixels.assign(data + rawPixelsAt, data + rawPixelsAt + width * height);
    texture->width = static_cast<uint16_t>(width);
    texture->height = static_cast<uint16_t>(height);
    texture->type = ssTexIndexed8;
    return ssTexRawLoaded;
}

// Containers 1 to 3: the data after the header is kept as it is.
int32_t decodeContainerData(ssTexture* texture, uint32_t magic, const uint8_t* data, size_t size)
{
    const int64_t width = data[8] | data[9] << 8;
    const int64_t height = static_cast<int32_t>(le32(data + 12));
    const bool alpha = le32(data + 16) == 4;
    if (!ssPictureSizeAllowed(width, height))
        return failed(texture, "container picture size out of range");
    int32_t type = ssTexCompressed3;
    if (magic == magicCompressed)
        type = alpha ? ssTexCompressedAlpha : ssTexCompressed;
    else if (magic == magicPacked16)
        type = alpha ? ssTexRGBA4444 : ssTexRGB565;
    // Packed 16-bit pixels are uploaded as they are, so the data must cover the picture.
    if (magic == magicPacked16 && size - containerHeader < static_cast<size_t>(width * height * 2))
        return failed(texture, "container data truncated");
    texture->pixels.assign(data + containerHeader, data + size);
    texture->width = static_cast<uint16_t>(width);
    texture->height = static_cast<uint16_t>(height);
    texture->type = type;
    return ssTexRawLoaded;
}

// Container 4: one JPEG, or two with the second for displays scaled above 0.7.
int32_t decodeJpegContainer(ssTexture* texture, const uint8_t* data, size_t size, int32_t requested, float scale)
{
    const bool alpha = le32(data + 16) == 4;
    const bool twoImages = le32(data + 20) != 0;
    const uint64_t firstSize = le32(data + 24);
    const uint64_t secondSize = le32(data + 28);
    const uint64_t available = size - containerHeader;
    uint64_t offset = containerHeader;
    uint64_t length = available; // a single picture runs to the end of the file
    if (twoImages) {
        if (firstSize > available || secondSize > available - firstSize)
            return failed(texture, "container picture sizes exceed the file");
        if (scale > 0.7f) {
            offset += firstSize;
            length = secondSize;
        } else {
            length = firstSize;
        }
    }
    const int32_t type = alpha ? ssTexRGBA : (requested == ssTexAsSource ? ssTexRGB : ssTexRGB565);
    if (!take(texture, ssJPEGDecompress(data + offset, length, type, true)))
        return failed(texture, "container JPEG does not decode");
    return ssTexRawLoaded;
}

} // namespace

int32_t ssTextureDecode(ssTexture* texture, const uint8_t* data, size_t size, int32_t requestedType, float displayScale)
{
    texture->Clear();
    if (!data || size == 0)
        return failed(texture, "empty file");
    if (ssIsTarga(data, size))
        return ssDecodeTarga(texture, data, size, requestedType);
    const uint32_t magic = size >= 4 ? le32(data) : 0;
    try {
        switch (magic) {
        case magicRaw:
            return decodeRaw(texture, data, size);
        case magicCompressed:
        case magicPacked16:
        case magicCompressed3:
        case magicJpegPair:
            if (size < containerHeader)
                return failed(texture, "container header truncated");
            if (magic == magicJpegPair)
                return decodeJpegContainer(texture, data, size, requestedType, displayScale);
            return decodeContainerData(texture, magic, data, size);
        case magicPng:
            if (!take(texture, ssPNGDecompress(data, size, requestedType)))
                return failed(texture, "PNG does not decode");
            return ssTexOK;
        default:
            if (!take(texture, ssJPEGDecompress(data, size, requestedType, false)))
                return failed(texture, "JPEG does not decode");
            return ssTexOK;
        }
    } catch (const std::bad_alloc&) {
        texture->Clear();
        return ssTexNoMemory;
    }
}
