// AMP from the outside: a switcher peer sends text messages over TCP, UDP (127.0.0.1) and a
// pseudo-terminal and checks every answer character by character, and what the interpreter
// received.
#include "comm/core/QMApplicationCommands.h"
#include "comm/core/protocols/amp/QMProtocolParserAMP.h"
#include "comm/core/protocols/deck/QMTimeCodeBVW.h"
#include "tests/comm/core/protocols/amp/AmpPeer.h"
#include "tests/comm/core/protocols/deckfakes/DeckRig.h"
#include "tests/comm/core/protocols/deckfakes/Fuzz.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

using amppeer::cmds;
using amppeer::withChecksum;

namespace {

enum class Transport { Tcp, Udp, Serial };

QString tc(const QVariant& v)
{
    return qmTimeCodeFromVariant(v).stringValue();
}

struct Amp {
    DeckRig rig{std::make_shared<QMProtocolParserAMP>()};
    std::unique_ptr<PeerLink> peer;
    QString connection; // the TCP connection identifier

    explicit Amp(Transport transport)
    {
        if (transport == Transport::Tcp) {
            rig.listenTcp();
            auto tcp = rig.tcpPeer();
            connection = tcp->identifier();
            peer = std::move(tcp);
        } else if (transport == Transport::Udp) {
            rig.listenUdp();
            peer = rig.udpPeer();
        } else {
            rig.openSerial();
            peer = rig.ptyPeer();
        }
    }
    // Sends and reads exactly as many characters as the expected answer has.
    QByteArray ask(const QByteArray& message, const QByteArray& expected)
    {
        peer->send(message);
        return peer->receive(expected.size());
    }
    DeckInterpreter& interp() { return *rig.interpreter; }
    std::shared_ptr<QMProtocolParserAMP> parser() { return rig.as<QMProtocolParserAMP>(); }
};

#define EXPECT_ANSWER(amp, message, expected)                    \
    do {                                                         \
        const QByteArray wanted_ = (expected);                   \
        EXPECT_EQ((amp).ask((message), wanted_), wanted_);       \
    } while (false)

class AmpOverAll : public ::testing::TestWithParam<Transport> {};

std::string transportName(const ::testing::TestParamInfo<Transport>& param)
{
    return param.param == Transport::Tcp ? "Tcp" : param.param == Transport::Udp ? "Udp" : "Serial";
}

} // namespace

TEST_P(AmpOverAll, TransportRowsAndFixedAnswers)
{
    Amp a(GetParam());
    EXPECT_ANSWER(a, cmds("2001"), "1001");
    EXPECT_FALSE(a.interp().last("play").params.contains(QMApplicationCommandPortName));
    EXPECT_ANSWER(a, cmds("2401", "04030201"), "1001");
    EXPECT_EQ(tc(a.interp().last("play").params.value(QMApplicationCommandTransportParameterTimecode)), QStringLiteral("01:02:03:04"));
    EXPECT_ANSWER(a, cmds("2010"), "1001");
    EXPECT_ANSWER(a, cmds("2020"), "1001");
    EXPECT_FALSE(a.interp().last("fastForward").params.contains(QMApplicationCommandTransportParameterSpeed));
    EXPECT_EQ(a.interp().count("rewind"), 1);
    EXPECT_ANSWER(a, cmds("2002"), "111201");          // Record: known, not carried out
    EXPECT_ANSWER(a, cmds("2F99"), "111201");          // unknown code
    EXPECT_ANSWER(a, cmds("4142", "00"), "1001");      // loop mode: acknowledged only
    EXPECT_ANSWER(a, cmds("0011"), "1211f33f");
    EXPECT_ANSWER(a, "CMDS0\r\n", "111201");           // too short for its fields
    EXPECT_ANSWER(a, "HELLO\r\n", "1001");             // not a verb: acknowledged
    EXPECT_ANSWER(a, cmds("610C", "02"), "700D7D");
    EXPECT_ANSWER(a, cmds("610C", "77"), "111201");
    EXPECT_ANSWER(a, cmds("A00F"), "820F0003012Ec3");
    EXPECT_ANSWER(a, cmds("A217", "0001"), "111201");
    EXPECT_TRUE(a.peer->quietFor(80).isEmpty());
}

