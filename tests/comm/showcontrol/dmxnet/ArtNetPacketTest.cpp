// ArtDmx built and read byte for byte, identities, and the output controller's sequence.
#include "comm/showcontrol/dmxnet/FWNArtNetIOController.h"
#include "comm/showcontrol/dmxnet/FWNArtNetUniverseOutputController.h"
#include "tests/comm/showcontrol/dmxnet/FakeInterfaces.h"

#include <gtest/gtest.h>

using namespace dmxtest;

namespace {

QByteArray header(std::uint16_t length, std::uint16_t portAddress, std::uint8_t sequence = 0, std::uint8_t physical = 0)
{
    QByteArray h("Art-Net", 8);
    h += QByteArray::fromHex("0050000e");
    h += char(sequence);
    h += char(physical);
    h += char(portAddress & 0xFF);
    h += char(portAddress >> 8);
    h += char(length >> 8);
    h += char(length & 0xFF);
    return h;
}

} // namespace

TEST(FWNArtDMXPacket, LengthIsEvenBetweenTwoAnd512AndSlotsAreZeroPadded)
{
    const FWNArtDMXIdentity identity(ipv4("127.0.0.1", 6454), 0x0135);
    EXPECT_EQ(FWNArtDMXPacket::withDMX(QByteArray(), identity).data(), header(2, 0x0135) + QByteArray(2, '\0'));
    // A one-slot frame keeps its slot; the second is padding.
    EXPECT_EQ(FWNArtDMXPacket::withDMX(QByteArray("\x07", 1), identity).data(), header(2, 0x0135) + QByteArray("\x07\x00", 2));
    const auto three = FWNArtDMXPacket::withDMX(QByteArray("\x01\x02\x03", 3), identity, 9, 4);
    EXPECT_EQ(three.data(), header(4, 0x0135, 9, 4) + QByteArray("\x01\x02\x03\x00", 4));
    EXPECT_EQ(three.DMXLength(), 4);
    EXPECT_EQ(three.address(), identity.address());

    QByteArray big(600, '\0');
    for (int i = 0; i < big.size(); ++i)
        big[i] = char(i * 7);
    const auto full = FWNArtDMXPacket::withDMX(big, identity);
    ASSERT_EQ(full.data().size(), 18 + 512);
    EXPECT_EQ(full.data().mid(16, 2), QByteArray::fromHex("0200"));
    EXPECT_EQ(full.DMX(), big.left(512));
    EXPECT_EQ(full.data().mid(14, 2), QByteArray::fromHex("3501"));
    EXPECT_EQ(full.version(), 14);
    EXPECT_EQ(full.portAddress(), 0x0135);
    EXPECT_EQ(full.identity(), identity);

    const auto again = FWNArtDMXPacket::withPacket(three, QByteArray(6, '\x01'), 77);
    EXPECT_EQ(again.data(), header(6, 0x0135, 77, 4) + QByteArray(6, '\x01'));
}

TEST(FWNArtDMXPacket, ReadsTheSmallerOfTheLengthFieldAndTheBytesPresent)
{
    const QByteArray address = ipv4("10.0.0.2", 6454);
    const auto shortBody = FWNArtNetPacket::packetWithData(header(512, 7) + QByteArray(10, '\x05'), address);
    ASSERT_TRUE(shortBody);
    const auto dmx = shortBody->artDMXPacket();
    ASSERT_TRUE(dmx);
    EXPECT_EQ(dmx->DMXLength(), 10);
    EXPECT_EQ(dmx->DMX(), QByteArray(10, '\x05'));
    const auto longBody = FWNArtDMXPacket::withData(header(4, 7) + QByteArray(10, '\x05'), address);
    EXPECT_EQ(longBody->DMX(), QByteArray(4, '\x05'));
    // A length the protocol allows is even and 2 to 512; the revision is ProtVerHi and Lo as one.
    EXPECT_TRUE(longBody->hasValidLength());
    EXPECT_EQ(longBody->protocolVersion(), 14);
    EXPECT_FALSE(FWNArtDMXPacket::withData(header(600, 7) + QByteArray(600, '\x05'), address)->hasValidLength());
    EXPECT_TRUE(FWNArtDMXPacket::withData(header(512, 7) + QByteArray(512, '\x05'), address)->hasValidLength());

    // Too short for ArtDmx; any other OpCode is a plain Art-Net packet.
    EXPECT_FALSE(FWNArtNetPacket::packetWithData(header(2, 0).left(9), address));
    EXPECT_FALSE(FWNArtNetPacket::packetWithData(header(2, 0).left(17), address)->artDMXPacket());
    QByteArray poll = header(0, 0).left(10);
    poll[9] = 0x20;
    const auto plain = FWNArtNetPacket::packetWithData(poll, address);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->opCode(), 0x2000);
    EXPECT_FALSE(plain->artDMXPacket());
    EXPECT_TRUE(FWNArtNetPacket::validatePacketData(poll));
    QByteArray noId = header(2, 0) + QByteArray(2, '\0');
    noId[0] = 'X';
    EXPECT_FALSE(FWNArtNetPacket::validatePacketData(noId));
}

