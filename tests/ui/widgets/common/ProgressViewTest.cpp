#include "ui/widgets/common/QMProgressView.h"

#include <QTest>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct RecordingDelegate final : QMProgressViewDelegate {
    std::vector<std::string> calls;
    double lastSeek = -1;
    double lastIn = -1, lastOut = -1;
    bool lastOption = false;
    void playFromSeek() override { calls.push_back("playFromSeek"); }
    void updateInOutPoints(QMProgressBar& bar) override
    {
        calls.push_back("updateInOutPoints");
        lastIn = bar.inValue();
        lastOut = bar.outValue();
    }
    void pauseForSeek() override { calls.push_back("pauseForSeek"); }
    void seek(double value, bool optionHeld) override
    {
        calls.push_back("seek");
        lastSeek = value;
        lastOption = optionHeld;
    }
};

// x of a fraction of the bar of a 208-wide view (bar starts at 5 and is 198 wide).
int barX(double fraction) { return static_cast<int>(5 + fraction * 198 + 0.5); }

} // namespace

TEST(ProgressView, GeometryOfBarKnobAndHandles)
{
    QMProgressView view;
    view.resize(208, 16);
    EXPECT_EQ(view.backgroundBarRect(), QRectF(5, 2, 198, 12));
    EXPECT_EQ(view.backgroundBarFrameRect(), QRectF(5.25, 2.25, 197.5, 11.5));
    EXPECT_EQ(view.knobSize(), QSizeF(8, 14));

    view.setType(1);
    view.setMaxValue(100);
    view.setOutValue(0); // zero means "to the end": stored as the maximum
    EXPECT_DOUBLE_EQ(view.outValue(), 100);
    view.setInValue(25);
    EXPECT_EQ(view.inPointRect(), QRectF(5 + 49.5 - 1, 2, 2, 12));
    EXPECT_EQ(view.outPointRect(), QRectF(5 + 198 - 1, 2, 2, 12));
    view.setDoubleValue(50);
    EXPECT_EQ(view.knobRect(), QRectF(5 + 99 - 4, 1, 8, 14));
    EXPECT_DOUBLE_EQ(view.progressBarRect().x(), 5 + 49.5 + 1);
    EXPECT_DOUBLE_EQ(view.progressBarRect().width(), 99 - 50.5);
    // A position before the in handle draws no progress rather than a negative one.
    view.setDoubleValue(10);
    EXPECT_DOUBLE_EQ(view.progressBarRect().width(), 0);

    // No maximum: nothing to draw but the bar.
    view.setMaxValue(0);
    EXPECT_TRUE(view.knobRect().isNull());
    EXPECT_TRUE(view.inPointRect().isNull());
}

TEST(ProgressView, WithoutHandlesTheAbsoluteValueIsDrawnFromTheInPoint)
{
    QMProgressView view;
    view.resize(208, 16);
    // A channel's range 10..30 s: maximum is the length, value and in point absolute.
    view.setInValue(10);
    view.setMaxValue(20);
    view.setDoubleValue(20);
    EXPECT_DOUBLE_EQ(view.progressBarRect().width(), 99);
    EXPECT_DOUBLE_EQ(view.knobRect().x(), 5 + 99 - 4);
    view.setDoubleValue(10);
    EXPECT_DOUBLE_EQ(view.progressBarRect().width(), 0);
    view.setDoubleValue(5);
    EXPECT_DOUBLE_EQ(view.progressBarRect().width(), 0);
    view.setDoubleValue(45);
    EXPECT_DOUBLE_EQ(view.progressBarRect().width(), 198);
    EXPECT_TRUE(view.inPointRect().isNull());
}

TEST(ProgressView, ScrubbingReportsAbsolutePositionsAndResumesOnRelease)
{
    QMProgressView view;
    view.resize(208, 16);
    RecordingDelegate d;
    view.setDelegate(&d);
    view.setInValue(10);
    view.setMaxValue(20);
    view.setDoubleValue(10);

    // A click away from the knob jumps there and scrubs from it.
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, QPoint(barX(0.5), 8));
    EXPECT_EQ(d.calls, (std::vector<std::string>{"pauseForSeek", "seek"}));
    EXPECT_NEAR(d.lastSeek, 20, 0.06);
    EXPECT_TRUE(view.isDragging());
    EXPECT_EQ(view.handle(), QMProgressView::Knob);
    QTest::mouseMove(&view, QPoint(barX(1.0) + 30, 8));
    EXPECT_NEAR(d.lastSeek, 30, 1e-9); // clamped to the bar's end
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, QPoint(barX(1.0), 8));
    EXPECT_EQ(d.calls.back(), "playFromSeek");
    EXPECT_FALSE(view.isDragging());
    EXPECT_EQ(view.handle(), QMProgressView::None);

    // The Option key travels with the seek (a master moves its slaves).
    d.calls.clear();
    QTest::mousePress(&view, Qt::LeftButton, Qt::AltModifier, QPoint(barX(0.25), 8));
    EXPECT_TRUE(d.lastOption);
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::AltModifier, QPoint(barX(0.25), 8));
}

TEST(ProgressView, HandleDragsReachTheDelegate)
{
    QMProgressView view;
    view.resize(208, 16);
    view.setType(1);
    RecordingDelegate d;
    view.setDelegate(&d);
    view.setMaxValue(100);
    view.setInValue(20);
    view.setOutValue(80);
    view.setDoubleValue(50);

    const int inX = static_cast<int>(view.inPointRect().center().x());
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, QPoint(inX, 8));
    EXPECT_EQ(view.handle(), QMProgressView::InHandle);
    QTest::mouseMove(&view, QPoint(barX(0.3), 8));
    EXPECT_EQ(d.calls, (std::vector<std::string>{"updateInOutPoints"}));
    EXPECT_NEAR(d.lastIn, 30, 0.3);
    EXPECT_DOUBLE_EQ(d.lastOut, 80);
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, QPoint(barX(0.3), 8));
    EXPECT_EQ(d.calls.back(), "playFromSeek");
    EXPECT_DOUBLE_EQ(view.doubleValue(), 50); // a handle drag never moves the position

    d.calls.clear();
    const int outX = static_cast<int>(view.outPointRect().center().x());
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, QPoint(outX, 8));
    QTest::mouseMove(&view, QPoint(barX(0.9), 8));
    EXPECT_NEAR(d.lastOut, 90, 0.3);
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, QPoint(barX(0.9), 8));

    // With handles the position is absolute (no in-point offset).
    d.calls.clear();
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, QPoint(barX(0.6), 8));
    EXPECT_NEAR(d.lastSeek, 60, 0.3);
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, QPoint(barX(0.6), 8));
}

// The position is set ten times a second on every loaded channel; a cued one that stands still
// must not repaint its bar each time.
TEST(ProgressView, AnUnchangedPositionRepaintsNothing)
{
    struct PaintCounter final : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            paints += event->type() == QEvent::Paint ? 1 : 0;
            return false;
        }
    } counter;
    QMProgressView view;
    view.resize(208, 16);
    view.setType(1);
    view.setMaxValue(100);
    view.setDoubleValue(40);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QTest::qWait(50);
    view.installEventFilter(&counter);
    for (int tick = 0; tick < 5; ++tick) {
        view.setDoubleValue(40);
        QTest::qWait(20);
    }
    EXPECT_EQ(counter.paints, 0);
    view.setDoubleValue(41);
    EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints > 0; }, 2000));
}
