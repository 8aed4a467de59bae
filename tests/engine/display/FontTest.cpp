// Fonts through the display: family files and sizes, file naming, the three stream layouts,
// measuring, and drawing into a framebuffer.
#include "engine/display/ssDisplayGL.h"
#include "engine/display/ssFont.h"
#include "tests/engine/display/DisplayFixture.h"
#include "tests/engine/display/FontFiles.h"

#include <algorithm>

namespace {

class FontTest : public DisplayTest
{
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        BindTarget(320, 120);
    }
    std::unique_ptr<ssDisplayGL> MakeDisplay(float scale = 1.0f, const std::string& root = {})
    {
        auto display = std::make_unique<ssDisplayGL>(scale, (root.empty() ? Root() : root).c_str());
        display->Init(320, 120, 32, 0);
        return display;
    }
};

} // namespace

TEST_F(FontTest, FamilyPicksTheFirstSizeAtLeastAskedAndScalesToIt)
{
    WriteResource("Test.fnt", fontfiles::family({24, 36, 48}));
    auto display = MakeDisplay();
    ssFont* thirty = display->LoadFont("Test30", "", "");
    ASSERT_NE(thirty, nullptr);
    EXPECT_STREQ(thirty->GetName(), "Test30");
    EXPECT_EQ(thirty->GlyphHeight(), 30);                 // the 36 font at 30/36
    EXPECT_EQ(thirty->GetHeader().glyphs[1].width, 5);    // 6 x 30/36
    ssFont* sixty = display->LoadFont("Test60", "", "");
    ASSERT_NE(sixty, nullptr);
    EXPECT_EQ(sixty->GlyphHeight(), 60);                  // the largest, 48, at 60/48

    // The display scale multiplies the size asked for.
    auto scaled = MakeDisplay(2.0f);
    ssFont* doubled = scaled->LoadFont("Test30", "", "");
    ASSERT_NE(doubled, nullptr);
    EXPECT_EQ(doubled->GlyphHeight(), 60);
}

TEST_F(FontTest, BoldItalicNamesAndTheSingleFileFallback)
{
    WriteResource("TestBI.fnt", fontfiles::family({20}));
    WriteResource("TestB.fnt", fontfiles::family({22}));
    WriteResource("Solo12.fnt", fontfiles::stream({.height = 12}));
    auto display = MakeDisplay();
    ssFont* boldItalic = display->LoadFont("TestB20I", "", "");
    ASSERT_NE(boldItalic, nullptr);
    EXPECT_EQ(boldItalic->GlyphHeight(), 20);
    EXPECT_NE(display->LoadFont("Test20BI", "", ""), nullptr);
    ssFont* bold = display->LoadFont("Test22B", "", "");
    ASSERT_NE(bold, nullptr);
    EXPECT_EQ(bold->GlyphHeight(), 22);

    testsupport::EngineLog log;
    ssFont* solo = display->LoadFont("Solo12", "", "");
    ASSERT_NE(solo, nullptr);
    EXPECT_EQ(solo->GlyphHeight(), 12);
    EXPECT_NE(log.Text().find("Could not load font Solo.fnt\n"), std::string::npos) << log.Text();

    // Asked again, in other case: the same font, counted.
    EXPECT_EQ(display->LoadFont("SOLO12", "", ""), solo);
    EXPECT_EQ(solo->useCount, 2);
}

TEST_F(FontTest, WrongFamilyVersionGivesTheFirstLoadedFont)
{
    WriteResource("Old.fnt", fontfiles::family({12}, 0x100));
    WriteResource("Test.fnt", fontfiles::family({12}));
    auto display = MakeDisplay();
    testsupport::EngineLog log;
    EXPECT_EQ(display->LoadFont("Old12", "", ""), nullptr);
    ssFont* first = display->LoadFont("Test12", "", "");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(display->LoadFont("Old12", "", ""), first);
    EXPECT_NE(log.Text().find("Font family file Old.fnt is wrong version.  100 vs. 101\n"), std::string::npos)
        << log.Text();
    EXPECT_EQ(display->GetFontCount(), 1);
}