TEST(FWNArtDMXIdentity, PortAddressBitsAndEqualityIgnoringTheUdpPort)
{
    EXPECT_EQ(FWNArtDMXIdentity::portAddressWithUniverse(5, 3, 1), 0x0135);
    const auto reduced = FWNArtDMXIdentity::withUniverse(2, 17, 200);
    EXPECT_EQ(reduced.subNet(), 1);
    EXPECT_EQ(reduced.net(), 72);
    EXPECT_EQ(reduced.universe(), 2);
    std::uint8_t universe = 0, subNet = 0, net = 0;
    FWNArtDMXIdentity::getUniverse(&universe, nullptr, &net, 0x7FFF);
    FWNArtDMXIdentity::getUniverse(nullptr, &subNet, nullptr, 0x00A0);
    EXPECT_EQ(universe, 15);
    EXPECT_EQ(net, 127);
    EXPECT_EQ(subNet, 10);

    const FWNArtDMXIdentity a(ipv4("10.0.0.7", 6454), 18);
    const FWNArtDMXIdentity b(ipv4("10.0.0.7", 40000), 18);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.hash(), b.hash());
    EXPECT_FALSE(a == FWNArtDMXIdentity(ipv4("10.0.0.8", 6454), 18));
    EXPECT_FALSE(a == FWNArtDMXIdentity(ipv4("10.0.0.7", 6454), 19));
    EXPECT_EQ(FWNArtDMXIdentity::unarchive(a.archive()), a);
    EXPECT_TRUE(a.description().contains(QStringLiteral("10.0.0.7, 18>")));
    EXPECT_EQ(FWNArtDMXIdentity::addressWithIPv4String(QStringLiteral("2.255.255.255")), ipv4("2.255.255.255", 6454));
    EXPECT_TRUE(FWNArtDMXIdentity::addressWithIPv4String(QStringLiteral("2.255.255")).isEmpty());
    EXPECT_EQ(FWNArtDMXIdentity::addressWithAddress(ipv4("2.0.0.1", 9)), ipv4("2.0.0.1", 6454));
}

TEST(FWNArtNetUniverseOutputController, SequenceRunsFromTwoTo255ThenOneNeverZero)
{
    FWNArtNetIOController::Options options;
    options.port = 0;
    FWNArtNetIOController io(options);
    FWNArtNetUniverseOutputController out(FWNArtDMXIdentity(ipv4("127.0.0.1", 9), 3), &io);
    out.setDMX(QByteArray(8, '\x10'));
    std::vector<int> sequences;
    for (int i = 0; i < 256; ++i) {
        out.send();
        sequences.push_back(out.packet()->sequence());
    }
    EXPECT_EQ(sequences[0], 2);
    EXPECT_EQ(sequences[1], 3);
    EXPECT_EQ(sequences[2], 4);
    EXPECT_EQ(sequences[253], 255);
    EXPECT_EQ(sequences[254], 1);
    EXPECT_EQ(std::count(sequences.begin(), sequences.end(), 0), 0);
    EXPECT_EQ(out.packet()->portAddress(), 3);
    EXPECT_EQ(out.packet()->DMX(), QByteArray(8, '\x10'));
}
