#pragma once
// One video mode of an output device.

#include <cstdint>

struct outputMode {
    char name[64] = {}; // UTF-8, NUL-terminated, at most 63 bytes
    int32_t width = 0;
    int32_t height = 0;
    float frameRate = 0.0f; // frames per second
    int32_t interlaced = 0; // 1 unless the mode is progressive
};

// Copies a UTF-8 text into a fixed field, cut at a character boundary so the field stays valid.
void ssCopyName(char* field, int32_t size, const char* text);
