#include "EngineHarness.h"

#include "platform/audio/AudioOutputHub.h"
#include "platform/clock/ManualClock.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/WaitUntil.h"

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

int32_t EngineHarness::open(const std::string& clipName)
{
    return engine_->Open(testsupport::mediaPath(clipName).toStdString().c_str(), false);
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
