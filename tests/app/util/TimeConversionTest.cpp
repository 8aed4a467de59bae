#include "app/util/KLVUtilities.h"
#include "app/util/QMTimeCodeConversions.h"

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

// Three hours at every common rate: for each frame, seconds -> time code -> seconds -> time
// code gives the same time code, and the first conversion lands on the frame itself.
TEST(TimeCodeConversions, ThreeHourSweepIsStableAtEveryFrame)
{
    for (float fps : {23.976f, 24.0f, 25.0f, 29.97f, 30.0f, 50.0f, 59.94f, 60.0f}) {
        const std::int64_t perSecond = std::int64_t(std::ceil(fps));
        int failures = 0;
        for (std::int64_t second = 0; second < 3 * 3600 && failures < 5; ++second) {
            for (std::int64_t frame = 0; frame < perSecond; ++frame) {
                if (double(frame) >= double(fps))
                    break; // 29.97 has 30 frame numbers only where they fit in the second
                const double t = double(second) + double(frame) / double(fps);
                const QMTimeCode first = timecodeWithTimeInterval(t, fps);
                const QMTimeCode second2 = timecodeWithTimeInterval(secondsWithFrameRate(first, fps), fps);
                const std::uint64_t s = first.hours() * 3600 + first.minutes() * 60 + first.seconds();
                if (s != std::uint64_t(second) || first.frames() != std::uint64_t(frame)
                    || first.stringValue() != second2.stringValue()) {
                    ADD_FAILURE() << fps << " fps, " << second << " s frame " << frame << ": "
                                  << first.stringValue().toStdString() << " then "
                                  << second2.stringValue().toStdString();
                    ++failures;
                }
            }
        }
    }
}

TEST(FormatCurrentTime, SignHoursAndFrames)
{
    EXPECT_EQ(KLVUtilities::formatCurrentTime(0, 30), "00:00:00;00");
    EXPECT_EQ(KLVUtilities::formatCurrentTime(-0.5, 30), "-00:00:00;15");
    EXPECT_EQ(KLVUtilities::formatCurrentTime(-3725.5, 30), "-01:02:05;15");
    EXPECT_EQ(KLVUtilities::formatCurrentTime(1.2, 25), "00:00:01;05");
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
