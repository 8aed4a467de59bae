// E1.31 packets: the ratified layout as built, both layouts as read, validation, identities and
// the installation's CID.
#include "comm/showcontrol/dmxnet/FWNSACNIOController.h"
#include "comm/showcontrol/dmxnet/FWNSACNPacket.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/comm/showcontrol/dmxnet/FakeInterfaces.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

using namespace dmxtest;

namespace {

const QByteArray kCID = QByteArray::fromHex("00112233445566778899aabbccddeeff");

QByteArray frameOf(int n)
{
    QByteArray s(n, '\0');
    for (int i = 0; i < n; ++i)
        s[i] = char(i + 1);
    return s;
}

// A draft-layout packet (root vector 3) with count property values.
QByteArray draftPacket(int count, int length, std::uint16_t universe, std::uint8_t priority)
{
    QByteArray d(length, '\0');
    auto* p = reinterpret_cast<std::uint8_t*>(d.data());
    p[1] = 0x10;
    std::memcpy(p + 4, "ASC-E1.17", 9);
    p[21] = 3;
    std::memcpy(p + 22, kCID.constData(), 16);
    p[43] = 2;
    std::memcpy(p + 44, "Old Desk", 8);
    p[76] = priority;
    p[78] = std::uint8_t(universe >> 8);
    p[79] = std::uint8_t(universe);
    p[82] = 2;
    p[83] = 0xA1;
    p[87] = 1;
    p[88] = std::uint8_t(count >> 8);
    p[89] = std::uint8_t(count);
    for (int i = 90; i < length; ++i)
        p[i] = std::uint8_t(i);
    return d;
}

} // namespace

TEST(FWNSACNPacket, FullUniverseIs638BytesWithEveryFieldInPlace)
{
    const FWNSACNIdentity identity(1, kCID, false, ipv4("127.0.0.1", 5568));
    const auto p = FWNSACNPacket::withDMX(frameOf(512), identity, 100, 42, QStringLiteral("FWNMX"), 0);
    const QByteArray& d = p.data();
    ASSERT_EQ(d.size(), 638);
    EXPECT_EQ(d.left(16), QByteArray::fromHex("00100000") + QByteArray("ASC-E1.17\0\0\0", 12));
    EXPECT_EQ(d.mid(16, 2), QByteArray::fromHex("726e"));
    EXPECT_EQ(d.mid(18, 4), QByteArray::fromHex("00000004"));
    EXPECT_EQ(d.mid(22, 16), kCID);
    EXPECT_EQ(d.mid(38, 2), QByteArray::fromHex("7258"));
    EXPECT_EQ(d.mid(40, 4), QByteArray::fromHex("00000002"));
    EXPECT_EQ(d.mid(44, 64), QByteArray("FWNMX") + QByteArray(59, '\0'));
    EXPECT_EQ(d.mid(108, 7), QByteArray::fromHex("640000" "2a" "00" "0001"));
    EXPECT_EQ(d.mid(115, 11), QByteArray::fromHex("720b" "02" "a1" "0000" "0001" "0201" "00"));
    EXPECT_EQ(d.mid(126), frameOf(512));
    EXPECT_TRUE(FWNSACNPacket::validatePacketData(d));

    EXPECT_FALSE(p.draft());
    EXPECT_EQ(p.universe(), 1);
    EXPECT_EQ(p.CID(), kCID);
    EXPECT_EQ(p.sourceName(), QStringLiteral("FWNMX"));
    EXPECT_EQ(p.priority(), 100);
    EXPECT_EQ(p.startCode(), 0);
    EXPECT_EQ(p.DMXLength(), 512);
    EXPECT_EQ(p.identity(), identity);
}

