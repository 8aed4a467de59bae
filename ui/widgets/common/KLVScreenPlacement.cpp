#include "ui/widgets/common/KLVScreenPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace KLVScreenPlacement {

namespace {

QRect availableAround(const QPoint& point, const QWidget& widget)
{
    QScreen* screen = QGuiApplication::screenAt(point);
    if (!screen)
        screen = widget.screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

// Into [low, high - length]; a popup longer than the range starts at low.
int clampInto(int value, int length, int low, int high)
{
    return std::max(low, std::min(value, high - length));
}

} // namespace

QPoint besideAnchor(const QRect& anchor, const QSize& size, const QRect& available)
{
    if (!available.isValid())
        return QPoint(anchor.right() + 1, anchor.top());
    const int right = available.x() + available.width();
    int x = anchor.right() + 1;
    if (x + size.width() > right && anchor.left() - size.width() >= available.x())
        x = anchor.left() - size.width();
    x = clampInto(x, size.width(), available.x(), right);
    const int y = clampInto(anchor.top(), size.height(), available.y(), available.y() + available.height());
    return {x, y};
}

QPoint besideAnchor(const QWidget& anchor, const QSize& size)
{
    const QRect global(anchor.mapToGlobal(QPoint(0, 0)), anchor.size());
    return besideAnchor(global, size, availableAround(global.center(), anchor));
}

void keepOnScreen(QWidget& window)
{
    const QRect frame = window.frameGeometry();
    const QRect available = availableAround(frame.center(), window);
    if (!available.isValid())
        return;
    const int x = clampInto(frame.x(), frame.width(), available.x(), available.x() + available.width());
    const int y = clampInto(frame.y(), frame.height(), available.y(), available.y() + available.height());
    if (x != frame.x() || y != frame.y())
        window.move(window.pos() + QPoint(x - frame.x(), y - frame.y()));
}

} // namespace KLVScreenPlacement
