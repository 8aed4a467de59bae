// The three deck-control protocols through the application's command interpreter into fake
// channels: the port a VDCP controller opens, the channel an AMP connection binds by name, and a
// 9-pin device with no channel of its own each reach the channels they should.
#include "comm/core/protocols/amp/QMProtocolParserAMP.h"
#include "comm/core/protocols/sonybvw/QMProtocolParserSonyBVW.h"
#include "comm/core/protocols/vdcp/QMProtocolParserVDCP.h"
#include "tests/comm/core/protocols/interpreter/Studio.h"

#include <gtest/gtest.h>

using studio::ask;
using studio::Studio;

TEST(DeckProtocolsThroughInterpreter, VdcpPortAddressesItsChannel)
{
    Studio s(std::make_shared<QMProtocolParserVDCP>());
    s.rig.listenTcp();
    auto peer = s.rig.tcpPeer();
    EXPECT_TRUE(ask(*peer, vdcppeer::frame(0x30, 0x01, QByteArray(1, 0x02)))->isData(0x81));
    EXPECT_EQ(ask(*peer, vdcppeer::frame(0x10, 0x01))->kind, vdcppeer::Reply::Ack);
    EXPECT_EQ(s.plays(2), 1);
    EXPECT_EQ(s.plays(1) + s.plays(3) + s.plays(4), 0);
    EXPECT_EQ(ask(*peer, vdcppeer::frame(0x30, 0x05, QByteArray(1, 0x01)))->data, QByteArray("\x01\xA0\x02", 3));
    EXPECT_EQ(ask(*peer, vdcppeer::frame(0x30, 0x06, QByteArray(1, 0x01)))->data, QByteArray("\x01\x04\x03\x02\x01", 5));
    EXPECT_EQ(ask(*peer, vdcppeer::frame(0x30, 0x07))->data, QByteArray("\x01" "Bumper  ", 9));
    EXPECT_EQ(ask(*peer, vdcppeer::frame(0x30, 0x11))->data.mid(2), QByteArray("InterviewBumper  ").remove(8, 1));
    // The listed ID cues the item it was cut from.
    EXPECT_EQ(ask(*peer, vdcppeer::frame(0x20, 0x24, "Intervie"))->kind, vdcppeer::Reply::Ack);
    EXPECT_TRUE(s.app.channel(2).calls.contains(QStringLiteral("selectPlaylistItemAtIndex 0")));
    EXPECT_EQ(s.app.channel(2).selected, 0);
}

TEST(DeckProtocolsThroughInterpreter, AmpBindingRoutesPlayToTheNamedChannel)
{
    Studio s(std::make_shared<QMProtocolParserAMP>());
    s.rig.listenTcp();
    auto peer = s.rig.tcpPeer();
    peer->send("CRAT0010201Camera\r\n");
    EXPECT_EQ(peer->receive(4), QByteArray("1001"));
    peer->send("CMDS00042001\r\n");
    EXPECT_EQ(peer->receive(4), QByteArray("1001"));
    EXPECT_EQ(s.plays(2), 1);
    EXPECT_EQ(s.plays(1) + s.plays(3) + s.plays(4), 0);
    peer->send("CMDS0002A026\r\n");
    EXPECT_EQ(peer->receive(14), QByteArray("822600020002ac"));
    peer->send("STOP0000\r\n");
    EXPECT_EQ(peer->receive(4), QByteArray("1001"));
    // Unbound, a play reaches every channel.
    peer->send("CMDS00042001\r\n");
    EXPECT_EQ(peer->receive(4), QByteArray("1001"));
    EXPECT_EQ(s.plays(1) + s.plays(2) + s.plays(3) + s.plays(4), 5);
}

TEST(DeckProtocolsThroughInterpreter, NinePinWithoutAChannelDrivesEveryChannel)
{
    Studio s(std::make_shared<QMProtocolParserSonyBVW>());
    s.rig.openSerial();
    auto peer = s.rig.ptyPeer();
    peer->send(QByteArray("\x20\x01\x21", 3));
    EXPECT_EQ(peer->receive(3), QByteArray("\x10\x01\x11", 3));
    for (int tag = 1; tag <= 4; ++tag)
        EXPECT_EQ(s.plays(tag), 1);
    // No channel answers the time: it reads as zero.
    peer->send(QByteArray("\x61\x0C\x01\x6E", 4));
    EXPECT_EQ(peer->receive(7), QByteArray("\x74\x04\x00\x00\x00\x00\x78", 7));
}
