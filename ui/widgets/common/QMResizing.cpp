#include "ui/widgets/common/QMResizing.h"

#include <QPropertyAnimation>
#include <QWidget>

namespace QMResizing {
namespace {

constexpr int kAnimationMs = 200;

void setFrame(QWidget* window, const QRect& frame, bool animate)
{
    if (!window)
        return;
    if (!animate || !window->isVisible()) {
        window->setGeometry(frame);
        return;
    }
    auto* animation = new QPropertyAnimation(window, "geometry", window);
    animation->setDuration(kAnimationMs);
    animation->setEndValue(frame);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

} // namespace

QRect topAlignedFrame(const QRect& frame, const QSize& size)
{
    const int x = frame.x() - (size.width() - frame.width()) / 2;
    return {x, frame.y(), size.width(), size.height()};
}

QRect frameResizedBy(const QRect& frame, const QSize& delta)
{
    return {frame.topLeft(), frame.size() + delta};
}

void resizeWindowTopAlignedWithRect(QWidget* window, const QRect& rect, bool animate)
{
    if (window)
        setFrame(window, topAlignedFrame(window->geometry(), rect.size()), animate);
}

void resizeWindowBy(QWidget* window, const QSize& delta, bool animate)
{
    if (window)
        setFrame(window, frameResizedBy(window->geometry(), delta), animate);
}

} // namespace QMResizing
