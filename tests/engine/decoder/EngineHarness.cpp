#include "EngineHarness.h"

#include "platform/audio/AudioOutputHub.h"
#include "platform/clock/ManualClock.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

EngineHarness::EngineHarness()
{
    // The clock is made before the hub so that it outlives the hub's sink thread at exit.
    platform::ManualClock& manual = clock();
    platform::AudioOutputHub::shared().selectBackend(platform::AudioOutputHub::Backend::Null, &manual);
    engine_ = std::make_unique<ssMediaDecoder3>(nullptr, nullptr);
    ssOutputFormat screen{1, 1920, 1080, 0, 60.0f};
    engine_->SetOutputFormat(&screen);
}

EngineHarness::~EngineHarness()
{
    engine_.reset();
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
    const ssFrameTarget* frame = engine_->GetFrameTarget(index);
    if (!frame || !frame->pixels)
        return std::nullopt;
    return testsupport::FrameBarcode::read(frame->pixels, frame->width, frame->height, frame->rowBytes,
                                           testsupport::BarcodePixels::Uyvy422);
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
        EXPECT_TRUE(step());
        // The decoders run in real time beside the stepped clock; pacing the steps like real
        // time keeps a loaded machine or a sanitizer build from starving them, so the tests
        // measure order, not how fast this machine decodes.
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
