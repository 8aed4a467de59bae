// Cue, get-cued, list and application information on recording channels, and queries asked from
// another thread, which must run on the main thread.
#include "comm/core/QMApplicationCommands.h"
#include "comm/showcontrol/dmx/QMDMXArtnetHardwareCommunicator.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/comm/core/interpreter/InterpreterRig.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <thread>

using commtest::k;

namespace {

QVariant tc(int frames, int seconds)
{
    return QVariant::fromValue(QMTimeCode::timecodeWithFrames(frames, seconds, 0, 0));
}

std::shared_ptr<KLVPlaylistItem> item(const char* name, int seconds)
{
    return std::make_shared<FakePlaylistItem>(QString::fromUtf8(name), QMTimeCode::timecodeWithFrames(0, seconds, 0, 0));
}

// A playlist that notes whether it was read off the main thread.
class ThreadCheckingPlaylist : public KLVChannelPlaylist {
public:
    QList<std::shared_ptr<KLVPlaylistItem>> items;
    mutable std::atomic<int> offMainReads{0};
    QList<std::shared_ptr<KLVPlaylistItem>> playlistItems() const override
    {
        if (!platform::isMainThread())
            ++offMainReads;
        return items;
    }
};

class ThreadCheckingChannel : public FakeChannelController {
public:
    using FakeChannelController::FakeChannelController;
    ThreadCheckingPlaylist checked;
    KLVChannelPlaylist* channelData() override { return &checked; }
};

} // namespace

TEST(CueMedia, SelectsByNameOrIndexAndAppliesRangeAndPlayhead)
{
    InterpreterRig rig;
    const auto multi = rig.device(0);
    FakeChannelController& two = rig.app.channel(2);
    two.playlist.items = {item("Intro", 5), item("Main clip", 30), item("Outro", 8)};
    two.selected = 1;
    QVariantMap params{{k(QMApplicationCommandPortNumber), 2},
                       {k(QMApplicationCommandCueMediaParamMediaID), QStringLiteral("Main clip")},
                       {k(QMApplicationCommandCueMediaParamInPoint), tc(0, 2)},
                       {k(QMApplicationCommandCueMediaParamDuration), tc(12, 4)},
                       {k(QMApplicationCommandCueMediaParamSetPlayhead), tc(5, 1)}};
    rig.send(*multi, QMApplicationCommandCueMedia, params);
    // The loaded item is not reselected; range and playhead still apply.
    EXPECT_EQ(two.calls, (QStringList{"scrollToSelection"}));
    EXPECT_EQ(two.movie.calls, (QStringList{"setInPoint 00:00:02:00", "setOutPointAsDurationFromInPoint 00:00:04:12", "pause",
                                            "seekToTimeCode 00:00:01:05", "updateTimeCode"}));

    rig.clearCalls();
    params = {{k(QMApplicationCommandPortNumber), 2}, {k(QMApplicationCommandCueMediaParamMediaID), QStringLiteral("Outro")},
              {k(QMApplicationCommandCueMediaParamIndex), 0}, {k(QMApplicationCommandCueMediaParamInPoint), tc(0, 2)}};
    rig.send(*multi, QMApplicationCommandCueMedia, params);
    // A name wins over an index; an in point without a duration sets no range: the cue plays its
    // own, whatever an earlier cue with data left on the engine.
    EXPECT_EQ(two.calls, (QStringList{"selectPlaylistItemAtIndex 2", "scrollToSelection"}));
    EXPECT_EQ(two.movie.calls, (QStringList{"restoreCueRange", "updateTimeCode"}));

    rig.clearCalls();
    rig.send(*multi, QMApplicationCommandCueMedia, {{k(QMApplicationCommandPortNumber), 2}, {k(QMApplicationCommandCueMediaParamMediaID), QStringLiteral(" Intro\n")}});
    // Cue does not trim the name, and a name the channel lacks changes nothing on it.
    EXPECT_TRUE(two.calls.isEmpty());
    EXPECT_TRUE(two.movie.calls.isEmpty());
    rig.clearCalls();
    rig.send(*multi, QMApplicationCommandCueMedia, {{k(QMApplicationCommandPortNumber), 2}, {k(QMApplicationCommandCueMediaParamIndex), 2}});
    rig.send(*multi, QMApplicationCommandCueMedia, {{k(QMApplicationCommandPortNumber), 2}, {k(QMApplicationCommandCueMediaParamIndex), 0}});
    EXPECT_EQ(two.calls, (QStringList{"scrollToSelection", "selectPlaylistItemAtIndex 0", "scrollToSelection"}));
    EXPECT_EQ(two.movie.calls, (QStringList{"restoreCueRange", "updateTimeCode", "restoreCueRange", "updateTimeCode"}));

    rig.clearCalls();
    rig.app.channel(3).master = true;
    rig.send(*multi, QMApplicationCommandCueMedia, {{k(QMApplicationCommandPortNumber), 3}, {k(QMApplicationCommandCueMediaParamSetPlayhead), tc(0, 9)}});
    EXPECT_EQ(rig.app.channel(3).calls, (QStringList{"pauseMaster", "seekMasterToTimeCode 00:00:09:00", "scrollToSelection"}));
    EXPECT_EQ(rig.app.channel(3).movie.calls, (QStringList{"updateTimeCode"}));
}

