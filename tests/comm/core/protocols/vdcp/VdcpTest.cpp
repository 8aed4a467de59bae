// VDCP from the outside: a controller peer sends frames over a pseudo-terminal or a TCP
// connection on 127.0.0.1 and checks every reply byte by byte and every command the
// interpreter received.
#include "comm/core/QMApplicationCommands.h"
#include "comm/core/protocols/deck/QMTimeCodeBVW.h"
#include "comm/core/protocols/vdcp/QMProtocolParserVDCP.h"
#include "tests/comm/core/protocols/deckfakes/DeckRig.h"
#include "tests/comm/core/protocols/deckfakes/Fuzz.h"
#include "tests/comm/core/protocols/vdcp/VdcpPeer.h"
#include "platform/foundation/Log.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using vdcppeer::frame;
using vdcppeer::Reply;

namespace {

enum class Transport { Serial, Tcp };

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int v : values)
        out.append(char(v));
    return out;
}

QString tc(const QVariant& v)
{
    return qmTimeCodeFromVariant(v).stringValue();
}

struct Vdcp {
    DeckRig rig{std::make_shared<QMProtocolParserVDCP>()};
    std::unique_ptr<PeerLink> peer;

    explicit Vdcp(Transport transport)
    {
        if (transport == Transport::Serial) {
            rig.openSerial();
            peer = rig.ptyPeer();
        } else {
            rig.listenTcp();
            auto tcp = rig.tcpPeer();
            const QString id = tcp->identifier();
            testsupport::waitUntil([&] { return rig.as<QMProtocolParserVDCP>()->connection(id) != nullptr; });
            peer = std::move(tcp);
        }
    }
    std::vector<Reply> exchange(const QByteArray& sent, int replies)
    {
        peer->send(sent);
        QByteArray stream = peer->receiveUntil([&](const QByteArray& s) { return vdcppeer::holdsReplies(s, replies); });
        std::vector<Reply> out;
        while (auto r = vdcppeer::takeReply(stream))
            out.push_back(*r);
        return out;
    }
    Reply ask(const QByteArray& sent)
    {
        const auto replies = exchange(sent, 1);
        return replies.empty() ? Reply{} : replies.front();
    }
    DeckInterpreter& interp() { return *rig.interpreter; }
};

class VdcpOverBoth : public ::testing::TestWithParam<Transport> {};

} // namespace

TEST_P(VdcpOverBoth, PlayOpenPortAndPortNumbers)
{
    Vdcp v(GetParam());
    // 02 02 10 01 EF: Play, unit 0, answered by the single byte 04.
    EXPECT_EQ(v.ask(bytes({0x02, 0x02, 0x10, 0x01, 0xEF})).raw, bytes({0x04}));
    EXPECT_EQ(v.interp().last("play").params.value(QMApplicationCommandPortNumber).toLongLong(), 0);

    // Open Port answers the grant: 01 for a port that addresses a channel.
    v.interp().channels[3].media = {QStringLiteral("Intro")};
    EXPECT_EQ(v.ask(bytes({0x02, 0x03, 0x30, 0x01, 0x03, 0xCC})).raw, bytes({0x02, 0x03, 0x30, 0x81, 0x01, 0x4E}));
    EXPECT_EQ(v.ask(frame(0x10, 0x00)).kind, Reply::Ack);
    EXPECT_EQ(v.interp().last("stop").params.value(QMApplicationCommandPortNumber).toLongLong(), 3);
    EXPECT_EQ(v.ask(frame(0x10, 0x04)).kind, Reply::Ack);
    EXPECT_EQ(v.ask(frame(0x10, 0x06)).kind, Reply::Ack);
    EXPECT_EQ(v.interp().count("pause"), 1);
    EXPECT_EQ(v.interp().count("play"), 2);

    // Unit nibble is ignored for the lookup and echoed in replies.
    const Reply r = v.ask(frame(0x37, 0x16, QByteArray("Intro   ")));
    EXPECT_EQ(r.raw, frame(0x37, 0x96, bytes({0x01, 0x00, 0x00})));
    // Select, Close Port and Disk Preroll acknowledge and change nothing.
    for (int code : {0x21, 0x22, 0x43})
        EXPECT_EQ(v.ask(frame(0x20, std::uint8_t(code), bytes({0x01}))).kind, Reply::Ack);
}

