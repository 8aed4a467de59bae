// Channel routing: each row sends one command the way a parser does and lists what every channel
// (its controller and its movie controller) was asked to do.
#include "comm/core/QMApplicationCommands.h"
#include "platform/foundation/Log.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/comm/core/interpreter/InterpreterRig.h"

#include <gtest/gtest.h>

using commtest::k;

namespace {

enum class Sender { None, Multi, Channel1, Channel3, Channel9 };

struct Row {
    const char* what;
    Sender sender;
    const char* command;
    QVariantMap params;
    // Per channel 1..4: controller calls, then movie controller calls ("-" for none).
    std::array<const char*, 4> controller;
    std::array<const char*, 4> movie;
    bool channel3IsMaster = false;
};

QStringList calls(const char* text)
{
    return QString::fromLatin1(text) == QStringLiteral("-") ? QStringList() : QString::fromLatin1(text).split(QLatin1Char(','));
}

const QVariantMap kNone;
QVariantMap number(int n) { return {{k(QMApplicationCommandPortNumber), n}}; }
QVariantMap name(const char* n) { return {{k(QMApplicationCommandPortName), QString::fromLatin1(n)}}; }
QVariantMap with(QVariantMap m, const char* key, const QVariant& v)
{
    m.insert(k(key), v);
    return m;
}

const std::array<const char*, 4> kNothing{"-", "-", "-", "-"};

std::vector<Row> rows()
{
    using A = std::array<const char*, 4>;
    return {
        {"port number from a device configured for channel 3", Sender::Channel3, QMApplicationCommandTransportPlay, number(2), kNothing, A{"-", "-", "play", "-"}},
        {"port number from a multi-channel device", Sender::Multi, QMApplicationCommandTransportPlay, number(2), kNothing, A{"-", "play", "-", "-"}},
        {"port number from an unknown parser", Sender::None, QMApplicationCommandTransportStop, number(4), kNothing, A{"-", "-", "-", "stop"}},
        {"port number and name: the name is not read", Sender::Multi, QMApplicationCommandTransportPause, with(number(1), QMApplicationCommandPortName, QStringLiteral("Four")), kNothing, A{"pause", "-", "-", "-"}},
        {"matching name beats the configured channel", Sender::Channel1, QMApplicationCommandTransportPlay, name("Four"), kNothing, A{"-", "-", "-", "play"}},
        {"name matching is exact", Sender::Multi, QMApplicationCommandTransportPlay, name("four"), kNothing, A{"play", "play", "play", "play"}},
        {"an empty name names no unnamed channel", Sender::Channel3, QMApplicationCommandTransportStop, name(""), kNothing, A{"-", "-", "stop", "-"}},
        {"unmatched name from a configured device", Sender::Channel3, QMApplicationCommandTransportStop, name("Nowhere"), kNothing, A{"-", "-", "stop", "-"}},
        {"unmatched name, multi: play on all", Sender::Multi, QMApplicationCommandTransportPlay, name("Nowhere"), kNothing, A{"play", "play", "play", "play"}},
        {"unmatched name, multi: rewind on all", Sender::Multi, QMApplicationCommandTransportRewind, name("Nowhere"), kNothing, A{"rewind", "rewind", "rewind", "rewind"}},
        {"unmatched name, multi: fast forward on all", Sender::Multi, QMApplicationCommandTransportFastForward, name("Nowhere"), kNothing, A{"fastForward", "fastForward", "fastForward", "fastForward"}},
        {"unmatched name, multi: step on all", Sender::Multi, QMApplicationCommandTransportStep, with(name("Nowhere"), QMApplicationCommandTransportParameterDirection, -1), kNothing, A{"stepBackward", "stepBackward", "stepBackward", "stepBackward"}},
        {"unmatched name, multi: cue acts on none", Sender::Multi, QMApplicationCommandCueMedia, with(name("Nowhere"), QMApplicationCommandCueMediaParamIndex, 1), kNothing, kNothing},
        {"port number 0 is no port number", Sender::Multi, QMApplicationCommandTransportPause, number(0), kNothing, A{"pause", "pause", "pause", "pause"}},
        {"no parameters: stop on all", Sender::None, QMApplicationCommandTransportStop, kNone, kNothing, A{"stop", "stop", "stop", "stop"}},
        {"port number of a missing channel does nothing", Sender::Multi, QMApplicationCommandTransportPlay, number(9), kNothing, kNothing},
        {"configured channel missing does nothing", Sender::Channel9, QMApplicationCommandTransportRewind, kNone, kNothing, kNothing},
        {"play with a speed and no channel: rate on all", Sender::None, QMApplicationCommandTransportPlay, with(kNone, QMApplicationCommandTransportParameterSpeed, 1.5), kNothing, A{"playAtRate 1.5", "playAtRate 1.5", "playAtRate 1.5", "playAtRate 1.5"}},
        {"play with a speed on a channel plays", Sender::Multi, QMApplicationCommandTransportPlay, with(number(2), QMApplicationCommandTransportParameterSpeed, 1.5), kNothing, A{"-", "play", "-", "-"}},
        {"rewind speed below 5 shuttles back at 5", Sender::Multi, QMApplicationCommandTransportRewind, with(number(1), QMApplicationCommandTransportParameterSpeed, 2.0), kNothing, A{"playAtRate -5", "-", "-", "-"}},
        {"fast forward keeps a speed above 5", Sender::Multi, QMApplicationCommandTransportFastForward, with(number(1), QMApplicationCommandTransportParameterSpeed, 8.0), kNothing, A{"playAtRate 8", "-", "-", "-"}},
        {"step forward", Sender::Multi, QMApplicationCommandTransportStep, with(number(2), QMApplicationCommandTransportParameterDirection, 1), kNothing, A{"-", "stepForward", "-", "-"}},
        {"step direction 0 does nothing", Sender::Multi, QMApplicationCommandTransportStep, with(number(2), QMApplicationCommandTransportParameterDirection, 0), kNothing, kNothing},
        {"step direction 2 does nothing", Sender::Multi, QMApplicationCommandTransportStep, with(number(2), QMApplicationCommandTransportParameterDirection, 2), kNothing, kNothing},
        {"step without direction does nothing", Sender::None, QMApplicationCommandTransportStep, kNone, kNothing, kNothing},
        {"master plays its slaves", Sender::Multi, QMApplicationCommandTransportPlay, number(3), A{"-", "-", "playMaster", "-"}, kNothing, true},
        {"master stops its slaves", Sender::Multi, QMApplicationCommandTransportStop, number(3), A{"-", "-", "stopMaster", "-"}, kNothing, true},
        {"master pauses its slaves", Sender::Multi, QMApplicationCommandTransportPause, number(3), A{"-", "-", "pauseMaster", "-"}, kNothing, true},
        {"rewind on a master moves the master only", Sender::Multi, QMApplicationCommandTransportRewind, number(3), kNothing, A{"-", "-", "rewind", "-"}, true},
    };
}

} // namespace

