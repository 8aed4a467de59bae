#include "EngineHarness.h"

#include "platform/audio/AudioOutputHub.h"
#include "platform/clock/ManualClock.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/WaitUntil.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

EngineHarness::EngineHarness(int32_t kind, int32_t outputWidth, int32_t outputHeight)
{
    // The clock is made before the hub so that it outlives the hub's sink thread at exit.
    platform::ManualClock& manual = clock();
    platform::AudioOutputHub::shared().selectBackend(platform::AudioOutputHub::Backend::Null, &manual);
    static struct Silence final : platform::AudioVoiceSource {
        void renderVoice(int32_t*, int, int) override {}
    } silence;
    pacer_ = platform::AudioOutputHub::shared().addVoice(&silence, 1);
    // The build folder holds the resources as an installed base would.
    const char* build = std::getenv("KLV_BINARY_DIR");
    engine_ = std::make_unique<ssMediaDecoder3>(build ? build : ".", nullptr);
    reader_ = ssGLContext::CreateEngineContext();
    // Cued clips show their pictures, not the slate, unless a test asks for it.
    engine_->SetShowSlate(0);
    ssOutputFormat format{kind, outputWidth, outputHeight, 0, 60.0f};
    engine_->SetOutputFormat(&format);
}

EngineHarness::~EngineHarness()
{
    engine_.reset();
    platform::AudioOutputHub::shared().removeVoice(pacer_);
}

platform::ManualClock& EngineHarness::clock()
{
    static platform::ManualClock manual;
    return manual;
}

int32_t EngineHarness::open(const std::string& clipName, bool hasPreview)
{
    return engine_->Open(testsupport::mediaPath(clipName).toStdString().c_str(), hasPreview);
}

bool EngineHarness::step()
{
    return clock().step(10'000'000, 1);
}

std::optional<uint32_t> EngineHarness::present()
{
    int32_t width = 0, height = 0, displayWidth = 0, displayHeight = 0, state = 0;
    int32_t index = engine_->GetFrameForOutput(&width, &height, &displayWidth, &displayHeight, &state);
    if (index < 0)
        return std::nullopt;
    return barcodeOf(index);
}

std::optional<uint32_t> EngineHarness::barcodeOf(int32_t slot)
{
    int32_t width = 0, height = 0;
    std::vector<uint8_t> pixels = pixelsOf(slot, &width, &height);
    if (pixels.empty())
        return std::nullopt;
    return testsupport::FrameBarcode::read(pixels.data(), width, height, width * 2,
                                           testsupport::BarcodePixels::Uyvy422);
}

std::vector<uint8_t> EngineHarness::pixelsOf(int32_t slot, int32_t* width, int32_t* height)
{
    const ssFrameTarget* frame = engine_->GetFrameTarget(slot);
    if (!frame)
        return {};
    if (frame->pixels) {
        // A card's frame: the output raster, read back by the render thread.
        *width = frame->rowBytes / 2;
        *height = int32_t(frame->byteSize / size_t(frame->rowBytes));
        return {frame->pixels, frame->pixels + frame->byteSize};
    }
    if (!reader_)
        return {};
    // A screen's frame stays on the GPU: read it in a context of our own, as the screen would.
    std::lock_guard hold(readerLock_);
    ssGLCurrent current(*reader_);
    if (!current.ok())
        return {};
    const uint32_t texture = engine_->AcquireFrameTexture(slot);
    *width = frame->width;
    *height = frame->height;
    if (!texture || *width <= 0 || *height <= 0)
        return {};
    std::vector<uint8_t> full(size_t(*width) * size_t(*height) * 4);
    glBindTexture(GL_TEXTURE_RECTANGLE, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_RECTANGLE, 0, GL_RGBA, GL_UNSIGNED_BYTE, full.data());
    glBindTexture(GL_TEXTURE_RECTANGLE, 0);
    // (Y, Cb, Cr, A) texels to '2vuy' pairs: the chroma of each pair's first pixel.
    std::vector<uint8_t> packed(size_t(*width) * size_t(*height) * 2);
    for (size_t p = 0; p + 1 < size_t(*width) * size_t(*height); p += 2) {
        packed[p * 2 + 0] = full[p * 4 + 1];
        packed[p * 2 + 1] = full[p * 4 + 0];
        packed[p * 2 + 2] = full[p * 4 + 2];
        packed[p * 2 + 3] = full[p * 4 + 4];
    }
    return packed;
}

bool EngineHarness::waitForBuffers()
{
    // Full queues drain again as soon as a decoder takes a packet: remember that they were full.
    bool ready = false;
    testsupport::waitUntil([&] { return ready = ready || engine_->BuffersReady(); }, 60000);
    return ready;
}

std::vector<uint32_t> EngineHarness::playFor(double seconds)
{
    std::vector<uint32_t> shown;
    const int steps = int(seconds * 100);
    for (int i = 0; i < steps; ++i) {
        // The decoders run in real time beside the stepped clock: while playing, the clock moves
        // only with a frame ready ahead of it (bounded, for a seam or the end), and the steps are
        // paced like real time, so a loaded machine or a sanitizer build cannot starve them and
        // the tests measure order, not how fast this machine decodes.
        if (engine_->GetThreadState() == ssStatePlaying)
            testsupport::waitUntil([&] { return engine_->GetFramesReady() > 0; }, 500);
        EXPECT_TRUE(step());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (auto index = present())
            shown.push_back(*index);
    }
    return shown;
}

std::optional<uint32_t> EngineHarness::showWhile(const std::function<void()>& action)
{
    std::mutex lock;
    std::optional<uint32_t> seen;
    std::atomic<bool> running{true};
    std::thread display([&] {
        // After the action, keep asking a little longer for a frame it left to show.
        int after = 0;
        while (running.load() || after++ < 200) {
            if (auto index = present()) {
                std::lock_guard guard(lock);
                seen = index;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    action();
    running = false;
    display.join();
    std::lock_guard guard(lock);
    return seen;
}