TEST_P(AmpOverAll, LinesAssembleOnCrOrLfAndBareChunksAfterAGap)
{
    Amp a(GetParam());
    // Room for a loaded machine between the two chunks below; the rule is the same at any gap.
    a.parser()->setMessageGap(std::chrono::milliseconds(500));
    // Two messages in one write, one with CR and one with LF.
    EXPECT_ANSWER(a, cmds("2001", {}, "\r") + cmds("2000", {}, "\n"), "10011001");
    EXPECT_EQ(a.interp().count("play"), 1);
    EXPECT_EQ(a.interp().count("stop"), 1);
    if (GetParam() != Transport::Udp) {
        // One message in two chunks is one message.
        const QByteArray play = cmds("2401", "10203001");
        a.peer->send(play.left(9));
        testsupport::pumpEvents(10);
        EXPECT_ANSWER(a, play.mid(9), "1001");
        EXPECT_EQ(tc(a.interp().last("play").params.value(QMApplicationCommandTransportParameterTimecode)), QStringLiteral("01:30:20:10"));
    }
    if (GetParam() == Transport::Tcp) {
        // Over TCP a line waits for its line end, however long the quiet.
        a.peer->send(cmds("2000", {}, ""));
        EXPECT_TRUE(a.peer->quietFor(700).isEmpty());
        EXPECT_ANSWER(a, "\n", "1001");
    } else {
        // No line end at all: taken as the message once the line falls quiet.
        EXPECT_ANSWER(a, cmds("2000", {}, ""), "1001");
    }
    EXPECT_EQ(a.interp().count("stop"), 2);
}

TEST_P(AmpOverAll, TimeUserBitsStatusAndIdentity)
{
    QCoreApplication::setApplicationName(QStringLiteral("Kalvanto"));
    Amp a(GetParam());
    // Queries of an unbound connection ask for port 1; cues go unaddressed (port 0 here).
    DeckChannel& ch = a.interp().channels[1];
    a.interp().channels[0].media = {QStringLiteral("CLIP1")};
    ch.currentTime = QMTimeCode::timecodeWithFrames(4, 3, 2, 1);
    ch.state = QMApplicationStatePlay;
    EXPECT_ANSWER(a, cmds("610C", "01"), withChecksum("740404030201"));
    EXPECT_ANSWER(a, cmds("4405", "01020A0B"), "1001");
    // User bits come back in hex, as they were preset.
    EXPECT_ANSWER(a, cmds("610C", "10"), withChecksum("740401020A0B"));
    EXPECT_ANSWER(a, cmds("610C", "11"), withChecksum("7804040302010102" "0A0B"));
    EXPECT_ANSWER(a, cmds("4405", "01"), "111201");

    // Playing: byte 1 0x81, byte 2 0x80; bytes 2 to 5, then the whole first ten.
    EXPECT_ANSWER(a, cmds("6120", "24"), withChecksum("742080000000"));
    EXPECT_ANSWER(a, cmds("6120", "0A"), withChecksum("7a20" "02818000000000000000"));
    EXPECT_ANSWER(a, cmds("6120", "D4"), withChecksum("7420" "10000000")); // past byte 15: zeros
    ch.state = QMApplicationStateStill;
    EXPECT_ANSWER(a, cmds("2431", "00001000"), "1001");
    EXPECT_EQ(tc(a.interp().last("cue").params.value(QMApplicationCommandCueMediaParamSetPlayhead)), QStringLiteral("00:10:00:00"));
    EXPECT_ANSWER(a, cmds("6120", "04"), withChecksum("7420" "02a00300"));
    EXPECT_ANSWER(a, cmds("4014", "00000000" "434C495031"), "1001");
    EXPECT_EQ(a.interp().last("cue").params.value(QMApplicationCommandCueMediaParamMediaID).toString(), QStringLiteral("CLIP1"));
    EXPECT_ANSWER(a, cmds("6120", "31"), withChecksum("7120" "01"));
    EXPECT_ANSWER(a, cmds("200F"), "1001"); // eject stops and clears the presets
    EXPECT_EQ(a.interp().count("stop"), 1);
    EXPECT_ANSWER(a, cmds("6120", "24"), withChecksum("7420" "02000000"));

    ch.cuedName = QStringLiteral("Intro");
    ch.duration = QMTimeCode::timecodeWithFrames(12, 30, 1, 0);
    ch.media = {QStringLiteral("Intro")};
    EXPECT_ANSWER(a, cmds("A016"), withChecksum("8216" "0008" "0005" "496E74726F"));
    EXPECT_ANSWER(a, cmds("A217", "00000000" "496E74726F"), withChecksum("841712300100"));
    ch.cuedName.clear();
    EXPECT_ANSWER(a, cmds("A016"), "8016");
    EXPECT_ANSWER(a, cmds("A02C"), withChecksum("822c" "000a" "08" "4B616C76616E746F"));
}

