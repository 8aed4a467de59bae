#include "engine/render/ssAudioMeters.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>

namespace {
// The per-frame fall of a level that no louder sample holds up.
constexpr double kFall = 0.99838965;
// Far below the meters' -100 dB floor. A level that falls under it is 0: otherwise a silent meter
// sinks into subnormal numbers and stays there, each of its multiplies many times slower, for every
// frame of every block of every card.
constexpr double kUnseen = 1e-20;

double fallen(double level)
{
    level *= kFall;
    return level < kUnseen ? 0.0 : level;
}
} // namespace

double ssMeterFraction(double levelDb)
{
    return (levelDb + 100.0) / 90.0;
}

int ssMeterLayout(int channelCount, ssMeterPlacement out[4])
{
    if (channelCount <= 4) {
        out[0] = {0, false, false, false};
        return 1;
    }
    if (channelCount <= 8) {
        out[0] = {0, false, false, false};
        out[1] = {4, true, false, false};
        return 2;
    }
    if (channelCount <= 16) {
        out[0] = {0, false, true, true};
        out[1] = {4, false, false, true};
        out[2] = {8, true, true, true};
        out[3] = {12, true, false, true};
        return 4;
    }
    return 0;
}

ssMeterAccumulators::ssMeterAccumulators()
{
    Reset();
}

void ssMeterAccumulators::Reset()
{
    for (auto& level : levels_)
        level.store(0.0, std::memory_order_relaxed);
}

void ssMeterAccumulators::AccumulateMeterLevels(int32_t* out, const int32_t* samples, int32_t frames, int32_t first,
    int32_t count)
{
    constexpr int frameChannels = 8; // 32 bytes per output frame
    if (!samples || frames <= 0 || count <= 0 || first < 0)
        return;
    for (int32_t f = 0; f < frames; ++f) {
        const int32_t* in = samples + size_t(f) * size_t(count);
        for (int32_t c = 0; c < count; ++c) {
            const int32_t channel = first + c;
            if (out && channel < frameChannels)
                out[size_t(f) * frameChannels + size_t(channel)] = in[c];
        }
    }
    for (int32_t c = 0; c < count && first + c < ssRenderMeterChannels; ++c) {
        double level = levels_[size_t(first + c)].load(std::memory_order_relaxed);
        for (int32_t f = 0; f < frames; ++f) {
            const double s = double(samples[size_t(f) * size_t(count) + size_t(c)]) * (1.0 / 1073741824.0);
            const double p = s * s;
            level = p > level ? level * (255.0 / 256.0) + p / 256.0 : fallen(level);
        }
        levels_[size_t(first + c)].store(level, std::memory_order_relaxed);
    }
}

void ssMeterAccumulators::Decay(int32_t frames)
{
    for (auto& stored : levels_) {
        double level = stored.load(std::memory_order_relaxed);
        // Step by step, as a block of zero samples would take it.
        for (int32_t f = 0; f < frames && level != 0.0; ++f)
            level = fallen(level);
        stored.store(level, std::memory_order_relaxed);
    }
}

double ssMeterAccumulators::Get(int channel) const
{
    if (channel < 0 || channel >= ssRenderMeterChannels)
        return 0.0;
    return levels_[size_t(channel)].load(std::memory_order_relaxed);
}

double ssMeterAccumulators::GetDb(int channel) const
{
    return 20.0 * std::log10(Get(channel) + 0.00001);
}

void ssFillRect(float x0, float y0, float x1, float y1)
{
    if (y1 <= y0 || x1 <= x0)
        return;
    glBegin(GL_QUADS);
    glVertex2f(x0, y0);
    glVertex2f(x1, y0);
    glVertex2f(x1, y1);
    glVertex2f(x0, y1);
    glEnd();
}

void ssDrawAudioMeters(int bars, const double* levelsDb, float left, float bottom, float stripWidth,
    float pixelHeight, float top)
{
    const float span = top - bottom;
    const float greenTop = bottom + float(ssMeterGreenEnd) * span;
    const float yellowTop = bottom + float(ssMeterYellowEnd) * span;
    const float right = left + stripWidth;
    glUseProgram(0);
    glDisable(GL_TEXTURE_RECTANGLE);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glColor3f(0.02f, 0.2397f, 0.02f);
    ssFillRect(left, bottom, right, greenTop);
    glColor3f(0.4f, 0.4f, 0.02f);
    ssFillRect(left, greenTop, right, yellowTop);
    glColor3f(0.2397f, 0.02f, 0.02f);
    ssFillRect(left, yellowTop, right, top);

    const float barWidth = stripWidth / 4.0f;
    const float pitch = stripWidth * 3.0f / 13.0f;
    for (int b = 0; b < bars; ++b) {
        const float level = bottom + float(ssMeterFraction(levelsDb[b])) * span;
        const float x0 = left + pitch * float(b);
        const float x1 = x0 + barWidth;
        glColor3f(0.02f, 0.97f, 0.02f);
        ssFillRect(x0, bottom, x1, std::min(level, greenTop));
        if (level >= greenTop) {
            glColor3f(0.97f, 0.97f, 0.02f);
            ssFillRect(x0, greenTop, x1, std::min(level, yellowTop));
        }
        if (level >= yellowTop) {
            glColor3f(0.97f, 0.02f, 0.02f);
            ssFillRect(x0, yellowTop, x1, level);
        }
    }

    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0.02f, 0.02f, 0.02f, 0.7f);
    glLineWidth(1.0f);
    glBegin(GL_LINES);
    for (int i = 0; i < 4; ++i) {
        const float x = left + pitch * float(i);
        glVertex2f(x, bottom);
        glVertex2f(x, top);
    }
    if (pixelHeight > 0.0f) {
        const float tick = 3.0f * span / pixelHeight;
        for (float y = bottom; y <= top; y += tick) {
            glVertex2f(left, y);
            glVertex2f(right, y);
        }
    }
    glEnd();
    glDisable(GL_BLEND);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
}

float ssDrawPreviewMeters(int channelCount, const double* levelsDb, float viewWidth, float viewHeight)
{
    const float strip = 2.0f * float(ssPreviewMeterStripPixels) / viewWidth;
    ssMeterPlacement placements[4];
    const int meters = levelsDb ? ssMeterLayout(channelCount, placements) : 0;
    for (int i = 0; i < meters; ++i) {
        const ssMeterPlacement& m = placements[i];
        double levels[4];
        for (int b = 0; b < 4; ++b) {
            const int channel = m.firstChannel + b;
            levels[b] = channel < channelCount ? levelsDb[channel] : -100.0;
        }
        const float left = m.rightEdge ? 1.0f - strip : -1.0f;
        const float bottom = m.halfHeight ? (m.topHalf ? 0.0f : -1.0f) : -1.0f;
        const float top = m.halfHeight ? (m.topHalf ? 1.0f : 0.0f) : 1.0f;
        const float pixels = m.halfHeight ? viewHeight / 2.0f : viewHeight;
        ssDrawAudioMeters(4, levels, left, bottom, strip, pixels, top);
    }
    return -1.0f + strip;
}
