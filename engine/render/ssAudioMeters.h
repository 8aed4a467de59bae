#pragma once
// Audio level meters: the mean-square accumulators fed by the audio path, the dB scale and
// zones, the layout by channel count, and the GL drawing.
#include "engine/render/ssRenderTypes.h"

#include <array>
#include <atomic>
#include <cstdint>

// Fractions of the meter's span where the zones end: -28 dB and -16.75 dB on a scale from
// -100 dB (bottom) to -10 dB (top).
inline constexpr double ssMeterGreenEnd = 0.8;
inline constexpr double ssMeterYellowEnd = 0.925;

// Fraction of the span a level in dB reaches (not clamped).
double ssMeterFraction(double levelDb);

// Where the meters of n channels go: one to four meters of four bars.
struct ssMeterPlacement {
    int firstChannel = 0;
    bool rightEdge = false;
    bool topHalf = false;
    bool halfHeight = false;
};
// Number of meters for n channels (0 above 16); fills `out` (up to four).
int ssMeterLayout(int channelCount, ssMeterPlacement out[4]);

// Per-channel mean-square levels of 32-bit samples. Written by the audio thread, read by the
// preview; each value is atomic.
class ssMeterAccumulators
{
public:
    ssMeterAccumulators();
    // Copies the samples (count channels, interleaved) into `out` at channels first..first+count
    // of its 8-channel frames (32 bytes each), and updates the accumulators of those channels.
    // Channels beyond the 8-channel frame are not copied and beyond the accumulators not measured.
    void AccumulateMeterLevels(int32_t* out, const int32_t* samples, int32_t frames, int32_t first, int32_t count);
    // Every level falls as it would over `frames` frames of silence.
    void Decay(int32_t frames);
    double Get(int channel) const;
    // 20 x log10(accumulator + 0.00001).
    double GetDb(int channel) const;
    void Reset();

private:
    std::array<std::atomic<double>, ssRenderMeterChannels> levels_;
};

// Fills the rectangle (x0, y0)-(x1, y1) in the current colour with the fixed-function pipeline;
// an empty or inverted rectangle draws nothing.
void ssFillRect(float x0, float y0, float x1, float y1);

// Width of one meter strip of a preview, in pixels.
inline constexpr int ssPreviewMeterStripPixels = 13;

// The meters of a channel preview (playback and record alike), in GL units of the current
// viewport of viewWidth x viewHeight pixels: one to four 13-pixel strips of four bars laid out by
// channel count (ssMeterLayout). Returns the left edge of the room right of the left-hand strips.
float ssDrawPreviewMeters(int channelCount, const double* levelsDb, float viewWidth, float viewHeight);

// Draws one meter of `bars` bars: background zones, the level bars, then the grid. Coordinates
// are GL units (-1..1) of the current viewport; pixelHeight is the meter's height in pixels.
void ssDrawAudioMeters(int bars, const double* levelsDb, float left, float bottom, float stripWidth,
    float pixelHeight, float top);
