#pragma once
// Channels playing to virtual cards: the cards on a manual clock, a fresh settings file, the device
// registry listing the cards, channels whose cue is a fixture clip with the card's audio timing
// its frames, and the clock stepped one 25 fps card period at a time.
#include "app/devices/KLVDeviceController.h"
#include "app/document/KLVChannel.h"
#include "app/document/KLVPlaylistNode.h"
#include "app/moviecontroller/KLVDecoderEngine.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/gl/ssGLContext.h"
#include "tests/engine/output/CardsForOutputs.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/TempFolder.h"
#include "tests/ui/support/FakeChannelDelegate.h"
#include "ui/logic/channel/KLVChannelController.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

struct CardChannels {
    explicit CardChannels(const char* cardsJson) : cards(cardsJson)
    {
        platform::UserDefaults::setSharedFilePath(home.filePath(QStringLiteral("settings.conf")));
        registry().removeAllDevices();
        registry().rebuildOutputDevices();
    }
    ~CardChannels()
    {
        channels.clear();
        registry().removeAllDevices();
    }

    static KLVDeviceController& registry() { return KLVDeviceController::sharedController(); }

    // Channel `tag` with one cue of the fixture clip; set up once all are made (setupInitialUI).
    KLVChannelController& addChannel(long tag, const char* clip, long playbackBehavior = 0)
    {
        auto& defaults = platform::UserDefaults::sharedDefaults();
        defaults.setInteger(1, QStringLiteral("KLVSelectedAudioOutput%1").arg(tag));
        defaults.setBool(false, QStringLiteral("KLVShowSlate_%1").arg(tag));
        auto node = KLVPlaylistNode::create();
        node->setPlnSourcePath(testsupport::mediaPath(clip));
        node->setFps(25);
        node->setPlaybackBehavior(playbackBehavior);
        app.playlistDataForChannelNumber(tag)->setPlaylistItems({node});
        const char* build = std::getenv("KLV_BINARY_DIR");
        channels.push_back(std::make_unique<KLVChannelController>(
            app, tag, std::make_unique<KLVDecoderEngine>(build ? build : ".", nullptr)));
        app.controllers.append(channels.back().get());
        return *channels.back();
    }

    // Steps the cards through periods [from, to), letting the engines render in between; false
    // when the cards' reference thread (one for all the cards of the rate) did not come back to
    // its clock.
    bool runPeriods(int64_t from, int64_t to)
    {
        for (int64_t k = from; k < to; ++k) {
            std::this_thread::sleep_for(std::chrono::milliseconds(35));
            cards.clock().advanceTo(testsupport::periodStartNs(k, 1, 25));
            if (!cards.clock().settle(1)) {
                ADD_FAILURE() << "period " << k;
                return false;
            }
        }
        return true;
    }

    testsupport::VirtualCards cards;
    testsupport::TempFolder home;
    testsupport::FakeChannelDelegate app;
    std::vector<std::unique_ptr<KLVChannelController>> channels;
};
