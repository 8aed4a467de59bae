// Exchanges that independent edit controllers, switchers and automation send, byte for byte,
// through the command interpreter into recording channels: the 9-pin status block and speeds,
// VITC time, NAK reasons, AMP lines and queries, cues of unknown names, VDCP ID, port and framing.
#include "comm/core/protocols/amp/QMProtocolParserAMP.h"
#include "comm/core/protocols/sonybvw/QMProtocolParserSonyBVW.h"
#include "comm/core/protocols/vdcp/QMProtocolParserVDCP.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/comm/core/protocols/amp/AmpPeer.h"
#include "tests/comm/core/protocols/interpreter/Studio.h"
#include "tests/comm/core/protocols/sonybvw/NinePinPeer.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

using amppeer::cmds;
using amppeer::withChecksum;
using studio::ask;
using studio::Studio;
using vdcppeer::frame;
using vdcppeer::Reply;

using commtest::bytes;

namespace {

// The status block reply of a 61 20 0A request: bytes 0 to 9.
QByteArray statusReply(int byte1, int byte2)
{
    QByteArray block(10, '\0');
    block[1] = char(byte1);
    block[2] = char(byte2);
    return ninepin::packet(0x70, 0x20, block);
}

QList<double> rates(const FakeMovieController& movie)
{
    QList<double> out;
    for (const QString& call : movie.calls)
        if (call.startsWith(QStringLiteral("playAtRate ")))
            out << call.mid(11).toDouble();
    return out;
}

} // namespace

TEST(ControllerConformance, NinePinStatusSenseReportsWhatTheChannelDoes)
{
    Studio s(std::make_shared<QMProtocolParserSonyBVW>());
    s.configureFor(1);
    s.rig.openSerial();
    auto peer = s.rig.ptyPeer();
    auto exchange = [&](const QByteArray& sent, qsizetype replyBytes) {
        peer->send(sent);
        return peer->receive(replyBytes);
    };
    const QByteArray status = bytes({0x61, 0x20, 0x0A, 0x8B});
    s.app.channel(1).movie.playing = true; // started from the channel's own controls
    EXPECT_EQ(exchange(status, 13), statusReply(0x81, 0x80)) << "play, standby; servo lock";
    EXPECT_EQ(exchange(bytes({0x20, 0x00, 0x20}), 3), ninepin::kAck);
    EXPECT_EQ(exchange(status, 13), statusReply(0xA0, 0x00)) << "stop";
    EXPECT_EQ(exchange(bytes({0x21, 0x13, 0x40, 0x74}), 3), ninepin::kAck);
    EXPECT_EQ(exchange(status, 13), statusReply(0x80, 0x20)) << "shuttle forward";
    EXPECT_EQ(exchange(bytes({0x21, 0x23, 0x20, 0x64}), 3), ninepin::kAck);
    EXPECT_EQ(exchange(status, 13), statusReply(0x80, 0x24)) << "shuttle reverse";
    EXPECT_EQ(exchange(bytes({0x20, 0x10, 0x30}), 3), ninepin::kAck);
    EXPECT_EQ(exchange(status, 13), statusReply(0x84, 0x00)) << "fast forward";
    EXPECT_EQ(exchange(bytes({0x24, 0x31, 0x00, 0x00, 0x10, 0x00, 0x65}), 3), ninepin::kAck);
    EXPECT_EQ(exchange(status, 13), statusReply(0x80, 0x03)) << "still, cue complete";
    EXPECT_EQ(exchange(bytes({0x20, 0x01, 0x21}), 3), ninepin::kAck);
    EXPECT_EQ(exchange(status, 13), statusReply(0x81, 0x80)) << "play again; the cue is no longer complete";
    EXPECT_TRUE(s.app.channel(1).movie.playing);
}