TEST_F(FontTest, StreamLayoutsAndSpacingTables)
{
    WriteResource("Cur12.fnt", fontfiles::stream({.version = 0x102, .before = 1, .after = 2}));
    // In the 0x101 layout the bitmap starts where newer files keep their tables: its ink must not
    // be read as spacing.
    WriteResource("Mid12.fnt", fontfiles::stream({.version = 0x101, .ink = 0x7F}));
    WriteResource("Old12.fnt", fontfiles::stream({.version = 0x100}));
    auto display = MakeDisplay();
    ssFont* current = display->LoadFont("Cur12", "", "");
    ssFont* middle = display->LoadFont("Mid12", "", "");
    ssFont* old = display->LoadFont("Old12", "", "");
    ASSERT_TRUE(current && middle && old);
    EXPECT_EQ(current->Advance('a'), 6 - 3);
    EXPECT_EQ(middle->Advance('a'), 6);
    EXPECT_EQ(middle->GetHeader().version, 0x102u);
    EXPECT_EQ(old->Advance('a'), 6);
    EXPECT_EQ(old->GlyphHeight(), 12);
    EXPECT_EQ(old->GetHeader().version, 0x100u);
    EXPECT_EQ(current->SpaceAdvance(), 9); // one and a half "i"
}

TEST_F(FontTest, MeasureTextLinesWrapAndHighBytes)
{
    WriteResource("M10.fnt", fontfiles::stream({.height = 10}));
    auto display = MakeDisplay();
    ssFont* font = display->LoadFont("M10", "", "");
    ASSERT_NE(font, nullptr);
    int32_t w = 0, h = 0;
    display->MeasureText(font, "ab\ncd", &w, &h, 0);
    EXPECT_EQ(h, 20);
    EXPECT_EQ(w, 12);
    display->MeasureText(font, "abc\nd", &w, &h, 0);
    EXPECT_EQ(w, 18); // the widest line
    display->MeasureText(nullptr, "anything", &w, &h, 0);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 4);
    display->MeasureText(font, "a\b", &w, &h, 0);
    EXPECT_EQ(w, 6 + 4 * 9);
    w = 13;
    display->MeasureText(font, "abcd", &w, &h, 1);
    EXPECT_EQ(h, 20);
    // Bytes past the font's characters count for nothing, never index before the tables.
    display->MeasureText(font, "a\xC3\xA9\xFF" "b", &w, &h, 0);
    EXPECT_EQ(w, 12);
}

TEST_F(FontTest, LongNamesAreCutToTheHeaderField)
{
    const std::string family(200, 'L');
    WriteResource(family + ".fnt", fontfiles::family({12}));
    auto display = MakeDisplay();
    ssFont* font = display->LoadFont((family + "12").c_str(), "", "");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(std::string(font->GetName()), family.substr(0, 127));
}

TEST_F(FontTest, DrawnTextInksOnlyInsideItsMeasuredBox)
{
    auto display = MakeDisplay(1.0f, BuiltResources());
    ssFont* font = display->LoadFont("Arial30", "", "misc.ark");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->GlyphHeight() > 20, true);
    const char* text = "Kalvanto\nplays";
    int32_t w = 0, h = 0;
    display->MeasureText(font, text, &w, &h, 0);
    const int x = 20, top = 100;
    display->BeginFrame();
    font->DrawText(0xFFFFFFFF, text, x, top, 1.0f);
    font->DrawText(0xFFFFFFFF, "\x80\xFF", x, top, 1.0f); // bytes the font lacks draw nothing
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    const std::vector<uint8_t> pixels = ReadPixels(320, 120);
    int inked = 0, outside = 0;
    for (int row = 0; row < 120; ++row) {
        for (int column = 0; column < 320; ++column) {
            if (pixels[(static_cast<size_t>(row) * 320 + column) * 4] < 16)
                continue;
            ++inked;
            const bool inside = column >= x && column < x + w && row < top && row >= top - h;
            outside += inside ? 0 : 1;
        }
    }
    EXPECT_GT(inked, 200);
    EXPECT_EQ(outside, 0) << "box " << w << " x " << h;
}
