#pragma once
// Whether a movie is deinterlaced (one decoded frame gives two output frames) or interlaced (two
// decoded frames give one output frame) for an output mode. Logs each decision.
#include <cstdint>

struct ssInterlaceDecision {
    int32_t deinterlaceMode = 0; // 0 off, else field order - 1 (1 TT, 2 BB, 3 TB, 4 BT)
    int32_t interlaceFlag = 0;
};

// fieldOrder: the decoder's value (0 unknown, 1 progressive, 2 TT, 3 BB, 4 TB, 5 BT); movieRate
// the stream's average frame rate, outputRate the output's.
ssInterlaceDecision ssDecideInterlace(int32_t fieldOrder, int32_t movieHeight, double movieRate,
    int32_t outputInterlaced, int32_t outputHeight, double outputRate);
