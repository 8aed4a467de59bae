#pragma once
// An RGBA image set from any thread (copied under `lock`) and uploaded by the render thread.
#include <cstdint>
#include <mutex>
#include <vector>

struct ssPendingImage {
    std::mutex lock;
    std::vector<uint8_t> pixels;
    int32_t width = 0, height = 0;
    bool fresh = false;
    // The render thread's own.
    uint32_t texture = 0;
    int32_t textureWidth = 0, textureHeight = 0;

    // Frees the texture: the render thread's context must be current when there is one.
    ~ssPendingImage();

    // Copies the pixels (an unusable image empties it); the caller holds `lock`.
    void Set(int32_t w, int32_t h, const uint8_t* rgba);
    // Render thread: uploads the image when it is new; an empty one takes the texture away.
    void Upload();
    // Render thread: frees the texture and keeps the image in memory again, so the next Upload
    // (in a new context) shows the same pixels.
    void Release();
};
