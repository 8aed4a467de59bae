#pragma once
// Where everything on a slate goes, for a canvas of the clip's display size. Designed on a
// 1920 x 1080 canvas and scaled: margins and gaps by width / 1920, font sizes by height / 1080.
// Rectangles have their origin at the LOWER left corner, y growing upward; toTopLeft converts
// one for drawing.

#include <QRectF>

#include <array>

struct SlateRect {
    double x = 0;
    double y = 0; // bottom edge
    double width = 0;
    double height = 0;
};

struct SlateLayout {
    double width = 0;  // W
    double height = 0; // H
    double sx = 0;     // W / 1920
    double sy = 0;     // H / 1080
    double margin = 0; // m: text margin inside the content rectangle
    double gap = 0;    // g: between the three frames
    SlateRect content;    // C
    SlateRect panel;      // P: the darkened text panel, upper half of C
    SlateRect background; // where the blurred first frame goes, a tenth past every edge
    double frameWidth = 0;
    double frameHeight = 0;
    double reflectionFraction = 0.25;
    std::array<SlateRect, 3> frames;              // the pictures themselves
    std::array<SlateRect, 3> framesWithReflection; // picture plus the reflection hanging below
    double blurRadius = 8;
    double darkeningAlpha = 0.3;
    double titleFontSize = 0;    // starting size; lowered while the title does not fit
    double durationFontSize = 0;
    double infoFontSize = 0;     // starting size of the path line, size of the other two
    double textLeft = 0;         // left edge of title and duration
    double textTop = 0;          // top edge of the title
    double textMaxWidth = 0;     // widest title or path line
    double rightEdge = 0;        // right edge of the info column
    double rightColumnBottom = 0; // bottom of the first (path) line
};

SlateLayout slateLayout(double width, double height);

// The same rectangle with a top-left origin on a canvas of canvasHeight.
QRectF toTopLeft(const SlateRect& rect, double canvasHeight);