TEST(FWNSACNPacket, CutsLongFramesAndNamesAndSetsPreview)
{
    const FWNSACNIdentity preview(7, kCID, true);
    const QString longName = QString(62, QLatin1Char('a')) + QStringLiteral("\u00e9\u00e9");
    const auto p = FWNSACNPacket::withDMX(frameOf(600), preview, 50, 1, longName, 0xDD);
    EXPECT_EQ(p.data().size(), 638);
    EXPECT_EQ(std::uint8_t(p.data()[112]), 0x80);
    EXPECT_TRUE(p.preview());
    EXPECT_EQ(p.startCode(), 0xDD);
    EXPECT_EQ(p.data()[107], '\0');
    EXPECT_EQ(p.sourceName(), QString(62, QLatin1Char('a'))); // no half character
    const auto empty = FWNSACNPacket::withDMX({}, preview, 50, 1, {}, 0);
    EXPECT_EQ(empty.data().size(), 126);
    EXPECT_EQ(empty.data().mid(123, 2), QByteArray::fromHex("0001"));
    EXPECT_EQ(empty.DMXLength(), 0);

    QByteArray terminated = empty.data();
    terminated[112] = 0x40;
    EXPECT_TRUE(FWNSACNPacket::withData(terminated, {})->streamTerminated());
}

TEST(FWNSACNPacket, ValidationRejectsEveryBrokenField)
{
    const QByteArray good = FWNSACNPacket::withDMX(frameOf(16), FWNSACNIdentity(2, kCID), 100, 0, {}, 0).data();
    ASSERT_TRUE(FWNSACNPacket::validatePacketData(good));
    auto broken = [&](int offset, char value) {
        QByteArray b = good;
        b[offset] = value;
        return FWNSACNPacket::validatePacketData(b);
    };
    // Bytes 109-110 are the synchronisation address of newer senders, not a broken field.
    EXPECT_TRUE(broken(109, 1));
    EXPECT_TRUE(broken(110, 1));
    EXPECT_FALSE(broken(1, 0x11));
    EXPECT_FALSE(broken(6, 'x'));
    EXPECT_FALSE(broken(43, 3));
    EXPECT_FALSE(broken(117, 3));
    EXPECT_FALSE(broken(118, 0));
    EXPECT_FALSE(broken(120, 1));
    EXPECT_FALSE(broken(122, 2));
    EXPECT_FALSE(broken(21, 5));
    QByteArray zeroCount = good;
    zeroCount[123] = 0;
    zeroCount[124] = 0;
    EXPECT_FALSE(FWNSACNPacket::validatePacketData(zeroCount));
    EXPECT_FALSE(FWNSACNPacket::validatePacketData(good.left(good.size() - 1))); // count says 17
    EXPECT_FALSE(FWNSACNPacket::validatePacketData(good.left(20)));
    EXPECT_FALSE(FWNSACNPacket::validatePacketData(QByteArray()));
}

TEST(FWNSACNPacket, DraftLayoutIsReadThroughItsOwnOffsets)
{
    const QByteArray draft = draftPacket(512, 602, 0x0102, 0);
    ASSERT_TRUE(FWNSACNPacket::validatePacketData(draft));
    const auto p = FWNSACNPacket::withData(draft, {});
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->draft());
    EXPECT_EQ(p->universe(), 0x0102);
    EXPECT_EQ(p->priority(), 100); // 0 means the default
    EXPECT_EQ(p->sourceName(), QStringLiteral("Old Desk"));
    EXPECT_EQ(p->options(), 0);
    // Every property value of the draft layout is a slot: all 512 of them.
    EXPECT_EQ(p->DMXLength(), 512);
    EXPECT_EQ(p->DMX(), draft.mid(90));
    EXPECT_EQ(FWNSACNPacket::withData(draftPacket(40, 126, 1, 9), {})->DMXLength(), 36);

    EXPECT_FALSE(FWNSACNPacket::validatePacketData(draftPacket(512, 601, 1, 0)));
    const QByteArray small = draftPacket(10, 100, 1, 0);
    EXPECT_TRUE(FWNSACNPacket::validatePacketData(small));
    EXPECT_FALSE(FWNSACNPacket::withData(small, {})); // valid, but shorter than a packet
}

