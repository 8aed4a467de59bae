// The recording channel stand-ins behave as the application's channels do for the command layer.
#include "tests/comm/core/fakes/FakeChannels.h"

#include <gtest/gtest.h>

TEST(ChannelFakes, AllChannelsTargetActsOnEveryChannelInColumnOrder)
{
    FakeChannelProvider app(3);
    ASSERT_EQ(app.channelControllers().size(), 3);
    EXPECT_EQ(app.channelControllers().at(1)->tag(), 2);
    EXPECT_EQ(app.channelControllerForTag(3), &app.channel(3));
    EXPECT_EQ(app.channelControllerForTag(4), nullptr);
    app.allChannelsMovieDelegate().play();
    app.allChannelsMovieDelegate().playAtRate(2.0f);
    for (int tag = 1; tag <= 3; ++tag)
        EXPECT_EQ(app.channel(tag).movie.calls, (QStringList{"play", "playAtRate 2"}));

    FakeChannelController& one = app.channel(1);
    one.playlist.items = {std::make_shared<FakePlaylistItem>(QStringLiteral("clip A"), QMTimeCode::timecodeWithFrames(0, 10, 0, 0)),
                          std::make_shared<FakePlaylistItem>(QStringLiteral("clip B"), QMTimeCode())};
    EXPECT_EQ(one.nodeWithName(QStringLiteral("clip B")), one.playlist.items.at(1));
    EXPECT_EQ(one.nodeWithName(QStringLiteral("clip C")), nullptr);
    EXPECT_EQ(one.currentNode(), nullptr);
    one.selectPlaylistItemAtIndex(0);
    EXPECT_EQ(one.currentNode()->plnName(), QStringLiteral("clip A"));
    EXPECT_EQ(one.channelData()->playlistItems().size(), 2);
}