TEST_P(AmpOverAll, ClipListingAndCounts)
{
    Amp a(GetParam());
    DeckChannel& ch = a.interp().channels[1]; // queries of an unbound connection ask for port 1
    a.interp().channels[0].media = {QStringLiteral("CLIP-001"), QStringLiteral("CLIP-002")};
    ch.media = {QStringLiteral("One"), QStringLiteral("Second clip"), QStringLiteral("3rd"), QStringLiteral("Four"), QStringLiteral("\u00c9t\u00e9")};
    EXPECT_ANSWER(a, cmds("A026"), withChecksum("822600020005"));
    EXPECT_EQ(withChecksum("822600020005"), QByteArray("822600020005af"));
    // Fixed form: padded with spaces, cut to 8 characters.
    EXPECT_ANSWER(a, cmds("A014"), withChecksum("8814" "4F6E652020202020"));
    EXPECT_ANSWER(a, cmds("A015"), withChecksum("8814" "5365636F6E642063"));
    // Length-prefixed: three names asked for.
    EXPECT_ANSWER(a, cmds("A115", "03"), withChecksum("8a14" "0010" "0003" "337264" "0004" "466F7572" "0003" "3F743F"));
    EXPECT_ANSWER(a, cmds("A015"), withChecksum("8014"));
    EXPECT_EQ(withChecksum("8014"), QByteArray("801494"));
    // A fresh list with exactly eight command characters gives the length-prefixed form.
    EXPECT_ANSWER(a, cmds("A214", "0001"), withChecksum("8a14" "0005" "0003" "4F6E65"));
    ch.media.clear();
    EXPECT_ANSWER(a, cmds("A014"), "801494");
    EXPECT_ANSWER(a, cmds("A026"), withChecksum("822600020000"));

    // Cue by name, with and without a time.
    EXPECT_ANSWER(a, cmds("2831", "434C49502D303031"), "1001");
    EXPECT_EQ(a.interp().last("cue").params.value(QMApplicationCommandCueMediaParamMediaID).toString(), QStringLiteral("CLIP-001"));
    EXPECT_ANSWER(a, cmds("2C31", "00000001" "434C49502D303032"), "1001");
    const auto cue = a.interp().last("cue").params;
    EXPECT_EQ(cue.value(QMApplicationCommandCueMediaParamMediaID).toString(), QStringLiteral("CLIP-002"));
    EXPECT_EQ(tc(cue.value(QMApplicationCommandCueMediaParamSetPlayhead)), QStringLiteral("01:00:00:00"));
    EXPECT_ANSWER(a, cmds("2331", "000000"), "1001"); // an odd length cues nothing
    EXPECT_EQ(a.interp().count("cue"), 2);
}

INSTANTIATE_TEST_SUITE_P(Transports, AmpOverAll, ::testing::Values(Transport::Tcp, Transport::Udp, Transport::Serial), transportName);

TEST(Amp, CratBindsATcpConnectionToAChannelByName)
{
    Amp a(Transport::Tcp);
    a.interp().channelsByName[QStringLiteral("Channel 2")].state = QMApplicationStatePlay;
    EXPECT_ANSWER(a, "CRAT0010201Channel 2\r\n", "1001");
    EXPECT_ANSWER(a, cmds("2001"), "1001");
    EXPECT_EQ(a.interp().last("play").params.value(QMApplicationCommandPortName).toString(), QStringLiteral("Channel 2"));
    EXPECT_ANSWER(a, cmds("6120", "11"), withChecksum("7120" "81"));
    // Lower-case hex finds the same rows, and carries the name too.
    EXPECT_ANSWER(a, cmds("200f"), "1001");
    EXPECT_EQ(a.interp().last("stop").params.value(QMApplicationCommandPortName).toString(), QStringLiteral("Channel 2"));
    // Status Sense without data has no answer of its own: over TCP the NAK stands in.
    EXPECT_ANSWER(a, cmds("6120"), "111201");

    EXPECT_ANSWER(a, "STOP0000\r\n", "1001");
    EXPECT_ANSWER(a, cmds("2001"), "1001");
    EXPECT_FALSE(a.interp().last("play").params.contains(QMApplicationCommandPortName));
    EXPECT_ANSWER(a, "REAQ0010202Channel 2\r\n", "1001");
    EXPECT_EQ(a.parser()->channelForConnection(a.connection), QStringLiteral("Channel 2"));
    EXPECT_ANSWER(a, "CRAT0002\r\n", "1001");           // too short to bind: unchanged
    EXPECT_EQ(a.parser()->channelForConnection(a.connection), QStringLiteral("Channel 2"));
    EXPECT_ANSWER(a, "CRAT00102\r\n", "1001");          // type 2 without a name: unchanged
    EXPECT_EQ(a.parser()->channelForConnection(a.connection), QStringLiteral("Channel 2"));
    EXPECT_ANSWER(a, "CRAT0010101Channel 2\r\n", "1001"); // another type unbinds
    EXPECT_TRUE(a.parser()->channelForConnection(a.connection).isEmpty());

    // A closed connection takes its binding with it.
    EXPECT_ANSWER(a, "CRAT0010201Channel 2\r\n", "1001");
    static_cast<TcpPeer&>(*a.peer).close();
    EXPECT_TRUE(testsupport::waitUntil([&] { return a.parser()->channelForConnection(a.connection).isEmpty(); }));
}

