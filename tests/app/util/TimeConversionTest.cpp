#include "app/util/KLVUtilities.h"
#include "app/util/QMTimeCodeConversions.h"
#include "comm/timecode/QMFrameSplit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace QMTimeCodeConversions;

TEST(TimeCodeConversions, SecondsToTimeCodeAndBack)
{
    const QMTimeCode tc = timecodeWithTimeInterval(125.5, 25);
    EXPECT_EQ(tc.stringValue(), "00:02:05:12");
    EXPECT_EQ(tc.framerate(), 0.0);
    EXPECT_EQ(secondsWithFrameRate(QMTimeCode::timecodeWithFrames(12, 1, 0, 0), 24), 1.5);
    // 1.2 s at 25 fps is frame 5, not frame 4.
    EXPECT_EQ(timecodeWithTimeInterval(1.2, 25).stringValue(), "00:00:01:05");
    // No frame term without a rate; no wrapped fields for times below zero or not finite.
    EXPECT_EQ(secondsWithFrameRate(QMTimeCode::timecodeWithFrames(12, 1, 0, 0), 0), 1.0);
    EXPECT_EQ(timecodeWithTimeInterval(1.5, 0).stringValue(), "00:00:01:00");
    for (double t : {-0.5, -3600.0, std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()})
        EXPECT_EQ(timecodeWithTimeInterval(t, 25).stringValue(), "00:00:00:00") << t;
}

// Three hours at every common rate, frame by frame: the frame's time gives its time code, the
// time code gives back exactly that time, and the typed text of the issue lands on its frame.
TEST(TimeCodeConversions, EveryFrameRoundTripsExactlyAtEveryRate)
{
    for (float fps : {23.976f, 24.0f, 25.0f, 29.97f, 30.0f, 50.0f, 59.94f, 60.0f}) {
        const QMTimeCodeRate rate = qmTimeCodeRate(fps);
        int failures = 0;
        const std::uint64_t frames = std::uint64_t(3 * 3600 * rate.exact);
        for (std::uint64_t n = 0; n < frames && failures < 5; ++n) {
            const double t = double(n) / rate.exact;
            const QMTimeCode tc = timecodeWithTimeInterval(t, fps);
            const double back = secondsWithFrameRate(tc, fps);
            const std::uint64_t count = qmFrameCount(tc.hours(), tc.minutes(), tc.seconds(), tc.frames(), rate);
            if (count != n || std::fabs(back - t) > 1e-9 || timecodeWithTimeInterval(back, fps).stringValue() != tc.stringValue()) {
                ADD_FAILURE() << fps << " fps, frame " << n << ": " << tc.stringValue().toStdString() << " back "
                              << back << " s, count " << count;
                ++failures;
            }
        }
    }
    // 00:00:02;00 at 29.97 is frame 60, which starts at 2.002 s; 00:00:01;15 is frame 45.
    EXPECT_DOUBLE_EQ(secondsWithFrameRate(QMTimeCode::timecodeWithFrames(0, 2, 0, 0), 29.97f), 60 * 1001.0 / 30000.0);
    EXPECT_DOUBLE_EQ(secondsWithFrameRate(QMTimeCode::timecodeWithFrames(15, 1, 0, 0), 29.97f), 45 * 1001.0 / 30000.0);
    EXPECT_EQ(timecodeWithTimeInterval(60 * 1001.0 / 30000.0, 29.97f).stringValue(), "00:00:02:00");
    // Drop-frame: the minute after 00:00:59;29 starts at ;02, every tenth minute keeps ;00.
    EXPECT_EQ(timecodeWithTimeInterval(1800 * 1001.0 / 30000.0, 29.97f).stringValue(), "00:01:00:02");
    EXPECT_EQ(timecodeWithTimeInterval(17982 * 1001.0 / 30000.0, 29.97f).stringValue(), "00:10:00:00");
    EXPECT_EQ(timecodeWithTimeInterval(3600 * 1001.0 / 60000.0, 59.94f).stringValue(), "00:01:00:04");
    // An hour of 29.97 drop-frame time code is an hour of the clock, to the frame.
    EXPECT_NEAR(secondsWithFrameRate(QMTimeCode::timecodeWithFrames(0, 0, 0, 1), 29.97f), 3600.0, 0.04);
}