TEST(FWNSACNIdentity, MulticastGroupsEqualityAndArchive)
{
    const FWNSACNIOCOntrollerCWrapper wrapper;
    EXPECT_EQ(wrapper.multicastGroup(1), QStringLiteral("239.255.0.1"));
    EXPECT_EQ(wrapper.multicastGroup(256), QStringLiteral("239.255.1.0"));
    EXPECT_EQ(wrapper.multicastGroup(63999), QStringLiteral("239.255.249.255"));
    EXPECT_EQ(FWNSACNIOController::multicastAddressForUniverse(63999), ipv4("239.255.249.255", 5568));
    EXPECT_EQ(FWNSACNIOCOntrollerCWrapper::bindAddressData(), ipv4("0.0.0.0", 5568));

    const FWNSACNIdentity a(5, kCID, false, ipv4("10.0.0.1", 5568));
    EXPECT_EQ(a, FWNSACNIdentity(5, kCID, false, ipv4("10.0.0.1", 1)));
    EXPECT_EQ(a.hash(), FWNSACNIdentity(5, kCID, false, ipv4("10.0.0.1", 1)).hash());
    EXPECT_FALSE(a == FWNSACNIdentity(5, kCID, true, ipv4("10.0.0.1", 5568)));
    EXPECT_FALSE(a == FWNSACNIdentity(5, kCID));
    EXPECT_EQ(FWNSACNIdentity(5, kCID), FWNSACNIdentity(5, kCID));
    EXPECT_EQ(FWNSACNIdentity::unarchive(a.archive()), a);
}

TEST(FWNACN, AddressTextForms)
{
    auto a = FWNACN::CIPAddr::ipv4(0x0A000102, 5568);
    a.interfaceIndex = 3;
    EXPECT_EQ(a.text(false, false), QStringLiteral("10.0.1.2"));
    EXPECT_EQ(a.text(true, false), QStringLiteral("10.0.1.2:5568"));
    EXPECT_EQ(a.text(true, true), QStringLiteral("10.0.1.2:5568,3"));
    FWNACN::CIPAddr v6;
    v6.address[0] = 0xFE;
    v6.address[1] = 0x80;
    v6.address[15] = 0x01;
    v6.port = 9;
    EXPECT_EQ(v6.text(false, false), QStringLiteral("[FE80:0000:0000:0000:0000:0000:0000:0001]"));
    EXPECT_EQ(v6.text(false, true), QStringLiteral("[FE80:0000:0000:0000:0000:0000:0000:0001]:9,-1"));
    EXPECT_LT(v6.text(true, true).size(), 60);
}

TEST(FWNSACNIdentity, CIDIsStoredOnceAndADamagedOneIsReplaced)
{
    testsupport::TempFolder home;
    platform::UserDefaults defaults(home.filePath(QStringLiteral("defaults.conf")));
    const QByteArray first = FWNSACNIdentity::loadOrCreateCID(defaults);
    EXPECT_EQ(first.size(), 16);
    EXPECT_EQ(defaults.dataForKey(QString::fromLatin1(FWNMXSACNCIDKey)), first);
    defaults.synchronize();
    platform::UserDefaults later(home.filePath(QStringLiteral("defaults.conf")));
    EXPECT_EQ(FWNSACNIdentity::loadOrCreateCID(later), first);

    later.setObject(QByteArray(5, '\x01'), QString::fromLatin1(FWNMXSACNCIDKey));
    const QByteArray replaced = FWNSACNIdentity::loadOrCreateCID(later);
    EXPECT_EQ(replaced.size(), 16);
    EXPECT_EQ(later.dataForKey(QString::fromLatin1(FWNMXSACNCIDKey)), replaced);
    EXPECT_EQ(FWNSACNPacket::withDMX({}, FWNSACNIdentity(1, QByteArray(5, '\x01')), 1, 1, {}, 0).CID(),
              QByteArray(5, '\x01') + QByteArray(11, '\0')); // never read past a short CID
}
