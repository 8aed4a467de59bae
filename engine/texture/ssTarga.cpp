#include "engine/texture/ssTarga.h"

#include "engine/base/ssMessage.h"
#include "engine/texture/ssPixelLayout.h"

#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr size_t headerSize = 18;

uint16_t le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// Unpacks run-length packets into exactly `out.size()` bytes; false when the data runs out first.
bool unpackRunLength(const uint8_t* src, size_t available, int bytesPerPixel, std::vector<uint8_t>& out)
{
    size_t in = 0;
    size_t written = 0;
    const size_t total = out.size();
    while (written < total) {
        if (in >= available)
            return false;
        const uint8_t packet = src[in++];
        const size_t count = static_cast<size_t>(packet & 0x7F) + 1;
        const size_t bytes = std::min(count * bytesPerPixel, total - written); // a run may not spill past the picture
        if (packet & 0x80) {
            if (available - in < static_cast<size_t>(bytesPerPixel))
                return false;
            for (size_t done = 0; done < bytes; done += bytesPerPixel)
                std::memcpy(out.data() + written + done, src + in, std::min<size_t>(bytesPerPixel, bytes - done));
            in += bytesPerPixel;
        } else {
            const size_t literal = count * bytesPerPixel;
            if (available - in < literal)
                return false;
            std::memcpy(out.data() + written, src + in, bytes);
            in += literal;
        }
        written += bytes;
    }
    return true;
}

} // namespace

bool ssIsTarga(const uint8_t* data, size_t size)
{
    return size >= headerSize && (data[2] == 2 || data[2] == 10);
}

int32_t ssDecodeTarga(ssTexture* texture, const uint8_t* data, size_t size, int32_t requestedType)
{
    texture->Clear();
    const int width = le16(data + 12);
    const int height = le16(data + 14);
    const int bits = data[16];
    if ((bits != 24 && bits != 32) || !ssPictureSizeAllowed(width, height)) {
        ssMessage(2, "Targa %dx%d with %d bits per pixel not supported", width, height, bits);
        return ssTexDecodeFailed;
    }
    // Pixel data follows the identification field and any colour map.
    const size_t idLength = data[0];
    const size_t mapBytes = data[1] ? static_cast<size_t>(le16(data + 5)) * ((data[7] + 7) / 8) : 0;
    const size_t start = headerSize + idLength + mapBytes;
    if (start > size)
        return ssTexDecodeFailed;
    const int bytesPerPixel = bits / 8;
    const size_t pictureBytes = static_cast<size_t>(width) * height * bytesPerPixel;

    std::vector<uint8_t> stored;
    try {
        stored.resize(pictureBytes);
    } catch (const std::bad_alloc&) {
        return ssTexNoMemory;
    }
    if (data[2] == 10) {
        if (!unpackRunLength(data + start, size - start, bytesPerPixel, stored)) {
            ssMessage(2, "Targa run-length data truncated");
            return ssTexDecodeFailed;
        }
    } else {
        if (size - start < pictureBytes) {
            ssMessage(2, "Targa pixel data truncated");
            return ssTexDecodeFailed;
        }
        std::memcpy(stored.data(), data + start, pictureBytes);
    }

    // Stored blue, green, red (alpha): swap to red first.
    for (size_t i = 0; i < pictureBytes; i += bytesPerPixel)
        std::swap(stored[i], stored[i + 2]);

    const ssPixelLayout layout = bits == 32 ? ssPixelLayout{4, ssTexRGBA} : ssChoosePixelLayout(3, requestedType);
    const size_t rowIn = static_cast<size_t>(width) * bytesPerPixel;
    const size_t rowOut = static_cast<size_t>(width) * layout.bytesPerPixel;
    // Rows are stored from the bottom up unless the descriptor's top-left origin bit is set.
    const bool topDown = (data[17] & 0x20) != 0;
    try {
        texture->pixels.resize(rowOut * height);
    } catch (const std::bad_alloc&) {
        return ssTexNoMemory;
    }
    for (int y = 0; y < height; ++y) {
        const int target = topDown ? y : height - 1 - y;
        ssConvertRow(stored.data() + rowIn * y, bytesPerPixel, width, layout, texture->pixels.data() + rowOut * target);
    }
    texture->width = static_cast<uint16_t>(width);
    texture->height = static_cast<uint16_t>(height);
    texture->type = layout.type;
    return ssTexOK;
}