TEST(GetCuedMedia, NamedItemLoadedItemAndNoChannel)
{
    InterpreterRig rig;
    const auto multi = rig.device(0);
    FakeChannelController& one = rig.app.channel(1);
    one.playlist.items = {item("Intro", 5), item("Main clip", 30)};
    const QVariantMap named{{k(QMApplicationCommandPortNumber), 1}, {k(QMApplicationCommandGetCuedMediaParamMediaID), QStringLiteral(" Main clip\n")}};
    const QVariantMap answer = rig.send(*multi, QMApplicationCommandGetCuedMedia, named).toMap();
    EXPECT_EQ(answer.value(k(QMApplicationCommandGetCuedMediaParamMediaID)).toString(), QStringLiteral(" Main clip\n")) << "a copy of the question";
    EXPECT_EQ(answer.value(k(QMApplicationCommandGetCuedMediaParamDuration)).value<QMTimeCode>().stringValue(), QStringLiteral("00:00:30:00"));
    EXPECT_EQ(answer.value(k(QMApplicationCommandGetCuedMediaParamRemaining)).value<QMTimeCode>().stringValue(), QStringLiteral("00:00:30:00"));
    EXPECT_EQ(answer.value(k(QMApplicationCommandGetCuedMediaParamCurrentTime)).value<QMTimeCode>().stringValue(), QStringLiteral("00:00:00:00"));
    EXPECT_TRUE(answer.contains(k(QMApplicationCommandParser)));

    const QVariant missing = rig.send(*multi, QMApplicationCommandGetCuedMedia, {{k(QMApplicationCommandPortNumber), 1}, {k(QMApplicationCommandGetCuedMediaParamMediaID), QStringLiteral("Gone")}});
    EXPECT_FALSE(missing.isValid());

    one.selected = 0;
    one.movie.current = QMTimeCode::timecodeWithFrames(3, 1, 0, 0);
    one.movie.remaining = QMTimeCode::timecodeWithFrames(27, 3, 0, 0);
    const QVariantMap loaded = rig.send(*multi, QMApplicationCommandGetCuedMedia, {{k(QMApplicationCommandPortNumber), 1}}).toMap();
    EXPECT_EQ(loaded.size(), 4);
    EXPECT_EQ(loaded.value(k(QMApplicationCommandGetCuedMediaParamMediaID)).toString(), QStringLiteral("Intro"));
    EXPECT_EQ(loaded.value(k(QMApplicationCommandGetCuedMediaParamCurrentTime)).value<QMTimeCode>().stringValue(), QStringLiteral("00:00:01:03"));
    EXPECT_EQ(loaded.value(k(QMApplicationCommandGetCuedMediaParamRemaining)).value<QMTimeCode>().stringValue(), QStringLiteral("00:00:03:27"));

    const QVariant none = rig.send(*multi, QMApplicationCommandGetCuedMedia, {});
    EXPECT_TRUE(none.isValid());
    EXPECT_TRUE(none.toMap().isEmpty());
}

TEST(ListMedia, NamesInOrderCutToEightCharactersWhenAsked)
{
    InterpreterRig rig;
    const auto multi = rig.device(0);
    rig.app.channel(4).playlist.items = {item("Fourteen chars", 1), item("Short", 1)};
    const QString files = k(QMApplicationCommandListMediaParamMediaFiles);
    EXPECT_EQ(rig.send(*multi, QMApplicationCommandListMedia, {{k(QMApplicationCommandPortNumber), 4}}).toMap().value(files).toStringList(),
              (QStringList{"Fourteen chars", "Short"}));
    platform::UserDefaults::sharedDefaults().setBool(true, k(QMCommModuleUse8CharNames));
    EXPECT_EQ(rig.send(*multi, QMApplicationCommandListMedia, {{k(QMApplicationCommandPortNumber), 4}}).toMap().value(files).toStringList(),
              (QStringList{"Fourteen", "Short"}));
    const QVariantMap none = rig.send(*multi, QMApplicationCommandListMedia, {}).toMap();
    EXPECT_TRUE(none.contains(files));
    EXPECT_TRUE(none.value(files).toStringList().isEmpty());
}

