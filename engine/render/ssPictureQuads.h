#pragma once
// The quads that place a decoded picture, kept as display lists: the whole frame into its
// intermediate, and the letter- or pillar-boxed picture into the output raster. Placement is set
// from any thread; the lists are rebuilt on the render thread at their next use.
#include <atomic>
#include <cstdint>

// A quad over x0..x1, y0..y1 (normalised device units) with texture coordinates s0..s1, t0..t1;
// t0 goes with y0, which is the top of the picture in the engine's targets.
void ssDrawQuad(float x0, float y0, float x1, float y1, float s0, float t0, float s1, float t1);

class ssPictureQuads
{
public:
    ~ssPictureQuads() { Release(); }

    // Render thread: frees the lists; the next Build makes them again.
    void Release();

    // Any thread.
    void SetDisplaySize(int32_t width, int32_t height);
    void SetAnamorphic(int32_t flag);
    void Invalidate() { valid_.store(false); }

    // Rebuilds the lists for pictures of frameWidth x frameHeight when anything changed; t0 moves
    // the picture down by whole lines (486-line outputs).
    void Build(int32_t frameWidth, int32_t frameHeight, float t0, int32_t outputWidth, int32_t outputHeight);
    void DrawFullFrame() const;
    void DrawLetterboxed() const;
    // The picture covers the whole output raster.
    bool LetterboxFills() const { return letterboxFills_; }

private:
    uint32_t fullFrameList_ = 0;
    uint32_t letterboxList_ = 0;
    std::atomic<bool> valid_{false};
    float t0_ = 0.0f;
    int32_t width_ = 0, height_ = 0;
    bool letterboxFills_ = false;
    std::atomic<int32_t> displayWidth_{0};
    std::atomic<int32_t> displayHeight_{0};
    std::atomic<int32_t> anamorphic_{0};
};