// A clip's length is its frame count, whether its container stated the seconds a hair short or
// long; the same seconds as a position fall in the frame before.
TEST(LengthText, AClipsLengthIsItsFramesHoweverItsSecondsWereRounded)
{
    // 360 frames at 29.97 are 12.012 s: a 1/600 s movie scale states 7207/600 s (rounded down) or
    // 7208/600 s (up), microseconds a hair either side.
    for (double seconds : {7207 / 600.0, 7208 / 600.0, 12.012, 12.011999, 12.012001}) {
        EXPECT_EQ(qmFramesInLength(seconds, 29.97), 360u) << seconds;
        EXPECT_EQ(KLVUtilities::formatLength(seconds, 29.97), "00:00:12;00") << seconds;
        EXPECT_EQ(timecodeWithLength(seconds, 29.97f).stringValue(), "00:00:12:00") << seconds;
    }
    EXPECT_EQ(KLVUtilities::formatCurrentTime(7207 / 600.0, 29.97), "00:00:11;29");
    // 720 frames at 59.94 stated short read 00:00:11;59 as a position, 00:00:12;00 as a length.
    EXPECT_EQ(KLVUtilities::formatCurrentTime(7207 / 600.0, 59.94), "00:00:11;59");
    EXPECT_EQ(KLVUtilities::formatLength(7207 / 600.0, 59.94), "00:00:12;00");
    // Drop-frame: ten minutes at 29.97 are 17982 frames, 00:10:00;00; a minute is 1798, 00:01:00;02.
    EXPECT_EQ(KLVUtilities::formatLength(17982 * 1001.0 / 30000.0 - 0.0004, 29.97), "00:10:00;00");
    EXPECT_EQ(qmFramesInLength(60.06, 29.97), 1800u);
    EXPECT_EQ(KLVUtilities::formatLength(1800 * 1001.0 / 30000.0, 29.97), "00:01:00;02");
    // A fifth of a frame short is the frame; a length ending well inside a frame (a point typed
    // with a fraction) counts the frame it ends in, as a position does.
    EXPECT_EQ(qmFramesInLength(8.0 - 0.2 / 25, 25), 200u);
    EXPECT_EQ(qmFramesInLength(8.0 + 0.49 / 25, 25), 200u);
    EXPECT_EQ(qmFramesInLength(8.0 - 0.49 / 25, 25), 199u);
    EXPECT_EQ(KLVUtilities::formatLength(10.5, 25), "00:00:10;12");
    // No length, or no rate to count in.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double seconds : {0.0, -1.0, nan, std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(qmFramesInLength(seconds, 25), 0u) << seconds;
        EXPECT_EQ(KLVUtilities::formatLength(seconds, 25), "00:00:00;00") << seconds;
        EXPECT_EQ(timecodeWithLength(seconds, 25).stringValue(), "00:00:00:00") << seconds;
    }
    EXPECT_EQ(qmFramesInLength(12.5, 0), 0u);
    EXPECT_EQ(KLVUtilities::formatLength(12.5, 0), "00:00:12;00");
    EXPECT_EQ(qmFramesInLength(1e300, 25), 9007199254740992u);
}

TEST(FormatCurrentTime, SignHoursAndFrames)
{
    EXPECT_EQ(KLVUtilities::formatCurrentTime(0, 30), "00:00:00;00");
    EXPECT_EQ(KLVUtilities::formatCurrentTime(-0.5, 30), "-00:00:00;15");
    EXPECT_EQ(KLVUtilities::formatCurrentTime(-3725.5, 30), "-01:02:05;15");
    EXPECT_EQ(KLVUtilities::formatCurrentTime(1.2, 25), "00:00:01;05");
    // At 29.97 the text names the frame a time falls in: 2.0 s is still frame 59.
    EXPECT_EQ(KLVUtilities::formatCurrentTime(2.0, 29.97), "00:00:01;29");
    EXPECT_EQ(KLVUtilities::formatCurrentTime(2.002, 29.97), "00:00:02;00");
    EXPECT_EQ(KLVUtilities::formatCurrentTime(2.5, 0), "00:00:02;00");
    EXPECT_EQ(KLVUtilities::formatCurrentTime(std::numeric_limits<double>::quiet_NaN(), 25), "00:00:00;00");
    EXPECT_EQ(KLVUtilities::formatCurrentTime(360000, 25), "100:00:00;00");
}

TEST(CenterAndScale, FitsAndMakesIntegral)
{
    EXPECT_EQ(KLVUtilities::centerAndScaleSize(QSizeF(1920, 1080), QRectF(0, 0, 400, 400)),
              QRectF(0, 87, 400, 226));
    EXPECT_EQ(KLVUtilities::centerAndScaleSize(QSizeF(1080, 1920), QRectF(10, 0, 400, 400)),
              QRectF(97, 0, 226, 400));
    // Nothing to fit: the rectangle itself, no division by zero.
    EXPECT_EQ(KLVUtilities::centerAndScaleSize(QSizeF(0, 0), QRectF(0.5, 0, 10, 10)), QRectF(0, 0, 11, 10));
}