TEST_P(VdcpOverBoth, FramingSplitJoinedGarbageChecksumAndUnknownCommands)
{
    Vdcp v(GetParam());
    // Two frames in one write, both answered in order.
    auto replies = v.exchange(frame(0x10, 0x01) + frame(0x30, 0x01, bytes({0x02})), 2);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0].kind, Reply::Ack);
    EXPECT_TRUE(replies[1].isData(0x81));

    // A frame split across writes is answered once, when its last byte arrives (port 5
    // addresses no channel: refused).
    const QByteArray open = frame(0x30, 0x01, bytes({0x05}));
    v.peer->send(open.left(3));
    EXPECT_TRUE(v.peer->quietFor(30).isEmpty());
    EXPECT_EQ(v.ask(open.mid(3)).data, bytes({0x00}));

    // Garbage before STX is skipped, on either transport.
    EXPECT_EQ(v.ask(bytes({0x11, 0x7F, 0xFF}) + frame(0x10, 0x00)).kind, Reply::Ack);
    EXPECT_EQ(v.ask(bytes({0x55}) + frame(0x10, 0x00)).kind, Reply::Ack);
    EXPECT_EQ(v.interp().count("stop"), 2);

    // A wrong checksum is refused with the checksum-error NAK and not carried out.
    QByteArray bad = frame(0x10, 0x01);
    bad[bad.size() - 1] = char(bad.back() + 1);
    EXPECT_EQ(v.ask(bad).raw, bytes({0x05, 0x04}));
    EXPECT_EQ(v.interp().count("play"), 1);

    // Unknown group, unknown code: undefined-command NAK.
    EXPECT_EQ(v.ask(frame(0x40, 0x01)).raw, bytes({0x05, 0x01}));
    EXPECT_EQ(v.ask(frame(0x10, 0x09)).raw, bytes({0x05, 0x01}));
    // A message too short for its command is refused with the undefined-command NAK, and the
    // next frame is answered: here a Cue With Data that carries its ID but no times.
    replies = v.exchange(bytes({0x02, 0x0A, 0x20, 0x25, 0x48, 0x32, 0x36, 0x34, 0x5F, 0x37, 0x32, 0x30, 0xDF}) + frame(0x10, 0x00), 2);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0].raw, bytes({0x05, 0x01}));
    EXPECT_EQ(replies[1].kind, Reply::Ack);
    // So are a frame without a command, and others cut short of their data.
    for (const QByteArray& cut : {bytes({0x02, 0x00, 0x00}), bytes({0x02, 0x01, 0x30, 0xD0}), frame(0x20, 0x25, QByteArray("AB", 2)),
                                  frame(0x20, 0x24, QByteArray("AB", 2)), frame(0x30, 0x01), frame(0x30, 0x05), frame(0x30, 0x25, bytes({0x01})),
                                  frame(0xA0, 0x24, bytes({0x05, 0x41}))})
        EXPECT_EQ(v.ask(cut).raw, bytes({0x05, 0x01})) << cut.toHex().toStdString();
    EXPECT_EQ(v.interp().count("cue"), 0);
    // Last repeats nothing of a NAK.
    EXPECT_EQ(v.ask(frame(0x30, 0x03)).raw, frame(0x30, 0x83, bytes({0x00})));
}

TEST_P(VdcpOverBoth, AStalePartialFrameIsDroppedAndTheLineAnswersAgain)
{
    Vdcp v(GetParam());
    // A byte count of 0xFF announces 256 more bytes that never come.
    v.peer->send(bytes({0x02, 0xFF, 0x30, 0x05, 0x01}));
    EXPECT_TRUE(v.peer->quietFor(300).isEmpty());
    // After the pause the next frame starts afresh and is answered.
    EXPECT_EQ(v.ask(frame(0x10, 0x01)).kind, Reply::Ack);
    EXPECT_EQ(v.interp().count("play"), 1);
}

