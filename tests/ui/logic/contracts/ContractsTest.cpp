// The seams between the application, its channel columns and the communications module.
#include "app/defaults/KLVDefaultsKeys.h"
#include "app/devices/KLVDeviceController.h"
#include "app/document/KLVPlaylistNode.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/TempFolder.h"
#include "tests/ui/support/FakeChannelDelegate.h"
#include "tests/ui/support/FakePlaybackEngine.h"
#include "ui/logic/channel/KLVChannelController.h"

#include <gtest/gtest.h>

using namespace testsupport;

TEST(Contracts, CueItemsKeepOneIdentityForTheInterpreter)
{
    TempFolder home;
    FakeChannelDelegate app;
    auto node = KLVPlaylistNode::create();
    node->setPlnName(QStringLiteral("Opener"));
    auto other = KLVPlaylistNode::create();
    app.playlistDataForChannelNumber(1)->setPlaylistItems({node, other});
    KLVChannelController channel(app, 1, std::make_unique<FakePlaybackEngine>());
    channel.setCurrentNode(node);

    // The interpreter compares the cued item with the loaded one by pointer.
    EXPECT_EQ(channel.currentNode(), node->playlistItem());
    const auto items = channel.channelData()->playlistItems();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0], channel.currentNode());
    EXPECT_EQ(items[0]->plnName(), QStringLiteral("Opener"));
    EXPECT_EQ(KLVPlaylistNode::nodeForItem(items[1]), other);
    // A copy is another cue with its own item.
    EXPECT_NE(node->copy()->playlistItem(), node->playlistItem());
}

TEST(Contracts, DefaultsKeysAndRegisteredDefaults)
{
    TempFolder home;
    EXPECT_EQ(KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kShowSlate, 2), QStringLiteral("KLVShowSlate_2"));
    EXPECT_EQ(KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kSelectedSyncMode, 12),
              QStringLiteral("KLVSelectedSyncMode12"));

    auto& defaults = platform::UserDefaults::sharedDefaults();
    ASSERT_TRUE(defaults.registerStandardDefaults());
    EXPECT_TRUE(defaults.isRegistered(QStringLiteral("enableErrorReporting")));
    EXPECT_FALSE(defaults.boolForKey(QStringLiteral("enableErrorReporting")));
    EXPECT_FALSE(defaults.boolForKey(QStringLiteral("enableAnalyticsReporting")));

    // A channel registers its four defaults without hiding a stored value.
    defaults.setInteger(1, QStringLiteral("QMKLVLastCodec3"));
    KLVDefaultsKeys::registerChannelDefaults(3);
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("QMKLVLastCodec3")), 1);
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("QMKLVLastAudioChannelCount3")), 2);
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("KLVSelectedOperationMode3")), 0);
}

TEST(Contracts, DeviceClaimsAreAnnounced)
{
    KLVDeviceController registry;
    int told = 0;
    auto subscription = registry.devicesInUseChanged().subscribe([&] { ++told; });
    EXPECT_TRUE(registry.setOwner(QStringLiteral("Channel 1"), QStringLiteral("DVI (1)"), 0));
    EXPECT_EQ(told, 1);
    // A refused claim changes nothing and says nothing.
    EXPECT_FALSE(registry.setOwner(QStringLiteral("Channel 2"), QStringLiteral("DVI (1)"), 0));
    EXPECT_EQ(told, 1);
    registry.setOwner(QStringLiteral("Channel 1"), QString(), -1);
    EXPECT_EQ(told, 2);
}
