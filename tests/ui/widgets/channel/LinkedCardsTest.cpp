// Two linked channels, each on a virtual card, played from the master: both cards put the same
// frame on air.
#include "app/moviecontroller/KLVMovieController.h"
#include "platform/testpattern/FrameBarcode.h"
#include "tests/support/WaitUntil.h"
#include "tests/ui/widgets/channel/CardChannels.h"
#include "ui/logic/channel/KLVChannelOutput.h"
#include "ui/logic/channel/KLVChannelTransport.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>

using namespace testsupport;
using namespace platform::decklink;

namespace {
constexpr int kW = 320;
constexpr int kH = 240;

const char* kCards = R"({"cards": [
  {"name": "Out A", "modes": [{"name": "Test 320x240p25", "width": 320, "height": 240, "frameDuration": 1, "timeScale": 25}]},
  {"name": "Out B", "modes": [{"name": "Test 320x240p25", "width": 320, "height": 240, "frameDuration": 1, "timeScale": 25}]}]})";

// The barcode on air at each frame period.
struct PeriodTap : OutputTap {
    void frameShown(const ShownFrame& shown) override
    {
        void* bytes = nullptr;
        if (!shown.frame || shown.frame->GetBytes(&bytes) != kOk)
            return;
        auto read = platform::FrameBarcode::read(static_cast<const uint8_t*>(bytes), kW, kH, kW * 2,
                                                 platform::BarcodePixels::Uyvy422);
        if (!read)
            return;
        std::lock_guard lock(mutex);
        byTick[shown.tick] = int64_t(*read);
    }
    void audioConsumed(const ConsumedAudio&) override {}
    std::mutex mutex;
    std::map<int64_t, int64_t> byTick;
};
} // namespace

TEST(LinkedChannelCards, AMasterAndItsSlavePutTheSameFrameOnAir)
{
    CardChannels rig(kCards);
    auto& registry = CardChannels::registry();
    ASSERT_EQ(registry.outputDevices().size(), 2);
    PeriodTap tapA, tapB;
    rig.cards.control().SetOutputTap(0, &tapA);
    rig.cards.control().SetOutputTap(1, &tapB);
    FakeChannelDelegate& app = rig.app;
    std::vector<std::unique_ptr<KLVChannelController>>& channels = rig.channels;
    for (long tag = 1; tag <= 2; ++tag)
        rig.addChannel(tag, "mjpeg");
    for (auto& c : channels)
        c->setupInitialUI();
    KLVChannelController& master = *channels[0];
    KLVChannelController& slave = *channels[1];
    ASSERT_TRUE(master.output().deviceEnabled());
    ASSERT_TRUE(slave.output().deviceEnabled());
    slave.selectLinkSetting(1);
    ASSERT_TRUE(master.isMaster());
    for (auto& c : channels) {
        c->transport().loadNode(c->channel()->playlistItems().front(), false);
        ASSERT_TRUE(waitUntil([&] { return c->movie().movie()->BuffersReady(); }));
    }

    master.playMaster(nullptr);
    ASSERT_TRUE(waitUntil([&] {
        app.clock.advance(100);
        return master.isPlaying() && slave.isPlaying();
    }));
    ASSERT_TRUE(rig.cards.clock().settle(1));
    ASSERT_TRUE(rig.runPeriods(1, 40));
    master.stopMaster(nullptr);
    for (auto& c : channels)
        c->output().stopOutputDevice();
    rig.cards.control().SetOutputTap(0, nullptr);
    rig.cards.control().SetOutputTap(1, nullptr);

    // Periods the two cards both showed a picture in agree within one frame once the start has
    // settled; while each card's scheduled lead drains (its first periods of motion) they may
    // differ by at most that lead.
    constexpr int64_t kScheduledLead = 3;
    constexpr int64_t kSettlePeriods = 8;
    int compared = 0;
    int64_t first = -1, last = -1, moving = -1;
    for (const auto& [tick, a] : tapA.byTick) {
        const auto b = tapB.byTick.find(tick);
        if (b == tapB.byTick.end())
            continue;
        if (moving < 0 && a > 0)
            moving = tick;
        const bool settled = moving >= 0 && tick >= moving + kSettlePeriods;
        EXPECT_LE(std::abs(a - b->second), settled ? 1 : kScheduledLead) << "period " << tick;
        ++compared;
        first = first < 0 ? a : first;
        last = a;
    }
    EXPECT_GE(compared, 25);
    EXPECT_GT(last - first, 20);
}
