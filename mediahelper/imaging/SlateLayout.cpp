#include "mediahelper/imaging/SlateLayout.h"

namespace {
constexpr double kDesignWidth = 1920;
constexpr double kDesignHeight = 1080;
} // namespace

SlateLayout slateLayout(double W, double H)
{
    SlateLayout l;
    l.width = W;
    l.height = H;
    l.sx = W / kDesignWidth;
    l.sy = H / kDesignHeight;
    l.margin = 17 * l.sx;
    l.gap = 9 * l.sx;
    l.content = {0.05 * W, 0.1 * H, 0.9 * W, 0.8 * H};
    l.panel = {0.05 * W, 0.5 * H, 0.9 * W, 0.4 * H};
    l.background = {-0.1 * W, -0.1 * H, 1.2 * W, 1.2 * H};
    l.frameWidth = (0.9 * W - 2 * l.gap) / 3;
    l.frameHeight = W > 0 ? l.frameWidth * H / W : 0;
    for (int k = 0; k < 3; ++k) {
        const double x = 0.05 * W + k * (l.frameWidth + l.gap);
        l.frames[std::size_t(k)] = {x, 0.1 * H, l.frameWidth, l.frameHeight};
        l.framesWithReflection[std::size_t(k)] = {x, 0.1 * H - l.reflectionFraction * l.frameHeight, l.frameWidth,
                                                  l.frameHeight * (1 + l.reflectionFraction)};
    }
    l.titleFontSize = 120 * l.sy;
    l.durationFontSize = 100 * l.sy;
    l.infoFontSize = 52 * l.sy;
    l.textLeft = 0.05 * W + l.margin;
    l.textTop = 0.9 * H;
    l.textMaxWidth = 0.9 * W - 2 * l.margin;
    l.rightEdge = 0.95 * W - l.margin;
    l.rightColumnBottom = 0.5 * H + l.margin;
    return l;
}

QRectF toTopLeft(const SlateRect& rect, double canvasHeight)
{
    return QRectF(rect.x, canvasHeight - rect.y - rect.height, rect.width, rect.height);
}
