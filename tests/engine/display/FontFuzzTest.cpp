// Seeded random corruption of font family files and font streams: every damaged file loads as a
// font or as nothing, and measuring and drawing any bytes with what loaded stays in bounds.
// KLV_FUZZ_SECONDS=60 runs the loop for a minute instead of the fixed count (use an ASan build).
#include "engine/display/ssDisplayGL.h"
#include "engine/display/ssFont.h"
#include "tests/engine/display/DisplayFixture.h"
#include "tests/engine/display/FontFiles.h"

#include <chrono>
#include <cstdlib>
#include <random>

namespace {

void corrupt(Bytes& file, std::mt19937& random)
{
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < edits && !file.empty(); ++i) {
        // Most damage goes to the headers and tables, where the sizes and offsets live.
        const size_t span = (random() % 4 == 0) ? file.size() : std::min<size_t>(file.size(), 2300);
        const size_t at = random() % span;
        switch (random() % 4) {
        case 0:
            file[at] = static_cast<uint8_t>(random());
            break;
        case 1:
            for (size_t k = at; k < std::min(file.size(), at + 2); ++k)
                file[k] = 0xFF;
            break;
        case 2:
            file.resize(at);
            break;
        default:
            file[at] ^= 0x80;
            break;
        }
    }
}

} // namespace

TEST_F(DisplayTest, CorruptedFontFilesLoadOrFailCleanly)
{
    BindTarget(64, 32);
    const std::vector<Bytes> families = {fontfiles::family({10, 14}), fontfiles::family({9}, 0x101, {.version = 0x101}),
        fontfiles::family({8}, 0x101, {.version = 0x100})};
    const std::vector<Bytes> streams = {fontfiles::stream({.height = 7, .glyphWidth = 3}),
        fontfiles::stream({.version = 0x101, .height = 6, .glyphWidth = 2}),
        fontfiles::stream({.version = 0x100, .height = 5, .glyphWidth = 2})};
    std::mt19937 random(8122026);
    const char* seconds = std::getenv("KLV_FUZZ_SECONDS");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds ? std::atoi(seconds) : 0);
    const long rounds = seconds ? -1 : 2000;
    long done = 0;
    testsupport::EngineLog quiet; // thousands of "Could not load font" lines say nothing here
    for (; rounds < 0 ? std::chrono::steady_clock::now() < deadline : done < rounds; ++done) {
        const bool family = random() & 1;
        Bytes file = family ? families[random() % families.size()] : streams[random() % streams.size()];
        corrupt(file, random);
        WriteResource(family ? "F.fnt" : "S12.fnt", file);
        ssDisplayGL display(1.0f, Root().c_str());
        display.Init(64, 32, 32, 0);
        ssFont* font = display.LoadFont(family ? "F12" : "S12", "", "");
        if (!font)
            continue;
        char text[24];
        for (char& c : text)
            c = static_cast<char>(1 + random() % 255);
        text[sizeof text - 1] = '\0';
        int32_t w = 40, h = 0;
        display.MeasureText(font, text, &w, &h, static_cast<int32_t>(random() & 1));
        ASSERT_GE(h, 0);
        font->DrawText(0xFFFFFFFF, text, 2, 30, 1.0f);
    }
    quiet.Text();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    std::printf("%ld corrupted font files loaded\n", done);
}