TEST_P(VdcpOverBoth, SpeedsStepsAndJogs)
{
    Vdcp v(GetParam());
    auto paramsOf = [&](const char* op) { return v.interp().last(QString::fromLatin1(op)).params; };
    EXPECT_EQ(v.ask(frame(0x10, 0x08, bytes({0x01, 0x00, 0x00}))).kind, Reply::Ack);
    EXPECT_EQ(paramsOf("play").value(QMApplicationCommandTransportParameterSpeed).toDouble(), 1.0);
    EXPECT_EQ(paramsOf("play").value(QMApplicationCommandTransportParameterDirection).toInt(), 1);
    v.ask(frame(0x10, 0x08, bytes({0x02, 0x00, 0x00})));
    EXPECT_EQ(paramsOf("fastForward").value(QMApplicationCommandTransportParameterSpeed).toDouble(), 2.0);
    v.ask(frame(0x10, 0x08, bytes({0xFF, 0x00, 0x00})));
    EXPECT_EQ(paramsOf("play").value(QMApplicationCommandTransportParameterSpeed).toDouble(), -1.0);
    EXPECT_EQ(paramsOf("play").value(QMApplicationCommandTransportParameterDirection).toInt(), -1);
    v.ask(frame(0x10, 0x08, bytes({0xFD, 0x80, 0x00})));
    EXPECT_EQ(paramsOf("rewind").value(QMApplicationCommandTransportParameterSpeed).toDouble(), -2.5);
    v.ask(frame(0x10, 0x08, bytes({0x00, 0x00, 0x00})));
    EXPECT_FALSE(paramsOf("pause").contains(QMApplicationCommandTransportParameterSpeed));
    EXPECT_TRUE(paramsOf("pause").contains(QMApplicationCommandPortNumber));
    // Only three speed bytes are a Variable Play.
    EXPECT_EQ(v.ask(frame(0x10, 0x08, bytes({0x01, 0x00}))).raw, bytes({0x05, 0x01}));

    v.ask(frame(0x10, 0x05, bytes({0x09})));
    EXPECT_EQ(paramsOf("step").value(QMApplicationCommandTransportParameterDirection).toInt(), 1);
    v.ask(frame(0x10, 0x07, bytes({0xFF})));
    EXPECT_EQ(paramsOf("step").value(QMApplicationCommandTransportParameterDirection).toInt(), -1);
    EXPECT_EQ(paramsOf("step").value(QMApplicationCommandTransportParameterFrames).toLongLong(), 1);
    v.ask(frame(0x10, 0x07, bytes({0x05})));
    EXPECT_EQ(paramsOf("seek").value(QMApplicationCommandTransportParameterFrames).toLongLong(), 5);
    v.ask(frame(0x10, 0x07, bytes({0xFF, 0xFF, 0xFE, 0x0C})));
    EXPECT_EQ(paramsOf("seek").value(QMApplicationCommandTransportParameterFrames).toLongLong(), 500);
    EXPECT_EQ(paramsOf("seek").value(QMApplicationCommandTransportParameterDirection).toInt(), -1);
    v.ask(frame(0x10, 0x07, bytes({0x01, 0x02})));
    EXPECT_FALSE(paramsOf("seek").contains(QMApplicationCommandTransportParameterFrames));
    EXPECT_EQ(v.interp().count("seek"), 3);
}

TEST_P(VdcpOverBoth, PortStatusForPlayingAndStillChannels)
{
    Vdcp v(GetParam());
    v.interp().channels[1].state = QMApplicationStatePlay;
    v.interp().channels[2].state = QMApplicationStateStill;
    v.ask(frame(0x30, 0x01, bytes({0x01})));
    // Playing, not prerolling, then the port byte.
    EXPECT_EQ(v.ask(frame(0x30, 0x05, bytes({0x01}))).raw, frame(0x30, 0x85, bytes({0x01, 0xA0, 0x01})));
    v.ask(frame(0x30, 0x01, bytes({0x02})));
    EXPECT_EQ(v.ask(frame(0x30, 0x05, bytes({0x01}))).data, bytes({0x01, 0x88, 0x02}));
    // Every block: 2 + 1 + 6 + 1 + 1 bytes, and the wide forms of blocks 1 and 2.
    EXPECT_EQ(v.ask(frame(0x30, 0x05, bytes({0x1F}))).data.size(), 1 + 2 + 1 + 6 + 1 + 1);
    EXPECT_EQ(v.ask(frame(0x30, 0x05, bytes({0x66}))).data, bytes({0x66, 0, 0, 0, 0, 0}));

    // Four ports from port 1: BC 25, each port's own state.
    const Reply range = v.ask(frame(0x30, 0x25, bytes({0x01, 0x04})));
    EXPECT_EQ(std::uint8_t(range.raw.at(1)), 25);
    EXPECT_EQ(range.data, bytes({0x01, 0x04, 0x00, 0xA0, 0, 0, 0, 0, 0x88, 0, 0, 0, 0, 0x81, 0, 0, 0, 0, 0x81, 0, 0, 0, 0}));
    EXPECT_EQ(v.ask(frame(0xB0, 0x25, bytes({0x01, 0x00}))).data, bytes({0x01, 0x00, 0x00}));
    // A range too long for one reply is capped at 50 ports (and says so).
    const Reply capped = v.ask(frame(0x30, 0x25, bytes({0x00, 0xFF})));
    EXPECT_EQ(capped.kind, Reply::Data);
    EXPECT_EQ(std::uint8_t(capped.data.at(1)), 50);
    EXPECT_EQ(capped.data.size(), 3 + 50 * 5);
}

