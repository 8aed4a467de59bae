// A short cue whose End is the next cue, played from the column on a virtual card: the engine
// reads it to its out point and waits there for the cue after it, which is as ready as the cue
// gets, so Play starts it at once and the card airs its frames from the next periods on, then the
// next cue's.
#include "app/moviecontroller/KLVMovieController.h"
#include "platform/audio/AudioOutputHub.h"
#include "platform/testpattern/FrameBarcode.h"
#include "tests/support/WaitUntil.h"
#include "tests/ui/widgets/channel/CardChannels.h"
#include "ui/logic/channel/KLVChannelOutput.h"
#include "ui/logic/channel/KLVChannelTransport.h"
#include "ui/widgets/channel/KLVChannelColumn.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <mutex>

using namespace testsupport;
using namespace platform::decklink;

namespace {
constexpr int kW = 320;
constexpr int kH = 240;

const char* kCard = R"({"cards": [
  {"name": "Out A", "modes": [{"name": "Test 320x240p25", "width": 320, "height": 240, "frameDuration": 1, "timeScale": 25}]}]})";

// The barcode on air at each period.
struct BarcodeTap : OutputTap {
    void frameShown(const ShownFrame& shown) override
    {
        void* bytes = nullptr;
        if (!shown.frame || shown.frame->GetBytes(&bytes) != kOk)
            return;
        auto read = platform::FrameBarcode::read(static_cast<const uint8_t*>(bytes), kW, kH, kW * 2,
                                                 platform::BarcodePixels::Uyvy422);
        std::lock_guard lock(mutex);
        byTick[shown.tick] = read ? int64_t(*read) : -1;
    }
    void audioConsumed(const ConsumedAudio&) override {}
    std::vector<int64_t> since(int64_t tick)
    {
        std::lock_guard lock(mutex);
        std::vector<int64_t> codes;
        for (auto it = byTick.lower_bound(tick); it != byTick.end(); ++it)
            codes.push_back(it->second);
        return codes;
    }
    std::mutex mutex;
    std::map<int64_t, int64_t> byTick;
};

std::string describe(const std::vector<int64_t>& codes)
{
    std::string text;
    for (int64_t code : codes)
        text += std::to_string(code) + " ";
    return text;
}
} // namespace

TEST(ShortNextCueOnCard, PlayFromTheColumnStartsAtOnceAndAirsTheCueThenTheNext)
{
    CardChannels rig(kCard);
    // The card carries the sound; no sound card is opened beside it.
    platform::AudioOutputHub::shared().selectBackend(platform::AudioOutputHub::Backend::Null);
    ASSERT_EQ(CardChannels::registry().outputDevices().size(), 1);
    BarcodeTap tap;
    rig.cards.control().SetOutputTap(0, &tap);
    FakeChannelDelegate& app = rig.app;

    // Frames 0 to 24 of the 50-frame clip, End = Next Cue; the next cue plays frames 30 to 49.
    KLVChannelController* channel = &rig.addChannel(1, "mjpeg", 2);
    const auto first = channel->channel()->playlistItems().front();
    first->setInPoint(0.0);
    first->setOutPoint(1.0);
    auto second = KLVPlaylistNode::create();
    second->setPlnSourcePath(mediaPath("mjpeg"));
    second->setFps(25);
    second->setInPoint(1.2);
    second->setOutPoint(2.0);
    app.playlistDataForChannelNumber(1)->setPlaylistItems({first, second});
    channel->setupInitialUI();
    ASSERT_TRUE(channel->output().deviceEnabled());
    KLVChannelColumn column(*channel);
    column.resize(420, 520);
    column.show();

    channel->transport().loadNode(first, false);
    // The cue's packets never fill the queues: it is ready once it has been read to its out point.
    ASSERT_TRUE(waitUntil([&] { return channel->movie().movie()->BuffersReady(); }));
    ASSERT_TRUE(rig.cards.clock().settle(1));
    ASSERT_TRUE(rig.runPeriods(1, 4));

    // No tick of the 0.1 s wait for buffers passes: the click starts the cue.
    QTest::mouseClick(column.playButton(), Qt::LeftButton);
    EXPECT_TRUE(channel->isPlaying());
    EXPECT_TRUE(column.playButton()->isChecked());

    // The first frames after the one cued air in the periods right after the click, every frame
    // of the cue follows, then the next cue from its in point.
    ASSERT_TRUE(rig.runPeriods(4, 60));
    channel->stopMaster(nullptr);
    channel->output().stopOutputDevice();
    rig.cards.control().SetOutputTap(0, nullptr);

    const std::vector<int64_t> codes = tap.since(4);
    ASSERT_GE(codes.size(), 40u) << describe(codes);
    size_t start = 0;
    while (start < codes.size() && codes[start] == 0)
        ++start;
    EXPECT_LE(start, 3u) << describe(codes);
    // In order and none left out (a frame this machine rendered late holds the one before it).
    std::vector<int64_t> played;
    for (size_t i = start; i < codes.size(); ++i)
        if (played.empty() || codes[i] != played.back())
            played.push_back(codes[i]);
    std::vector<int64_t> expected;
    for (int64_t f = 1; f <= 24; ++f)
        expected.push_back(f);
    for (int64_t f = 30; f <= 44; ++f)
        expected.push_back(f);
    played.resize(std::min(played.size(), expected.size()));
    EXPECT_EQ(played, expected) << describe(codes);
}
