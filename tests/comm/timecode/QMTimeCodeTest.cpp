#include "comm/timecode/QMFrameSplit.h"
#include "comm/timecode/QMTimeCode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(QMTimeCode, TimeValueConversionSplitsFieldsAndFrames)
{
    EXPECT_EQ(QMTimeCode::timecodeWithTimeValue(3661, 1, 25).stringValue(), "01:01:01:00");
    const QMTimeCode tc = QMTimeCode::timecodeWithTimeValue(3750, 100, 25);
    EXPECT_EQ(tc.stringValue(), "00:00:37:12");
    EXPECT_EQ(tc.framerate(), 0.0);
    // 1001/30000 s is exactly frame 1 at 29.97; the single-precision frame length must not
    // push it back to frame 0.
    EXPECT_EQ(QMTimeCode::timecodeWithTimeValue(1001, 30000, 29.97f).frames(), 1u);
    // A rate below 1 counts as 1; a zero scale gives zero instead of dividing by it.
    EXPECT_EQ(QMTimeCode::timecodeWithTimeValue(15, 10, 0.0f).stringValue(), "00:00:01:00");
    EXPECT_EQ(QMTimeCode::timecodeWithTimeValue(15, 0, 25).stringValue(), "00:00:00:00");
}

TEST(QMTimeCode, TotalFramesAndText)
{
    QMTimeCode tc = QMTimeCode::timecodeWithFrames(5, 0, 1, 0);
    EXPECT_EQ(tc.totalFrames(), 5u); // no rate: just the frames
    tc.setFramerate(25);
    EXPECT_EQ(tc.totalFrames(), 1505u);
    // 29.97 counts exactly, drop-frame: three seconds are 90 frames, 00:01:00;02 is frame 1800.
    QMTimeCode ntsc = QMTimeCode::timecodeWithFrames(0, 3, 0, 0);
    ntsc.setFramerate(29.97);
    EXPECT_EQ(ntsc.totalFrames(), 90u);
    ntsc = QMTimeCode::timecodeWithFrames(2, 0, 1, 0);
    ntsc.setFramerate(29.97);
    EXPECT_EQ(ntsc.totalFrames(), 1800u);
    tc.setFramerate(-25);
    EXPECT_EQ(tc.totalFrames(), 0u); // never wraps below zero
    tc.setFramerate(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(tc.totalFrames(), 0u);

    QMTimeCode big;
    big.setHours(100);
    EXPECT_EQ(big.stringValue(), "100:00:00:00");
    EXPECT_EQ(QMTimeCode::timecodeWithFrames(4, 3, 2, 1).stringValue(), "01:02:03:04");
    EXPECT_TRUE(big.description().endsWith(" 100:00:00:00"));
    EXPECT_TRUE(big.description().startsWith("<QMTimeCode: 0x"));
    EXPECT_EQ(QMTimeCode::zeroTime().stringValue(), "00:00:00:00");
    EXPECT_FALSE(big.dropFrameFlag());
    EXPECT_FALSE(big.negativeFlag());
}

TEST(QMFrameSplit, ExactFrameTimesLandOnTheirFrame)
{
    // 1.2 s at 25 fps is frame 5 of second 1 although 0.2 * 25 is 4.999... in binary.
    const QMFrameSplit s = qmSplitSeconds(1.2, 25);
    EXPECT_EQ(s.wholeSeconds, 1u);
    EXPECT_EQ(s.frames, 5u);
    EXPECT_FALSE(s.negative);
    for (int n = 0; n < 25 * 60; ++n) {
        const QMFrameSplit f = qmSplitSeconds(n / 25.0, 25);
        ASSERT_EQ(f.wholeSeconds * 25 + f.frames, std::uint64_t(n)) << n;
    }
}

TEST(QMFrameSplit, BadInputNeitherWrapsNorDivides)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double t : {nan, inf, -inf}) {
        const QMFrameSplit s = qmSplitSeconds(t, 25);
        EXPECT_EQ(s.wholeSeconds, 0u);
        EXPECT_EQ(s.frames, 0u);
    }
    const QMFrameSplit neg = qmSplitSeconds(-1.5, 25);
    EXPECT_TRUE(neg.negative);
    EXPECT_EQ(neg.wholeSeconds, 1u);
    EXPECT_EQ(neg.frames, 12u);
    EXPECT_EQ(qmSplitSeconds(1.5, 0).frames, 0u);
    EXPECT_EQ(qmSplitSeconds(1.5, -30).frames, 0u);
    EXPECT_EQ(qmSplitSeconds(1.5, nan).frames, 0u);
    EXPECT_EQ(qmSplitSeconds(1e300, 25).wholeSeconds, 9007199254740992u);
    // A hair below the next second is the next second, not frame 25 of this one.
    const QMFrameSplit carry = qmSplitSeconds(0.999999999, 25);
    EXPECT_EQ(carry.wholeSeconds, 1u);
    EXPECT_EQ(carry.frames, 0u);
}