TEST_P(VdcpOverBoth, PositionSizeActiveIDAndDeviceReplies)
{
    QCoreApplication::setApplicationName(QStringLiteral("Kalvanto Playout Server"));
    Vdcp v(GetParam());
    DeckChannel& ch = v.interp().channels[0];
    ch.cuedName = QStringLiteral("Opening titles");
    ch.currentTime = QMTimeCode::timecodeWithFrames(4, 3, 2, 1);
    ch.duration = QMTimeCode::timecodeWithFrames(24, 59, 10, 0);

    EXPECT_EQ(v.ask(frame(0x30, 0x06, bytes({0x01}))).data, bytes({0x01, 0x04, 0x03, 0x02, 0x01}));
    EXPECT_EQ(v.ask(frame(0x30, 0x06, bytes({0x00}))).data, bytes({0x00, 0x24, 0x59, 0x10, 0x00}));
    EXPECT_EQ(v.ask(frame(0x30, 0x06, bytes({0x03}))).raw, bytes({0x05, 0x01}));
    EXPECT_EQ(v.ask(frame(0x30, 0x14, QByteArray("ANYTHING"))).data, bytes({0x24, 0x59, 0x10, 0x00}));

    EXPECT_EQ(v.ask(frame(0x30, 0x07)).data, QByteArray("\x01Opening ", 9));
    EXPECT_EQ(v.ask(frame(0xB0, 0x07)).data, QByteArray("\x01\x0EOpening titles", 16));
    ch.cuedName = QStringLiteral("Caf\u00e9 \U0001F600");
    EXPECT_EQ(v.ask(frame(0xB0, 0x07)).data, QByteArray("\x01\x06" "Caf? ?", 8));
    ch.cuedName = QString(300, u'x');
    const Reply longID = v.ask(frame(0xB0, 0x07));
    EXPECT_EQ(std::uint8_t(longID.data.at(1)), 251);
    EXPECT_EQ(longID.data.size(), 2 + 251);
    ch.cuedName.clear();
    EXPECT_EQ(v.ask(frame(0x30, 0x07)).data, QByteArray("\x00        ", 9));

    // The application's name, cut to 16 bytes, last character included when it fits.
    EXPECT_EQ(v.ask(frame(0x30, 0x08)).data, QByteArray("Kalvanto Playout"));
    EXPECT_EQ(v.ask(frame(0x30, 0x10, bytes({0x3F}))).data, bytes({0x3F, 0, 0, 0, 0, 0, 0, 0x00, 0x02, 0x0C, 0, 0, 0, 0, 0}));
    EXPECT_EQ(v.ask(frame(0x30, 0x10, bytes({0x43}))).data, bytes({0x43, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_P(VdcpOverBoth, ListPagingLastAndCueingByListedIDs)
{
    Vdcp v(GetParam());
    DeckChannel& ch = v.interp().channels[0];
    for (int i = 0; i < 25; ++i)
        ch.media << QStringLiteral("clip%1").arg(i, 2, 10, QChar(u'0'));
    auto countOf = [](const Reply& r) { return (std::uint8_t(r.data.at(0)) << 8) | std::uint8_t(r.data.at(1)); };

    const Reply first = v.ask(frame(0x30, 0x11));
    ASSERT_TRUE(first.isData(0x91));
    EXPECT_EQ(countOf(first), 15);
    EXPECT_EQ(first.data.mid(2), QByteArray("clip00  clip01  clip02  clip03  clip04  clip05  clip06  clip07  clip08  clip09  "));
    // Last repeats the previous data reply under 0x83.
    const Reply last = v.ask(frame(0x30, 0x03));
    EXPECT_TRUE(last.isData(0x83));
    EXPECT_EQ(last.data, first.data);
    const Reply second = v.ask(frame(0x30, 0x02));
    EXPECT_EQ(countOf(second), 5);
    EXPECT_EQ(second.data.size(), 2 + 80);
    const Reply third = v.ask(frame(0x30, 0x02));
    EXPECT_EQ(countOf(third), 0);
    EXPECT_EQ(third.data.mid(2, 8), QByteArray("clip20  "));
    EXPECT_EQ(third.data.size(), 2 + 40);
    EXPECT_EQ(v.ask(frame(0x30, 0x02)).raw, bytes({0x05, 0x01}));
    // After an ACK or NAK, Last has nothing to repeat.
    EXPECT_EQ(v.ask(frame(0x30, 0x03)).data, bytes({0x00}));

    // Fixed IDs: short names padded, 8 characters unchanged, longer names keep their first 8;
    // variable IDs carry the whole name.
    ch.media = {QStringLiteral("ab"), QStringLiteral("exactly8"), QStringLiteral("Interview1"), QStringLiteral("Na\u00efve")};
    EXPECT_EQ(v.ask(frame(0x30, 0x11)).data.mid(2), QByteArray("ab      exactly8IntervieNa?ve   "));
    EXPECT_EQ(v.ask(frame(0xB0, 0x11)).data, QByteArray("\x00\x00\x02" "ab\x08" "exactly8\x0A" "Interview1\x05" "Na?ve", 2 + 3 + 9 + 11 + 6));
    EXPECT_EQ(v.ask(frame(0xB0, 0x02)).raw, bytes({0x05, 0x01}));

    // Cueing with an ID as the list gave it reaches the item it stands for.
    EXPECT_EQ(v.ask(frame(0x20, 0x24, QByteArray("Intervie"))).kind, Reply::Ack);
    auto cue = v.interp().last("cue").params;
    EXPECT_EQ(cue.value(QMApplicationCommandCueMediaParamMediaID).toString(), QStringLiteral("Interview1"));
    EXPECT_EQ(tc(cue.value(QMApplicationCommandCueMediaParamSetPlayhead)), QStringLiteral("00:00:00:00"));
    v.ask(frame(0x20, 0x24, QByteArray("ab      ")));
    EXPECT_EQ(v.interp().last("cue").params.value(QMApplicationCommandCueMediaParamMediaID).toString(), QStringLiteral("ab"));
    v.ask(frame(0xA0, 0x24, QByteArray("\x0AInterview1", 11)));
    EXPECT_EQ(v.interp().last("cue").params.value(QMApplicationCommandCueMediaParamMediaID).toString(), QStringLiteral("Interview1"));

    // Cue With Data: in point and duration, fixed and variable forms.
    v.ask(frame(0x20, 0x25, QByteArray("exactly8") + bytes({0x10, 0x20, 0x30, 0x01, 0x00, 0x00, 0x01, 0x00})));
    cue = v.interp().last("cue").params;
    EXPECT_EQ(cue.value(QMApplicationCommandCueMediaParamMediaID).toString(), QStringLiteral("exactly8"));
    EXPECT_EQ(tc(cue.value(QMApplicationCommandCueMediaParamInPoint)), QStringLiteral("01:30:20:10"));
    // The playhead counts from the in point: the cue waits at the in point, not twice as far in.
    EXPECT_EQ(tc(cue.value(QMApplicationCommandCueMediaParamSetPlayhead)), QStringLiteral("00:00:00:00"));
    EXPECT_EQ(tc(cue.value(QMApplicationCommandCueMediaParamDuration)), QStringLiteral("00:01:00:00"));
    v.ask(frame(0x90, 0x25, QByteArray("\x02" "ab", 3) + bytes({0x00, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00})));
    cue = v.interp().last("cue").params;
    EXPECT_EQ(cue.value(QMApplicationCommandCueMediaParamMediaID).toString(), QStringLiteral("ab"));
    EXPECT_EQ(tc(cue.value(QMApplicationCommandCueMediaParamDuration)), QStringLiteral("00:00:00:05"));
}

std::string transportName(const ::testing::TestParamInfo<Transport>& param)
{
    return param.param == Transport::Serial ? "Serial" : "Tcp";
}

INSTANTIATE_TEST_SUITE_P(Transports, VdcpOverBoth, ::testing::Values(Transport::Serial, Transport::Tcp), transportName);

TEST(Vdcp, TcpStatesLiveAsLongAsTheirConnections)
{
    Vdcp v(Transport::Tcp);
    auto parser = v.rig.as<QMProtocolParserVDCP>();
    auto second = v.rig.tcpPeer();
    ASSERT_TRUE(testsupport::waitUntil([&] { return parser->connectionCount() == 2; }));
    // Each connection keeps its own port.
    v.ask(frame(0x30, 0x01, bytes({0x07})));
    second->send(frame(0x10, 0x01));
    second->receive(1);
    EXPECT_EQ(v.interp().last("play").params.value(QMApplicationCommandPortNumber).toLongLong(), 0);
    second->close();
    EXPECT_TRUE(testsupport::waitUntil([&] { return parser->connectionCount() == 1; }));
}

TEST(Vdcp, TableAndClassFacts)
{
    EXPECT_EQ(QMProtocolParserVDCP::lookupTable().size(), 35u);
    QMProtocolParserVDCP::registerParserClass();
    const QMProtocolParserClass* c = QMProtocolParserClass::classNamed(QStringLiteral("QMProtocolParserVDCP"));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->supportedProtocol(), QStringLiteral("VDCP"));
    EXPECT_EQ(c->protocolBehaviorMask(), 4u);
    EXPECT_EQ(c->supportedHardwareCommunicators(),
              (QStringList{QStringLiteral("QMTCPNetworkHardwareCommunicator"), QStringLiteral("QMSerialHardwareCommunicator")}));
    QMProtocolParserVDCP p;
    EXPECT_EQ(p.preferredTCPPortForNetworkHardware(nullptr), 50103u);
    EXPECT_EQ(p.preferredParityForSerialHardware(nullptr), 1);
    EXPECT_EQ(p.preferredSpeedForSerialHardware(nullptr), 38400);
}

TEST(Vdcp, RandomBytesAndCutFramesNeverCrashHangOrGrow)
{
    DeckRig rig(std::make_shared<QMProtocolParserVDCP>());
    auto parser = rig.as<QMProtocolParserVDCP>();
    rig.interpreter->channels[0].media = {QStringLiteral("a"), QStringLiteral("bb"), QString(90, u'c')};
    rig.interpreter->channels[0].cuedName = QString(300, u'n');
    const auto state = parser->addConnection(QStringLiteral("fuzz"));
    std::vector<QByteArray> valid;
    for (const QMVDCPCommand& row : QMProtocolParserVDCP::lookupTable()) {
        const auto cmd1 = std::uint8_t(QByteArray(row.group).toUInt(nullptr, 16) << 4);
        const auto cmd2 = std::uint8_t(QByteArray(row.code).toUInt(nullptr, 16));
        for (int n : {0, 1, 2, 3, 8, 16, 20})
            valid.push_back(frame(cmd1, cmd2, QByteArray(n, char(n))));
    }
    const std::uint64_t steps = deckfuzz::runFor([&](deckfuzz::Source& source) {
        const QByteArray& base = valid[std::size_t(source.below(int(valid.size())))];
        const QByteArray chunk = source.below(2) ? source.mutate(base) : base;
        {
            std::unique_lock lock(state->serialMutex);
            state->serialBuffer.append(chunk);
        }
        parser->parseSerialBufferForConnection(QStringLiteral("fuzz"));
        parser->responseForMessage(source.mutate(base.mid(2)), QStringLiteral("fuzz"));
        std::unique_lock lock(state->serialMutex);
        // A kept partial frame never exceeds STX, BC and 256 more bytes.
        ASSERT_LE(state->serialBuffer.size(), 258);
        if (source.below(1000) == 0)
            rig.interpreter->clear();
    });
    EXPECT_GT(steps, 0u);
}

TEST(Vdcp, QuickConnectAndCloseCyclesCountOnlyOpenConnections)
{
    Vdcp v(Transport::Tcp);
    auto parser = v.rig.as<QMProtocolParserVDCP>();
    platform::LogCapture log;
    // Controllers that connect, ask and hang up in a tight loop: never more than one of these
    // is open at a time, however late the server notices each close.
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(v.rig.port());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < 2000; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0) << i;
        if (i % 2)
            (void)::send(fd, frame(0x30, 0x05, bytes({0x01})).constData(), 6, MSG_NOSIGNAL);
        ::close(fd);
    }
    EXPECT_FALSE(log.contains("refusing connection"));
    // Every state goes with its connection; the first controller is still answered.
    EXPECT_TRUE(testsupport::waitUntil([&] { return parser->connectionCount() == 1; }, 30000));
    EXPECT_EQ(v.ask(frame(0x10, 0x01)).kind, Reply::Ack);
    auto late = v.rig.tcpPeer();
    late->send(frame(0x10, 0x00));
    EXPECT_EQ(late->receive(1), bytes({0x04}));
}
