// A channel playing to a virtual card, its overlay chosen and shown from the column's controls:
// the card's frames carry the overlay's pixels, fading in over the channel's fade time (one
// second) and out again.
#include "app/moviecontroller/KLVMovieController.h"
#include "tests/support/Instrumented.h"
#include "tests/support/WaitUntil.h"
#include "tests/ui/widgets/channel/CardChannels.h"
#include "ui/logic/channel/KLVChannelOutput.h"
#include "ui/logic/channel/KLVChannelTransport.h"
#include "ui/widgets/channel/KLVChannelColumn.h"

#include <QAction>
#include <QImage>
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
// The overlay's place in output pixels, y-up as the editor gives it: 64 x 32 at (8, 8) from the
// bottom left, so card rows 200 to 231 and columns 8 to 71.
const QRectF kOverlay(8, 8, 64, 32);

const char* kCard = R"({"cards": [
  {"name": "Out A", "modes": [{"name": "Test 320x240p25", "width": 320, "height": 240, "frameDuration": 1, "timeScale": 25}]}]})";

// The mean luma inside the overlay's place, per period on air.
struct OverlayTap : OutputTap {
    void frameShown(const ShownFrame& shown) override
    {
        void* bytes = nullptr;
        if (!shown.frame || shown.frame->GetBytes(&bytes) != kOk)
            return;
        const auto* uyvy = static_cast<const uint8_t*>(bytes);
        int64_t sum = 0, n = 0;
        for (int y = 204; y < 228; ++y)
            for (int x = 12; x < 68; ++x, ++n)
                sum += uyvy[y * kW * 2 + x * 2 + 1];
        std::lock_guard lock(mutex);
        luma[shown.tick] = double(sum) / double(n);
    }
    void audioConsumed(const ConsumedAudio&) override {}
    std::mutex mutex;
    std::map<int64_t, double> luma;
};
} // namespace

TEST(OverlayOnCard, ShownFromTheColumnItFadesInOnTheCardOverTheFadeTimeAndOutAgain)
{
    CardChannels rig(kCard);
    ASSERT_EQ(CardChannels::registry().outputDevices().size(), 1);
    OverlayTap tap;
    rig.cards.control().SetOutputTap(0, &tap);

    // A white logo; a looping clip on the card.
    const QString logo = rig.home.filePath(QStringLiteral("logo.png"));
    QImage white(64, 32, QImage::Format_ARGB32);
    white.fill(Qt::white);
    ASSERT_TRUE(white.save(logo));
    FakeChannelDelegate& app = rig.app;
    KLVChannelController* channel = &rig.addChannel(1, "mjpeg", 1);
    const auto node = channel->channel()->playlistItems().front();
    channel->setupInitialUI();
    ASSERT_TRUE(channel->output().deviceEnabled());
    auto column = std::make_unique<KLVChannelColumn>(*channel);
    column->resize(420, 520);
    column->show();

    // Chosen from the column's overlay menu, placed as the editor places it.
    app.picker.openAnswers.push_back({logo});
    column->chooseOverlayAction()->trigger();
    channel->channel()->setGraphicOverlayImageDisplayRect(kOverlay);
    ASSERT_EQ(channel->channel()->graphicOverlayImagePath().value_or(QString()), logo);

    channel->transport().loadNode(node, false);
    ASSERT_TRUE(waitUntil([&] { return channel->movie().movie()->BuffersReady(); }));
    column->playButton()->click();
    ASSERT_TRUE(waitUntil([&] {
        app.clock.advance(100);
        return channel->isPlaying();
    }));
    ASSERT_TRUE(rig.cards.clock().settle(1));
    const auto runTo = [&](int64_t from, int64_t to) { return rig.runPeriods(from, to); };
    constexpr int64_t kShowAt = 15, kHideAt = 85, kEnd = 155;
    ASSERT_TRUE(runTo(1, kShowAt));
    QPushButton* showHide = column->overlayShowHideButton();
    ASSERT_EQ(showHide->text(), QStringLiteral("Show Overlay"));
    showHide->click();
    EXPECT_EQ(showHide->text(), QStringLiteral("Hide Overlay"));
    ASSERT_TRUE(runTo(kShowAt, kHideAt));
    showHide->click();
    EXPECT_EQ(showHide->text(), QStringLiteral("Show Overlay"));
    ASSERT_TRUE(runTo(kHideAt, kEnd));
    channel->stopMaster(nullptr);
    channel->output().stopOutputDevice();
    rig.cards.control().SetOutputTap(0, nullptr);

    std::map<int64_t, double> luma;
    {
        std::lock_guard lock(tap.mutex);
        luma = tap.luma;
    }
    ASSERT_GE(luma.size(), size_t(kEnd - 10));
    // White in video range is luma 235. Before Show the place holds the clip's picture only.
    constexpr double kWhite = 235;
    const auto full = [&](double y) { return y > kWhite - 3; };
    for (const auto& [tick, y] : luma) {
        if (tick < kShowAt) {
            EXPECT_LT(y, kWhite - 30) << "period " << tick;
        }
    }
    // The fade runs in rendered frames, in real time beside the stepped card clock: an
    // instrumented build renders too slowly for it to be judged by the card's periods.
    if (testsupport::kInstrumented)
        return;
    // Shown, and held until Hide (the fade takes 25 rendered frames; a loaded machine renders
    // them late, so only the periods just before Hide are sure to be past it).
    for (int64_t t = kHideAt - 8; t < kHideAt; ++t) {
        if (auto it = luma.find(t); it != luma.end()) {
            EXPECT_TRUE(full(it->second)) << "period " << t << ": " << it->second;
        }
    }
    // A fade, not a cut: the clip's ramp rises under a pixel by less than a level a frame, the
    // fade in raises it by more on several frames before it is white, and the fade out lowers it
    // on several (the ramp alone never falls but where the clip loops, by far more). Repeated
    // periods (a late frame) change nothing and are not counted.
    const auto steps = [&](int64_t from, int64_t to, auto step) {
        int n = 0;
        for (int64_t t = from; t < to; ++t) {
            const auto a = luma.find(t - 1), b = luma.find(t);
            if (a != luma.end() && b != luma.end() && step(b->second - a->second, b->second))
                ++n;
        }
        return n;
    };
    EXPECT_GE(steps(kShowAt, kHideAt, [&](double d, double y) { return d >= 1.0 && !full(y); }), 5);
    EXPECT_GE(steps(kHideAt, kEnd, [](double d, double) { return d <= -0.3 && d > -20; }), 5);
    // Hidden again: the clip alone (its ramp has climbed by then, so only clearly below white).
    for (int64_t t = kEnd - 8; t < kEnd; ++t) {
        if (auto it = luma.find(t); it != luma.end()) {
            EXPECT_LT(it->second, kWhite - 15) << "period " << t;
        }
    }

    column.reset();
}
