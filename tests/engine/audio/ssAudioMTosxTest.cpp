// The computer audio output of a player on the process's audio hub, its null sink running in real
// time as it does on a machine without a sound device.
#include "engine/audio/ssAudioMTosx.h"
#include "platform/audio/AudioOutputHub.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

// Real time, bounded: the hub's stream has to run for the clock to move.
bool clockMoves(ssAudioMTosx& output)
{
    const double start = output.GetClock();
    for (int i = 0; i < 500; ++i) {
        if (output.GetClock() > start)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace

TEST(ssAudioMTosx, ASilentOutputsClockRunsFromItsFirstCallbackEveryTimeItIsConfigured)
{
    platform::AudioOutputHub::shared().selectBackend(platform::AudioOutputHub::Backend::Null);
    ssAudioMTosx output;
    for (const int rate : {48000, 44100, 96000}) {
        SCOPED_TRACE(rate);
        // Playing before the stream is set up again: the hub calls the new voice from the start.
        output.Play();
        ASSERT_EQ(output.Configure(nullptr, 2, 4, 1, rate), 0);
        output.Play();
        EXPECT_TRUE(clockMoves(output));
    }
    output.Close();
}
