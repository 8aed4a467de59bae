// The helper's reader against clips the tests make with the ffmpeg tool.
#include "mediahelper/decoder/ssMediaDecoder3Light.h"
#include "tests/mediahelper/support/HelperTestMedia.h"
#include "tests/support/EngineLog.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/TempFolder.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

using testsupport::HelperClip;
using testsupport::helperClipPath;

namespace {

double meanValue(const std::uint8_t* pixels, int width, int height)
{
    const std::size_t n = std::size_t(width) * std::size_t(height) * 3;
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += pixels[i];
    return n ? sum / double(n) : 0;
}

// The engine lines logged while fn ran, one a line.
template <class F>
std::string engineLinesOf(F&& fn)
{
    const testsupport::EngineLog engine;
    fn();
    return engine.Text();
}

int occurrences(const std::string& text, const std::string& what)
{
    int count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

// One picture of a helper clip at `seconds`, with what the decoder logged meanwhile.
struct Grab {
    int result = -1;
    int width = 0;
    int height = 0;
    std::unique_ptr<std::uint8_t[]> pixels;
    std::string log;
    double mean() const { return meanValue(pixels.get(), width, height); }
};

Grab grab(HelperClip clip, double seconds)
{
    Grab g;
    ssMediaDecoder3Light decoder;
    EXPECT_EQ(decoder.Open(helperClipPath(clip).toStdString()), 0);
    g.log = engineLinesOf([&] { g.result = decoder.GetImageForTime(seconds, g.width, g.height, g.pixels); });
    return g;
}

} // namespace

TEST(LightDecoder, ReportsDisplaySizeFormatDurationAndRate)
{
    const QString square = helperClipPath(HelperClip::Square1080p);
    const QString anamorphic = helperClipPath(HelperClip::Anamorphic480);
    ASSERT_FALSE(square.isEmpty());
    ASSERT_FALSE(anamorphic.isEmpty());

    ssMediaDecoder3Light decoder;
    ASSERT_EQ(decoder.Open(square.toStdString()), 0);
    EXPECT_TRUE(decoder.IsOpened());
    EXPECT_EQ(decoder.GetWidthHeight(), std::make_pair(1920, 1080));
    EXPECT_EQ(decoder.GetFormatString(), "h264");
    EXPECT_NEAR(decoder.GetDuration(), 4.0, 0.1);
    EXPECT_DOUBLE_EQ(decoder.GetFrameRate(), 25.0);
    EXPECT_EQ(decoder.GetPath(), square.toStdString());

    // Reopening replaces the first file: 720 coded pixels at 8:9 display as 640.
    ASSERT_EQ(decoder.Open(anamorphic.toStdString()), 0);
    EXPECT_EQ(decoder.GetWidthHeight(), std::make_pair(640, 480));
    EXPECT_EQ(decoder.GetCodedWidth(), 720);
}

TEST(LightDecoder, FilesThatDoNotOpenLeaveItClosed)
{
    testsupport::TempFolder temp;
    ssMediaDecoder3Light decoder;
    EXPECT_LT(decoder.Open(temp.filePath(QStringLiteral("missing.mov")).toStdString()), 0);
    EXPECT_FALSE(decoder.IsOpened());
    EXPECT_EQ(decoder.GetWidthHeight(), std::make_pair(-1, -1));
    EXPECT_EQ(decoder.GetFormatString(), "");
    EXPECT_EQ(decoder.GetPath(), "");

    EXPECT_LT(decoder.Open(testsupport::mediaPath("not_media").toStdString()), 0);
    EXPECT_FALSE(decoder.IsOpened());

    int width = 7, height = 7;
    std::unique_ptr<std::uint8_t[]> pixels;
    EXPECT_EQ(decoder.GetImageForTime(1.0, width, height, pixels), -1);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
    EXPECT_EQ(pixels, nullptr);
}

TEST(LightDecoder, OpensUtf8PathsOfAnyLength)
{
    testsupport::TempFolder temp;
    QString folder = temp.path() + QStringLiteral("/Clips é ü 映像");
    while (folder.toUtf8().size() < 1200)
        folder += QStringLiteral("/a-rather-long-folder-name-for-a-media-library");
    const QString path = folder + QStringLiteral("/clip ☃.mp4");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile::copy(helperClipPath(HelperClip::Small), path));

    ssMediaDecoder3Light decoder;
    ASSERT_EQ(decoder.Open(path.toStdString()), 0);
    EXPECT_EQ(decoder.GetPath(), path.toStdString());
    EXPECT_EQ(decoder.GetWidthHeight(), std::make_pair(320, 240));
}

TEST(LightDecoder, FrameRateFallsBackToTheBaseRateAndIsNeverNaN)
{
    EXPECT_DOUBLE_EQ(ssMediaDecoder3Light::FrameRateFromRates(30000, 1001, 60000, 1001), 30000.0 / 1001);
    EXPECT_DOUBLE_EQ(ssMediaDecoder3Light::FrameRateFromRates(0, 0, 25, 1), 25.0);
    EXPECT_DOUBLE_EQ(ssMediaDecoder3Light::FrameRateFromRates(0, 1, 24, 1), 24.0);
    EXPECT_EQ(ssMediaDecoder3Light::FrameRateFromRates(0, 0, 0, 0), 0.0);
}

