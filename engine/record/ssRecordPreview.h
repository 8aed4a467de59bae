#pragma once

#include "engine/display/ssShader.h"

#include <cstdint>
#include <memory>
#include <string>

class ssDisplayGL;
class ssFont;
struct ssCaptureFrame;

// The record encoder's drawing: the newest input frame letter-boxed beside the audio meters,
// "No Input Signal" when the input stays empty, and a border coloured by buffer health. Draws into
// whatever GL context is current (the channel view's); made and used on that thread only.
class ssRecordPreview {
public:
    explicit ssRecordPreview(const char* resourceDirectory);
    ~ssRecordPreview();
    ssRecordPreview(const ssRecordPreview&) = delete;
    ssRecordPreview& operator=(const ssRecordPreview&) = delete;

    // Into the viewport (x, y, width, height) of the current context, whatever viewport was set
    // before. frame: a new frame to show (null: show the last one again). Returns 1 when "No
    // Input Signal" was drawn, else 0. health: 0 fine, 1 low (yellow border), 2 critical (red).
    // The meters are the playback preview's (levels in dB, up to 16 channels).
    int32_t Draw(const ssCaptureFrame* frame, bool noSignal, const float* decibels, int32_t channels, int32_t health,
                 float x, float y, float width, float height);

private:
    void Prepare(float width, float height);
    void Upload(const ssCaptureFrame* frame);

    std::string resourceDirectory_;
    std::unique_ptr<ssDisplayGL> display_;
    ssFont* font_ = nullptr;
    ssShader shader_{};
    bool shaderTried_ = false;
    uint32_t texture_ = 0;
    int32_t textureWidth_ = 0;
    int32_t textureHeight_ = 0;
    bool haveFrame_ = false;
};