TEST(Amp, UdpAndSerialStayQuietWithoutAnAnswer)
{
    for (const Transport t : {Transport::Udp, Transport::Serial}) {
        Amp a(t);
        a.peer->send(cmds("6120"));
        EXPECT_TRUE(a.peer->quietFor(150).isEmpty());
        EXPECT_ANSWER(a, "CRAT0010201Channel 2\r\n", "1001"); // no connection to bind
        EXPECT_ANSWER(a, cmds("2001"), "1001");
        EXPECT_FALSE(a.interp().last("play").params.contains(QMApplicationCommandPortName));
    }
}

TEST(Amp, TableAndClassFacts)
{
    const auto table = QMProtocolParserAMP::lookupTable();
    EXPECT_EQ(table.size(), 98u);
    int acting = 0;
    for (const QMAMPCommand& row : table)
        acting += (row.handler || row.applicationCommand) ? 1 : 0;
    EXPECT_EQ(acting, 19);
    EXPECT_EQ(QMProtocolParserAMP::checksumForString(QStringLiteral("740404030201")), QStringLiteral("82"));
    EXPECT_FALSE(QMProtocolParserAMP::timecodeFromString(u"1234567"));
    EXPECT_EQ(QMProtocolParserAMP::timecodeFromString(u"0x020304")->stringValue(), QStringLiteral("04:03:02:00"));
    QMProtocolParserAMP::registerParserClass();
    const QMProtocolParserClass* c = QMProtocolParserClass::classNamed(QStringLiteral("QMProtocolParserAMP"));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->supportedProtocol(), QStringLiteral("AMP"));
    EXPECT_EQ(c->supportedHardwareCommunicators().size(), 3);
}

TEST(Amp, RandomTextAndCutMessagesNeverCrashHangOrGrow)
{
    DeckRig rig(std::make_shared<QMProtocolParserAMP>());
    auto amp = rig.as<QMProtocolParserAMP>();
    rig.interpreter->channels[0].media = {QStringLiteral("a"), QStringLiteral("b")};
    std::vector<QByteArray> valid;
    for (const QMAMPCommand& row : QMProtocolParserAMP::lookupTable())
        for (const char* data : {"", "01", "24", "0102030A", "0000000041424344", "000000004142434445464748"})
            valid.push_back(cmds(QByteArray(row.originalCommand).replace('X', '4'), data, ""));
    for (const char* other : {"CRAT0010201x", "REAQ00102", "STOP", "CRAT", "CMDS"})
        valid.push_back(other);
    const std::uint64_t steps = deckfuzz::runFor([&](deckfuzz::Source& source) {
        const QByteArray& base = valid[std::size_t(source.below(int(valid.size())))];
        const QByteArray message = source.below(2) ? source.mutate(base) : base;
        amp->responseForMessage(message, source.below(2) ? QStringLiteral("127.0.0.1:1") : QString());
        amp->serialHardwareReadData(nullptr, message + (source.below(2) ? "\n" : ""));
        // Only the serial line buffers here, and a line without its end is cut at the cap.
        ASSERT_LE(amp->bufferedByteCount(), QMProtocolParserAMP::kMaxLineBytes);
        if (source.below(1000) == 0)
            rig.interpreter->clear();
    });
    EXPECT_GT(steps, 0u);
}
