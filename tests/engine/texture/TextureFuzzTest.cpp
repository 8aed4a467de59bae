// Seeded random corruption of every texture format: each damaged file gives one of the loader's
// codes and a texture whose pixels cover its size, never a crash or an out-of-bounds access.
// KLV_FUZZ_SECONDS=60 runs the loop for a minute instead of the fixed count (use an ASan build).
#include "engine/texture/ssTextureLoader.h"
#include "tests/engine/texture/samples/TextureSamples.h"

#include <gtest/gtest.h>
#include <png.h>

#include <chrono>
#include <cstdlib>
#include <random>

namespace {

std::vector<Bytes> seedFiles()
{
    const Bytes rgb = samples::solid(6, 5, {200, 100, 50});
    const Bytes rgba = samples::solid(6, 5, {200, 100, 50, 25});
    const Bytes small = samples::jpeg(8, 8, 3, samples::solid(8, 8, {0, 0, 255}));
    const Bytes large = samples::jpeg(16, 16, 3, samples::solid(16, 16, {255, 0, 0}));
    return {
        samples::targa(6, 5, 24, rgb),
        samples::targa(6, 5, 32, rgba, true, "id"),
        samples::raw(6, 5, Bytes(30, 7)),
        samples::container(0xABCD0002, 6, 5, 4, Bytes(60, 1)),
        samples::container(0xABCD0001, 6, 5, 0, Bytes(40, 1)),
        samples::jpegContainer(small, &large, 0),
        small,
        samples::jpeg(12, 9, 1, Bytes(108, 90)),
        samples::png(6, 5, PNG_COLOR_TYPE_RGB, 8, rgb),
        samples::png(6, 5, PNG_COLOR_TYPE_RGBA, 8, rgba),
    };
}

void corrupt(Bytes& file, std::mt19937& random)
{
    const int edits = 1 + static_cast<int>(random() % 6);
    for (int i = 0; i < edits && !file.empty(); ++i) {
        const size_t at = random() % file.size();
        switch (random() % 6) {
        case 0:
            file[at] ^= static_cast<uint8_t>(1u << (random() % 8));
            break;
        case 1:
            file[at] = static_cast<uint8_t>(random());
            break;
        case 2: // an extreme value in what may be a size field
            for (size_t k = at; k < std::min(file.size(), at + 4); ++k)
                file[k] = (random() & 1) ? 0xFF : 0x7F;
            break;
        case 3:
            file.resize(at);
            break;
        case 4:
            file.insert(file.begin() + static_cast<std::ptrdiff_t>(at), static_cast<uint8_t>(random()));
            break;
        default:
            file.erase(file.begin() + static_cast<std::ptrdiff_t>(at));
            break;
        }
    }
}

} // namespace

TEST(TextureFuzz, CorruptedFilesGiveCodesNeverCrashes)
{
    const std::vector<Bytes> seeds = seedFiles();
    const int32_t requests[] = {ssTexAsSource, ssTexRGB, ssTexRGBA, ssTexRGB565, ssTexRGBA4444, 0, 9};
    std::mt19937 random(20261208);
    const char* seconds = std::getenv("KLV_FUZZ_SECONDS");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds ? std::atoi(seconds) : 0);
    const long rounds = seconds ? -1 : 30000;
    long done = 0;
    for (; rounds < 0 ? std::chrono::steady_clock::now() < deadline : done < rounds; ++done) {
        Bytes file = seeds[done % seeds.size()];
        corrupt(file, random);
        ssTexture texture;
        const int32_t type = requests[random() % std::size(requests)];
        const float scale = (random() & 1) ? 1.0f : 0.5f;
        const int32_t result = ssTextureDecode(&texture, file.data(), file.size(), type, scale);
        ASSERT_TRUE(result == ssTexOK || result == ssTexRawLoaded || result == ssTexDecodeFailed
            || result == ssTexNoMemory)
            << "round " << done << " result " << result;
        if (result == ssTexDecodeFailed) {
            ASSERT_TRUE(texture.pixels.empty());
            ASSERT_EQ(texture.width, 0);
        }
        const size_t needed = static_cast<size_t>(texture.width) * texture.height * samples::bytesPerPixel(texture.type);
        ASSERT_GE(texture.pixels.size(), needed) << "round " << done;
    }
    std::printf("%ld corrupted texture files decoded\n", done);
}