TEST(ApplicationInfo, StableIdentityAndArtNetLayerAddress)
{
    InterpreterRig rig;
    const auto multi = rig.device(0);
    const QVariantMap first = rig.send(*multi, QMApplicationCommandApplicationInfo).toMap();
    const QString uuid = first.value(QStringLiteral("uuid")).toString();
    EXPECT_EQ(uuid.size(), 36);
    EXPECT_EQ(uuid, uuid.toUpper());
    EXPECT_EQ(platform::UserDefaults::sharedDefaults().stringForKey(k(QMAppUUIDKey)), uuid);
    EXPECT_FALSE(first.value(QStringLiteral("appName")).toString().isEmpty());
    EXPECT_TRUE(first.contains(QStringLiteral("version")));
    const QVariantList layers = first.value(QStringLiteral("layers")).toList();
    ASSERT_EQ(layers.size(), 1);
    EXPECT_EQ(layers.at(0).toMap(), (QVariantMap{{QStringLiteral("layerName"), QStringLiteral("main")},
                                                {QStringLiteral("layerType"), QStringLiteral("media")},
                                                {QStringLiteral("layerDMXString"), QString()}}));

    auto artNet = std::make_shared<QMDMXArtnetHardwareCommunicator>();
    artNet->setUniverseNum(1);
    artNet->setSubnetNum(0);
    const auto dmxParser = rig.stranger();
    dmxParser->setHardwareCommunicator(artNet);
    rig.manager->connectionWrapperForParser(dmxParser);
    platform::UserDefaults::sharedDefaults().setInteger(10, k(QMDMXBaseAddress));
    const QVariantMap second = rig.send(*multi, QMApplicationCommandApplicationInfo).toMap();
    EXPECT_EQ(second.value(QStringLiteral("uuid")).toString(), uuid);
    // ArtNet/<net>/<universe>/<channel>: universe 1 of net 0, the channel after the 0-based base slot.
    const auto dmxString = [&] {
        return rig.send(*multi, QMApplicationCommandApplicationInfo).toMap().value(QStringLiteral("layers")).toList().at(0).toMap().value(QStringLiteral("layerDMXString")).toString();
    };
    EXPECT_EQ(dmxString(), QStringLiteral("ArtNet/0/1/11"));
    // Net 1, sub-net 3, universe 5: the device listens to port address 0x0135, universe 0x35 of net 1.
    artNet->setNetNum(1);
    artNet->setSubnetNum(3);
    artNet->setUniverseNum(5);
    platform::UserDefaults::sharedDefaults().setInteger(0, k(QMDMXBaseAddress));
    EXPECT_EQ(dmxString(), QStringLiteral("ArtNet/1/53/1"));
    // Numbers left unset count as 0, as when the device starts; a base past the universe stops at its last slot.
    artNet->setNetNum(-1);
    artNet->setSubnetNum(-1);
    platform::UserDefaults::sharedDefaults().setInteger(900, k(QMDMXBaseAddress));
    EXPECT_EQ(dmxString(), QStringLiteral("ArtNet/0/5/512"));
}

TEST(Interpreter, QueriesFromAnotherThreadRunOnTheMainThread)
{
    InterpreterRig rig;
    const auto multi = rig.device(0);
    // Channel 1 of the application is replaced by one that watches its thread.
    rig.app.channels[0] = std::make_unique<ThreadCheckingChannel>(1);
    auto* watched = static_cast<ThreadCheckingChannel*>(rig.app.channels[0].get());
    watched->checked.items = {item("Clip", 1)};

    std::atomic<bool> done{false};
    QVariant listed, info;
    std::thread queue([&] {
        listed = rig.send(*multi, QMApplicationCommandListMedia, {{k(QMApplicationCommandPortNumber), 1}});
        info = rig.send(*multi, QMApplicationCommandApplicationInfo);
        rig.send(*multi, QMApplicationCommandTransportPlay, {{k(QMApplicationCommandPortNumber), 1}});
        done = true;
    });
    EXPECT_TRUE(testsupport::waitUntil([&] { return done.load(); }));
    queue.join();
    EXPECT_EQ(listed.toMap().value(k(QMApplicationCommandListMediaParamMediaFiles)).toStringList(), QStringList{"Clip"});
    EXPECT_TRUE(info.toMap().contains(QStringLiteral("uuid")));
    EXPECT_EQ(watched->checked.offMainReads.load(), 0);
    EXPECT_EQ(watched->movie.calls, QStringList{"play"});
}