TEST(ControllerConformance, NinePinServoLockWheneverAClipIsReady)
{
    // Controllers wait for servo lock before they cue or roll. "Camera" has "Bumper" loaded.
    Studio s(std::make_shared<QMProtocolParserSonyBVW>());
    s.configureFor(2);
    s.rig.openSerial();
    auto peer = s.rig.ptyPeer();
    auto exchange = [&](const QByteArray& sent, qsizetype replyBytes) {
        peer->send(sent);
        return peer->receive(replyBytes);
    };
    const QByteArray status = bytes({0x61, 0x20, 0x0A, 0x8B});
    EXPECT_EQ(exchange(status, 13), statusReply(0x80, 0x82)) << "still, clip loaded: servo lock";
    EXPECT_EQ(exchange(bytes({0x20, 0x00, 0x20}), 3), ninepin::kAck);
    EXPECT_EQ(exchange(status, 13), statusReply(0xA0, 0x80)) << "stopped, clip loaded: servo lock";
    EXPECT_EQ(exchange(bytes({0x24, 0x31, 0x00, 0x00, 0x10, 0x00, 0x65}), 3), ninepin::kAck);
    EXPECT_EQ(exchange(status, 13), statusReply(0x80, 0x83)) << "cued: still, cue complete, servo lock";
    EXPECT_EQ(exchange(bytes({0x21, 0x13, 0x40, 0x74}), 3), ninepin::kAck);
    EXPECT_EQ(exchange(status, 13), statusReply(0x80, 0x20)) << "shuttling: no lock";
    EXPECT_EQ(exchange(bytes({0x20, 0x01, 0x21}), 3), ninepin::kAck);
    s.app.channel(2).movie.playing = true;
    EXPECT_EQ(exchange(status, 13), statusReply(0x81, 0x80)) << "playing";
    // The first three bytes alone, as a controller polls them.
    EXPECT_EQ(exchange(bytes({0x61, 0x20, 0x03, 0x84}), 6), ninepin::packet(0x70 | 3, 0x20, bytes({0x00, 0x81, 0x80})));
}

TEST(ControllerConformance, NinePinJogShuttleAndVarPlayAtTheirOwnSpeeds)
{
    Studio s(std::make_shared<QMProtocolParserSonyBVW>());
    s.rig.openSerial();
    auto peer = s.rig.ptyPeer();
    for (const QByteArray& speed : {bytes({0x21, 0x11, 0x40, 0x72}), bytes({0x21, 0x23, 0x20, 0x64}), bytes({0x21, 0x12, 0x64, 0x97})}) {
        peer->send(speed);
        EXPECT_EQ(peer->receive(3), ninepin::kAck);
    }
    // Fast forward asks for a fast search, which keeps its own speed.
    peer->send(bytes({0x20, 0x10, 0x30}));
    EXPECT_EQ(peer->receive(3), ninepin::kAck);
    for (int tag = 1; tag <= 4; ++tag) {
        const FakeMovieController& movie = s.app.channel(tag).movie;
        const QList<double> r = rates(movie);
        ASSERT_EQ(r.size(), 3) << movie.calls.join(u',').toStdString();
        EXPECT_NEAR(r[0], 1.0, 1e-6);            // N = 64: normal speed
        EXPECT_NEAR(r[1], -0.1, 1e-6);           // N = 32 in reverse: a tenth, backwards
        EXPECT_NEAR(r[2], 13.335214, 1e-4);      // N = 100
        EXPECT_EQ(movie.calls.last(), QStringLiteral("fastForward"));
    }
}

TEST(ControllerConformance, NinePinVitcTimeSenseAnswersTheChannelsTime)
{
    Studio s(std::make_shared<QMProtocolParserSonyBVW>());
    s.configureFor(2); // at 01:02:03:04
    s.rig.openSerial();
    auto peer = s.rig.ptyPeer();
    peer->send(bytes({0x61, 0x0C, 0x02, 0x6F}));
    EXPECT_EQ(peer->receive(7), bytes({0x74, 0x06, 0x04, 0x03, 0x02, 0x01, 0x84}));
    peer->send(bytes({0x61, 0x0C, 0x03, 0x70})); // VITC or LTC
    EXPECT_EQ(peer->receive(7), bytes({0x74, 0x04, 0x04, 0x03, 0x02, 0x01, 0x82}));
}

