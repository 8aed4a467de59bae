#pragma once
// A disc (bokeh) blur: every pixel becomes the mean of the pixels within `radius` of it; pixels
// past the edges repeat the edge. Cost per pixel grows with the radius, not its square (row
// prefix sums).

#include <QImage>

QImage discBlur(const QImage& source, int radius);
