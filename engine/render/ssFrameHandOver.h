#pragma once
// Handing an output slot over once it is drawn: to a screen output, which draws the slot's
// texture from another context, or to a card, which gets the packed bytes read back.
#include <cstdint>

struct ssRenderSlot;

// Render thread: fences the drawing so far and flushes, so another context can wait for it.
void ssPublishSlot(ssRenderSlot* slot);
// Render thread: reads the bound packed raster of an output of W x H into the slot's bytes,
// unbinds it, records the picture's size and publishes the slot.
void ssReadBackSlot(ssRenderSlot* slot, int32_t outputWidth, int32_t outputHeight, int32_t pictureWidth,
    int32_t pictureHeight);
// The calling context waits on the GPU for the slot's drawing; its texture (a screen's frame or a
// card's preview copy), 0 for none.
uint32_t ssAcquireSlotTexture(ssRenderSlot* slot);