TEST(ControllerConformance, NinePinNaksCarryTheirReasonAndLocalDisableIsAcked)
{
    Studio s(std::make_shared<QMProtocolParserSonyBVW>());
    s.rig.openSerial();
    auto peer = s.rig.ptyPeer();
    peer->send(bytes({0x00, 0x0C, 0x0C}));
    EXPECT_EQ(peer->receive(3), bytes({0x10, 0x01, 0x11}));
    peer->send(bytes({0x20, 0x02, 0x22})); // record: not a command of this deck
    EXPECT_EQ(peer->receive(4), bytes({0x11, 0x12, 0x01, 0x24}));
    peer->send(bytes({0x20, 0x01, 0x22})); // play with a bad checksum
    EXPECT_EQ(peer->receive(4), bytes({0x11, 0x12, 0x04, 0x27}));
    for (int tag = 1; tag <= 4; ++tag) {
        EXPECT_TRUE(s.app.channel(tag).calls.isEmpty());
        EXPECT_TRUE(s.app.channel(tag).movie.calls.isEmpty());
    }
}

TEST(ControllerConformance, AmpTcpLineSplitAcrossSlowSegmentsIsOneMessage)
{
    Studio s(std::make_shared<QMProtocolParserAMP>());
    s.rig.listenTcp();
    auto peer = s.rig.tcpPeer();
    peer->send("CMDS00042");
    EXPECT_TRUE(peer->quietFor(100).isEmpty());
    peer->send("001\n");
    EXPECT_EQ(peer->receive(4), QByteArray("1001"));
    EXPECT_TRUE(peer->quietFor(100).isEmpty());
    for (int tag = 1; tag <= 4; ++tag)
        EXPECT_EQ(s.plays(tag), 1);
}

TEST(ControllerConformance, CueOfAnUnknownNameChangesNothingAndIsRefused)
{
    {
        Studio s(std::make_shared<QMProtocolParserAMP>());
        s.rig.listenTcp();
        auto peer = s.rig.tcpPeer();
        peer->send("CRAT0010201Camera\r\n");
        EXPECT_EQ(peer->receive(4), QByteArray("1001"));
        peer->send(cmds("4814", "00000000" + QByteArray("Nothing").toHex()));
        EXPECT_EQ(peer->receive(6), QByteArray("111201"));
        EXPECT_TRUE(s.app.channel(2).calls.isEmpty());
        EXPECT_TRUE(s.app.channel(2).movie.calls.isEmpty()) << "the clip on air is neither paused nor rewound";
        peer->send(cmds("4814", "00000000" + QByteArray("Bumper").toHex()));
        EXPECT_EQ(peer->receive(4), QByteArray("1001"));
        EXPECT_TRUE(s.app.channel(2).movie.calls.contains(QStringLiteral("seekToTimeCode 00:00:00:00")));
    }
    Studio s(std::make_shared<QMProtocolParserVDCP>());
    s.rig.listenTcp();
    auto peer = s.rig.tcpPeer();
    EXPECT_EQ(ask(*peer, frame(0x30, 0x01, bytes({0x02})))->data, bytes({0x01}));
    EXPECT_EQ(ask(*peer, frame(0x20, 0x24, "Nothing "))->raw, bytes({0x05, 0x01}));
    EXPECT_EQ(ask(*peer, frame(0x20, 0x25, "Nothing " + bytes({0, 0, 0, 0, 0, 0, 1, 0})))->raw, bytes({0x05, 0x01}));
    EXPECT_EQ(ask(*peer, frame(0x90, 0x25, "\x07Nothing" + bytes({0, 0, 0, 0, 0, 0, 1, 0})))->raw, bytes({0x05, 0x01}));
    EXPECT_TRUE(s.app.channel(2).calls.isEmpty());
    EXPECT_TRUE(s.app.channel(2).movie.calls.isEmpty());
    EXPECT_EQ(ask(*peer, frame(0x20, 0x24, "Intervie"))->kind, Reply::Ack);
    EXPECT_EQ(s.app.channel(2).selected, 0);
}

