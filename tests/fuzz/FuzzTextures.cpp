// Texture files (Targa, PNG, JPEG, the raw and JPEG containers): the first byte picks the pixel
// type asked for and the scale, the rest is the file. Pixels must cover the size answered.
#include "engine/texture/ssTextureLoader.h"
#include "tests/engine/texture/samples/TextureSamples.h"
#include "tests/fuzz/FuzzQuiet.h"

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>


extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::silenceEngineLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    static const std::int32_t requests[] = {ssTexAsSource, ssTexRGB, ssTexRGBA, ssTexRGB565, ssTexRGBA4444, 0, 9};
    const std::int32_t type = requests[(data[0] & 0x7F) % std::size(requests)];
    const float scale = (data[0] & 0x80) ? 0.5f : 1.0f;
    ssTexture texture;
    const std::int32_t result = ssTextureDecode(&texture, data + 1, size - 1, type, scale);
    if (result != ssTexOK && result != ssTexRawLoaded && result != ssTexDecodeFailed && result != ssTexNoMemory)
        std::abort();
    const std::size_t needed = std::size_t(texture.width) * std::size_t(texture.height) * std::size_t(samples::bytesPerPixel(texture.type));
    if (texture.pixels.size() < needed)
        std::abort();
    return 0;
}
