#pragma once
// The one way the engine sets up a rectangle texture of packed texels: RGBA8 storage filled from
// BGRA / UNSIGNED_INT_8_8_8_8_REV bytes (so packed 4:2:2 reads as Cr, Y0, Cb, Y1), clamped at the edges.

#include <cstdint>

// Makes *texture when it is 0, then (re)allocates it at width x height texels from pixels (null:
// undefined contents) with filter (GL_NEAREST or GL_LINEAR) both ways. Leaves no texture bound.
void ssAllocateRectangleTexture(uint32_t* texture, int32_t width, int32_t height, int32_t filter, const void* pixels);