TEST(ControllerConformance, VdcpIdRequestAnswersFromTheList)
{
    Studio s(std::make_shared<QMProtocolParserVDCP>());
    s.rig.listenTcp();
    auto peer = s.rig.tcpPeer();
    ask(*peer, frame(0x30, 0x01, bytes({0x02})));
    EXPECT_EQ(ask(*peer, frame(0xB0, 0x16, "\x06" "Bumper"))->data, bytes({0x01, 0x00, 0x00}));
    EXPECT_EQ(ask(*peer, frame(0x30, 0x16, "Nothing "))->data, bytes({0x00, 0x00, 0x00}));
    EXPECT_EQ(ask(*peer, frame(0x30, 0x16, "Intervie"))->data, bytes({0x01, 0x00, 0x00})); // as the list gives it
    EXPECT_TRUE(s.app.channel(2).movie.calls.isEmpty());
}

TEST(ControllerConformance, VdcpOpenPortAnswersGrantedOrDenied)
{
    Studio s(std::make_shared<QMProtocolParserVDCP>());
    s.rig.listenTcp();
    auto peer = s.rig.tcpPeer();
    EXPECT_EQ(ask(*peer, bytes({0x02, 0x03, 0x30, 0x01, 0x02, 0xCD}))->raw, bytes({0x02, 0x03, 0x30, 0x81, 0x01, 0x4E}));
    EXPECT_EQ(ask(*peer, bytes({0x02, 0x03, 0x30, 0x01, 0x07, 0xC8}))->raw, bytes({0x02, 0x03, 0x30, 0x81, 0x00, 0x4F})); // no channel 7
    EXPECT_EQ(ask(*peer, bytes({0x02, 0x03, 0x30, 0x01, 0x00, 0xCF}))->raw, bytes({0x02, 0x03, 0x30, 0x81, 0x00, 0x4F}));
    // A refused port leaves the open one: play still reaches channel 2 alone.
    EXPECT_EQ(ask(*peer, frame(0x10, 0x01))->kind, Reply::Ack);
    EXPECT_EQ(s.plays(2), 1);
    EXPECT_EQ(s.plays(1) + s.plays(3) + s.plays(4), 0);
}

TEST(ControllerConformance, AmpQueriesWithoutABindingAnswerForTheFirstChannel)
{
    Studio s(std::make_shared<QMProtocolParserAMP>());
    auto& main = s.app.channel(1);
    main.movie.current = QMTimeCode::timecodeWithFrames(5, 10, 0, 0);
    main.movie.playing = true;
    for (const char* name : {"A", "B", "C"})
        main.playlist.items << std::make_shared<FakePlaylistItem>(QString::fromLatin1(name), QMTimeCode::timecodeWithFrames(0, 1, 0, 0));
    s.rig.listenTcp();
    auto peer = s.rig.tcpPeer();
    peer->send(cmds("610C", "01"));
    EXPECT_EQ(peer->receive(14), withChecksum("7404" "05100000"));
    peer->send(cmds("6120", "0A"));
    EXPECT_EQ(peer->receive(26), withChecksum("7a20" "02818000000000000000"));
    peer->send(cmds("A026"));
    EXPECT_EQ(peer->receive(14), withChecksum("822600020003"));
    // Its transport still reaches every channel.
    peer->send(cmds("2001"));
    EXPECT_EQ(peer->receive(4), QByteArray("1001"));
    for (int tag = 1; tag <= 4; ++tag)
        EXPECT_EQ(s.plays(tag), 1);
}

TEST(ControllerConformance, VdcpTcpPartialFrameIsDroppedAfterAGap)
{
    Studio s(std::make_shared<QMProtocolParserVDCP>());
    s.rig.listenTcp();
    auto peer = s.rig.tcpPeer();
    peer->send(bytes({0x02, 0x0A, 0x20, 0x24, 0x4E, 0x6F})); // a Play Cue cut short
    EXPECT_TRUE(peer->quietFor(300).isEmpty());
    peer->send(bytes({0x02, 0x02, 0x10, 0x00, 0xF0})); // Stop
    EXPECT_EQ(peer->receive(1), bytes({0x04}));
    for (int tag = 1; tag <= 4; ++tag)
        EXPECT_EQ(s.app.channel(tag).movie.calls, QStringList{QStringLiteral("stop")});
}
