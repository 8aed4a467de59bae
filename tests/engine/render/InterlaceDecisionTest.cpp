// Which movies are deinterlaced or interlaced for which outputs.
#include "engine/render/ssInterlaceDecision.h"
#include "tests/support/EngineLog.h"

#include <gtest/gtest.h>

namespace {
constexpr int kProgressive = 1, kTT = 2, kBB = 3, kTB = 4;

ssInterlaceDecision decide(int order, int movieHeight, double r, int interlaced, int outputHeight, double c)
{
    const testsupport::EngineLog quiet;
    return ssDecideInterlace(order, movieHeight, r, interlaced, outputHeight, c);
}
} // namespace

TEST(InterlaceDecision, DecisionTable)
{
    struct Row {
        const char* what;
        int order, movieHeight;
        double r;
        int interlaced, outputHeight;
        double c;
        int deinterlace, interlace;
    };
    const Row rows[] = {
        {"1080i29.97 movie into 1080i59.94: neither", kTT, 1080, 29.97, 1, 1080, 29.97, 0, 0},
        {"720p59.94 movie into 1080i59.94: interlaced", kProgressive, 720, 59.94, 1, 1080, 29.97, 0, 1},
        {"25p movie into 25p: neither", kProgressive, 1080, 25.0, 0, 1080, 25.0, 0, 0},
        {"interlaced movie, progressive output at 30 fps: never deinterlaced", kTT, 1080, 29.97, 0, 1080, 29.97,
            0, 0},
        {"interlaced movie into 720p59.94: deinterlaced", kTT, 1080, 29.97, 0, 720, 59.94, 1, 0},
        {"bottom-first movie into 720p50", kBB, 576, 25.0, 0, 720, 50.0, 2, 0},
        {"interlaced movie of another height into an interlaced output", kTT, 576, 25.0, 1, 1080, 25.0, 1, 0},
        {"50p movie into 1080i25, another height", kProgressive, 720, 50.0, 1, 1080, 25.0, 0, 1},
        {"TB movie at the output rate, other height: both", kTB, 486, 29.97, 1, 1080, 29.97, 3, 1},
        {"59.94p movie of the same height and rate as an interlaced output", kProgressive, 1080, 59.94, 1, 1080,
            59.94, 0, 1},
        {"unknown field order is progressive", 0, 1080, 25.0, 0, 1080, 50.0, 0, 0},
    };
    for (const Row& row : rows) {
        const ssInterlaceDecision d
            = decide(row.order, row.movieHeight, row.r, row.interlaced, row.outputHeight, row.c);
        EXPECT_EQ(d.deinterlaceMode, row.deinterlace) << row.what;
        EXPECT_EQ(d.interlaceFlag, row.interlace) << row.what;
    }
}

TEST(InterlaceDecision, LogsEachDecision)
{
    const testsupport::EngineLog engine;
    ssDecideInterlace(kTT, 1080, 29.97, 1, 1080, 29.97);
    const std::string log = engine.Text();
    EXPECT_NE(log.find("Output is interlaced and matches height, not deinterlacing"), std::string::npos);
    EXPECT_NE(log.find("Output is interlaced\n"), std::string::npos);
    EXPECT_NE(log.find("movie too slow to interlace"), std::string::npos);
    EXPECT_NE(log.find("Movie is interlaced and matches in height, not interlacing"), std::string::npos);
}