TEST(LightDecoder, BrightnessRuleCountsEvenHugePicturesWithoutOverflow)
{
    std::vector<std::uint8_t> plane(64 * 8);
    std::fill(plane.begin(), plane.end(), 21);
    EXPECT_TRUE(ssMediaDecoder3Light::IsBrightEnough(plane.data(), 64, 64, 8, 1));
    std::fill(plane.begin(), plane.end(), 20);
    EXPECT_FALSE(ssMediaDecoder3Light::IsBrightEnough(plane.data(), 64, 64, 8, 1));
    // Padding past the picture's width is not looked at.
    std::fill(plane.begin(), plane.end(), 0);
    for (int y = 0; y < 8; ++y)
        std::fill_n(plane.begin() + y * 64, 32, 30);
    EXPECT_TRUE(ssMediaDecoder3Light::IsBrightEnough(plane.data(), 64, 32, 8, 1));

    // 16-bit samples are halved: 82 -> 41 per two bytes is above 20 per byte, 80 is not.
    std::vector<std::uint16_t> deep(32 * 4, 82);
    EXPECT_TRUE(ssMediaDecoder3Light::IsBrightEnough(reinterpret_cast<const std::uint8_t*>(deep.data()), 64, 32, 4, 2));
    std::fill(deep.begin(), deep.end(), 80);
    EXPECT_FALSE(ssMediaDecoder3Light::IsBrightEnough(reinterpret_cast<const std::uint8_t*>(deep.data()), 64, 32, 4, 2));

    // 8192 x 4096 of value 128 sums to exactly 2^32: a 32-bit sum would wrap to 0.
    std::vector<std::uint8_t> huge(std::size_t(8192) * 4096, 128);
    EXPECT_TRUE(ssMediaDecoder3Light::IsBrightEnough(huge.data(), 8192, 8192, 4096, 1));

    EXPECT_FALSE(ssMediaDecoder3Light::IsBrightEnough(nullptr, 0, 0, 0, 1));
}

TEST(LightDecoder, ThumbnailFrameIsTakenAfterADarkOpening)
{
    const Grab g = grab(HelperClip::DarkStart, 3.0);
    ASSERT_EQ(g.result, 0);
    ASSERT_EQ(g.width, 320);
    ASSERT_EQ(g.height, 180);
    EXPECT_GT(g.mean(), 40.0);
    // 3, 4 and 5 s are black; the key frame at 6 s opens the pattern.
    EXPECT_EQ(occurrences(g.log, "Incrementing frame time"), 3) << g.log;
}

TEST(LightDecoder, AllDarkClipStepsUpToHalfItsLengthThenTakesADarkFrame)
{
    const Grab g = grab(HelperClip::AllDark, 3.0);
    ASSERT_EQ(g.result, 0);
    // Tried at 3, 4, ..., 10 s; the picture at 11 s is taken.
    EXPECT_EQ(occurrences(g.log, "Incrementing frame time"), 8) << g.log;
    EXPECT_NE(g.log.find("Incrementing frame time: 10.000000"), std::string::npos);
    EXPECT_EQ(g.width, 160);
    EXPECT_LT(g.mean(), 20.0);
}

TEST(LightDecoder, ATimeBeforeTheStartStepsFromTheStart)
{
    // From -1.8e307 a second's step changes nothing: without a floor the search never ended.
    for (double before : {-1.797693134862316e+307, -1e9, -0.5}) {
        const Grab g = grab(HelperClip::AllDark, before);
        EXPECT_EQ(g.result, 0) << before;
        EXPECT_EQ(occurrences(g.log, "Incrementing frame time"), 11) << before; // 0, 1, ..., 10 s
    }
}

TEST(LightDecoder, SeeksCountFromTheStreamsOwnStartTime)
{
    // The stream starts at 10 s: 3.0 s into it is the white half, not the black start.
    const Grab g = grab(HelperClip::OffsetStart, 3.0);
    ASSERT_EQ(g.result, 0);
    EXPECT_GT(g.mean(), 200.0);
}

TEST(LightDecoder, PastTheEndGivesThePictureOfTheLastSeekPoint)
{
    const Grab g = grab(HelperClip::Small, 500.0);
    ASSERT_EQ(g.result, 0);
    EXPECT_EQ(g.width, 320);
    EXPECT_EQ(g.height, 240);
    // The pattern, not the flat grey of value 31 that marks a failed read.
    const std::vector<std::uint8_t> flat(std::size_t(g.width) * g.height * 3, 31);
    EXPECT_NE(std::memcmp(g.pixels.get(), flat.data(), flat.size()), 0);
}

TEST(LightDecoder, TruncatedFileStillYieldsAPicture)
{
    ssMediaDecoder3Light decoder;
    if (decoder.Open(testsupport::mediaPath("truncated").toStdString()) != 0)
        GTEST_SKIP() << "truncated clip does not open";
    int width = 0, height = 0;
    std::unique_ptr<std::uint8_t[]> pixels;
    EXPECT_EQ(decoder.GetImageForTime(1.5, width, height, pixels), 0);
    EXPECT_EQ(width, 320);
    EXPECT_NE(pixels, nullptr);
}