TEST(Routing, EveryRuleOfTheMatrix)
{
    InterpreterRig rig;
    const auto multi = rig.device(0);
    const auto one = rig.device(1);
    const auto three = rig.device(3);
    const auto nine = rig.device(9);
    const auto none = rig.stranger();
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.what);
        rig.app.channel(3).master = row.channel3IsMaster;
        rig.clearCalls();
        QMProtocolParser* sender = none.get();
        switch (row.sender) {
        case Sender::None: break;
        case Sender::Multi: sender = multi.get(); break;
        case Sender::Channel1: sender = one.get(); break;
        case Sender::Channel3: sender = three.get(); break;
        case Sender::Channel9: sender = nine.get(); break;
        }
        rig.send(*sender, row.command, row.params);
        for (int tag = 1; tag <= 4; ++tag) {
            EXPECT_EQ(rig.app.channel(tag).calls, calls(row.controller[size_t(tag - 1)])) << "controller of channel " << tag;
            EXPECT_EQ(rig.app.channel(tag).movie.calls, calls(row.movie[size_t(tag - 1)])) << "movie controller of channel " << tag;
        }
    }
}

TEST(Routing, UnmatchedNameIsLoggedAndGotoCommandsActOnEveryChannel)
{
    InterpreterRig rig;
    platform::LogCapture capture;
    rig.manager->interpretTransportGotoBeginning(name("Nowhere"));
    rig.manager->interpretTransportGotoEnd({});
    EXPECT_TRUE(capture.contains("Failed to find channel match for \"Nowhere\". Please rename the desired channel name to this value."));
    for (int tag = 1; tag <= 4; ++tag)
        EXPECT_EQ(rig.app.channel(tag).movie.calls, (QStringList{"goToBeginning", "goToEnd"}));

    EXPECT_EQ(rig.manager->channelControllerForParams(name("Two")), &rig.app.channel(2));
    EXPECT_EQ(rig.manager->movieControllerForParams(number(4)), &rig.app.channel(4).movie);
    EXPECT_EQ(rig.manager->movieControllerForParams({}), &rig.app.allChannelsMovieDelegate());
    EXPECT_EQ(rig.manager->movieControllerForParams(number(7)), nullptr);
}

TEST(Routing, StateAnswersForTheAddressedChannel)
{
    InterpreterRig rig;
    const auto multi = rig.device(0);
    rig.app.channel(2).movie.playing = true;
    const auto state = [&](const QVariantMap& params) { return rig.send(*multi, QMApplicationGetState, params).toMap(); };
    EXPECT_EQ(state(number(2)), (QVariantMap{{k(QMApplicationStatePlay), true}}));
    EXPECT_EQ(state(number(1)), (QVariantMap{{k(QMApplicationStateStill), true}}));
    EXPECT_EQ(state({}), (QVariantMap{{k(QMApplicationStateClear), true}}));
    EXPECT_EQ(state(number(8)), (QVariantMap{{k(QMApplicationStateClear), true}}));
    EXPECT_EQ(rig.manager->currentApplicationState()->toMap(), (QVariantMap{{k(QMApplicationStateClear), true}}));
}

TEST(Routing, DMXAndMIDICommandsAreLoggedOncePerKindAndChangeNothing)
{
    InterpreterRig rig;
    const auto multi = rig.device(0);
    platform::LogCapture capture;
    const auto received = [&](const char* command) {
        std::size_t n = 0;
        const std::string prefix = std::string("Received ") + command + " from \"";
        for (const platform::LogRecord& r : capture.records())
            n += r.level == platform::LogLevel::Info && r.message.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    };
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(rig.send(*multi, QMApplicationCommandDMXValuesChanged, {{QStringLiteral("0"), 255}}).toBool());
        rig.send(*multi, QMApplicationCommandMIDINote, {});
        rig.send(*multi, QMApplicationCommandMIDINotes, {});
    }
    EXPECT_EQ(received(QMApplicationCommandDMXValuesChanged), 1u);
    EXPECT_EQ(received(QMApplicationCommandMIDINote), 1u);
    EXPECT_EQ(received(QMApplicationCommandMIDINotes), 1u);
    for (int tag = 1; tag <= 4; ++tag) {
        EXPECT_TRUE(rig.app.channel(tag).calls.isEmpty());
        EXPECT_TRUE(rig.app.channel(tag).movie.calls.isEmpty());
    }
}
