#pragma once
// What a screen output takes from the engine that plays to it.

#include <cstdint>

class ssDisplayGL;

class ssScreenSource {
public:
    virtual ~ssScreenSource() = default;
    // The ring slot of the frame to present now, or -1 when no new frame is due. Out: the frame's
    // size and the playback thread's state (3: stopped).
    virtual int32_t GetFrameForOutput(int32_t* frameWidth, int32_t* frameHeight, int32_t* state) = 0;
    // The rectangle texture (Y, Cb, Cr, A at full resolution) of a slot GetFrameForOutput named.
    virtual uint32_t GetFrameTexture(int32_t slot) = 0;
    // The engine's display, used when the output was given none.
    virtual ssDisplayGL* GetDisplay() = 0;
};
