#pragma once
// Where the picture lands in the output raster.

// Margins in normalised device units of one side's share: the quad spans x from
// horizontal - 1 to 1 - horizontal and y from vertical - 1 to 1 - vertical.
struct ssLetterboxMargins {
    double horizontal = 0.0;
    double vertical = 0.0;
};

// With the anamorphic flag the picture keeps its display aspect (pillar- or letter-boxed);
// without it, it is stretched to fill the output.
ssLetterboxMargins ssComputeLetterbox(int anamorphic, int outputWidth, int outputHeight, int displayWidth,
    int displayHeight);
