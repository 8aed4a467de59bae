// Socket addresses in their canonical bytes, the interface list, the slot accessors and the
// universe send schedule on a clock of the test's own.
#include "comm/showcontrol/dmxnet/FWNArtDMXIdentity.h"
#include "comm/showcontrol/dmxnet/FWNError.h"
#include "comm/showcontrol/dmxnet/FWNMXAbstractUniverseOutputController.h"
#include "comm/showcontrol/dmxnet/FWNMXData.h"
#include "platform/foundation/Exception.h"
#include "tests/comm/showcontrol/dmxnet/FakeInterfaces.h"

#include <gtest/gtest.h>

#include <netinet/in.h>

using namespace dmxtest;

TEST(FWNSockAddress, IPv4BytesPortAndTextAndTheSystemForm)
{
    const auto a = FWNSockAddressIPv4::sockAddressWithAddress(htonl(INADDR_LOOPBACK), 6454);
    EXPECT_EQ(a.data(), QByteArray::fromHex("100219367f0000010000000000000000"));
    EXPECT_EQ(a.port(), 6454);
    EXPECT_EQ(a.addressString(), QStringLiteral("127.0.0.1"));
    const platform::net::SockAddr native = a.nativeSockAddr();
    const auto* in = reinterpret_cast<const sockaddr_in*>(&native.storage);
    EXPECT_EQ(in->sin_family, AF_INET);
    EXPECT_EQ(ntohs(in->sin_port), 6454);
    EXPECT_EQ(FWNSockAddress::sockAddressWithSockAddr(native.get())->data(), a.data());
    EXPECT_EQ(a.hostAddress(), QHostAddress(QStringLiteral("127.0.0.1")));
    EXPECT_EQ(FWNSockAddress::unarchive(a.archive())->data(), a.data());
}

TEST(FWNSockAddress, IPv6KeepsFlowScopeAndText)
{
    sockaddr_in6 in6{};
    in6.sin6_family = AF_INET6;
    in6.sin6_port = htons(5568);
    in6.sin6_flowinfo = 0x01020304;
    in6.sin6_scope_id = 7;
    in6.sin6_addr = in6addr_loopback;
    const auto a = FWNSockAddressIPv6::sockAddressWithSockAddrIn6(in6);
    EXPECT_EQ(a.length(), 28);
    EXPECT_EQ(a.family(), 30);
    EXPECT_EQ(a.port(), 5568);
    EXPECT_EQ(a.flowinfo(), 0x01020304u);
    EXPECT_EQ(a.scope(), 7u);
    EXPECT_EQ(a.addressString(), QStringLiteral("::1"));
    const platform::net::SockAddr native = a.nativeSockAddr();
    EXPECT_EQ(reinterpret_cast<const sockaddr_in6*>(&native.storage)->sin6_scope_id, 7u);
    EXPECT_EQ(FWNSockAddress::sockAddressWithData(a.data())->data(), a.data());
    EXPECT_FALSE(FWNSockAddressIPv6::withBytes(a.data().constData(), 27));
}

TEST(FWNSockAddress, RefusesShortDataForeignFamiliesAndBadText)
{
    EXPECT_FALSE(FWNSockAddress::sockAddressWithData(QByteArray(15, '\0')));
    QByteArray v6Family(16, '\0');
    v6Family[1] = char(30);
    EXPECT_FALSE(FWNSockAddress::sockAddressWithData(v6Family));
    QByteArray unknown(16, '\0');
    unknown[1] = char(1);
    EXPECT_FALSE(FWNSockAddress::sockAddressWithData(unknown));

    platform::Error error;
    EXPECT_FALSE(FWNSockAddressIPv4::addressWithString(QStringLiteral("300.1.1.1"), &error));
    EXPECT_EQ(error.domain, QString::fromLatin1(FWNMXErrorDomain));
    EXPECT_EQ(error.code, 10);
    EXPECT_EQ(error.failureReason, QStringLiteral("300.1.1.1"));
    EXPECT_FALSE(FWNSockAddressIPv4::addressWithString(QStringLiteral("1.2.3.4\u00e9"), &error));
    EXPECT_TRUE(FWNSockAddressIPv4::addressWithString(QStringLiteral("10.0.0.9"), &error));
    EXPECT_TRUE(error.isNull());
    EXPECT_FALSE(FWNSockAddressIPv6::addressWithString(QStringLiteral("::g"), &error));
    EXPECT_EQ(error.code, 10);
}

TEST(FWNNetworkInterface, ListsEachInterfaceOnceWithItsConfigsInOrder)
{
    const std::uint32_t up = FWNNetworkInterface::kFlagUp;
    FakeInterfaces fake(FWNNetworkInterfaceManager::Entries{
        entry("eth9", up | FWNNetworkInterface::kFlagBroadcast, "10.1.0.5", "10.255.255.255"),
        entry("lo", up | FWNNetworkInterface::kFlagLoopback, "127.0.0.1"),
        entry("eth9", up, "10.2.0.5"),
        FWNInterfaceAddressEntry{QStringLiteral("eth9"), up, {}, {}, {}}, // a link-layer entry
    });
    const auto list = FWNNetworkInterfaceManager::allInterfaces();
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 2u);
    const FWNNetworkInterface& eth = (*list)[0];
    EXPECT_EQ(eth.name(), QStringLiteral("eth9"));
    EXPECT_TRUE(eth.supportsBroadcast()); // the first entry's flags
    ASSERT_EQ(eth.IPv4Configs().size(), 2u);
    EXPECT_EQ(eth.IPv4Configs()[0].address(), ipv4("10.1.0.5"));
    EXPECT_EQ(eth.IPv4Configs()[1].address(), ipv4("10.2.0.5"));
    EXPECT_TRUE(eth.IPv4Configs()[1].broadcast().isEmpty()); // its entry does not broadcast
    EXPECT_TRUE((*list)[1].isLoopback());

    // The broadcast of the chosen configuration keeps its port; loopback answers its own address.
    EXPECT_EQ(FWNArtDMXIdentity::addressWithNetworkInterface(eth, 0), ipv4("10.255.255.255"));
    EXPECT_TRUE(FWNArtDMXIdentity::addressWithNetworkInterface(eth, 1).isEmpty());
    EXPECT_TRUE(FWNArtDMXIdentity::addressWithNetworkInterface(eth, 2).isEmpty());
    EXPECT_EQ(FWNArtDMXIdentity::addressWithNetworkInterface((*list)[1], 0), ipv4("127.0.0.1"));
    EXPECT_EQ(FWNArtDMXIdentity::defaultIPv4Address(), ipv4("10.255.255.255", 6454));
    EXPECT_EQ(FWNNetworkInterfaceManager::artNetInterfaces().size(), 1u);
}

TEST(FWNNetworkInterface, DefaultAddressIsLoopbackWithoutABroadcastInterfaceOrList)
{
    {
        FakeInterfaces fake(FWNNetworkInterfaceManager::Entries{entry("lo", FWNNetworkInterface::kFlagUp, "127.0.0.1")});
        EXPECT_EQ(FWNArtDMXIdentity::defaultIPv4Address(), ipv4("127.0.0.1", 6454));
    }
    FakeInterfaces unreadable(std::nullopt);
    EXPECT_FALSE(FWNNetworkInterfaceManager::allInterfaces());
    EXPECT_EQ(FWNArtDMXIdentity::defaultIPv4Address(), ipv4("127.0.0.1", 6454));
}

TEST(FWNNetworkInterface, SystemListHasLoopback)
{
    const auto entries = FWNNetworkInterfaceManager::systemEntries();
    ASSERT_TRUE(entries);
    bool loopback = false;
    for (const FWNInterfaceAddressEntry& e : *entries)
        loopback |= e.address == ipv4("127.0.0.1");
    EXPECT_TRUE(loopback);
}

TEST(FWNMXData, ReadsAndWritesWithinTheFrameOnly)
{
    QByteArray frame(512, '\0');
    frame[0] = char(0xAB);
    EXPECT_EQ(FWNMXData::valueOfChannel(frame, 0), 0xAB);
    FWNMXData::setValueOfChannel(frame, 7, 511);
    EXPECT_EQ(std::uint8_t(frame[511]), 7);
    try {
        FWNMXData::valueOfChannel(frame, 512);
        ADD_FAILURE() << "index 512 was read";
    } catch (const platform::Exception& e) {
        EXPECT_EQ(e.reason(), QStringLiteral("DMX channel not within bounds of data"));
    }
    EXPECT_THROW(FWNMXData::setValueOfChannel(frame, 1, 512), platform::Exception);
    EXPECT_EQ(frame.size(), 512);
}

namespace {

class CountingOutput : public FWNMXAbstractUniverseOutputController {
public:
    void send() override { ++sends; }
    int sends = 0;
};

constexpr std::uint64_t kSecond = 1'000'000'000;

} // namespace

TEST(FWNMXAbstractUniverseOutputController, ThreeSendsAfterAChangeThenAHeartbeatEveryTwoSeconds)
{
    std::uint64_t now = 100 * kSecond;
    CountingOutput out;
    out.setClock([&] { return now; });
    out.setDMX(QByteArray(512, '\x01'));
    for (int i = 0; i < 3; ++i) {
        out.tick();
        now += kSecond / 40;
    }
    EXPECT_EQ(out.sends, 3);
    const std::uint64_t third = out.lastSend();
    for (; now <= third + 2 * kSecond; now += kSecond / 40)
        out.tick();
    EXPECT_EQ(out.sends, 3); // nothing until more than 2 s have passed
    out.tick();
    EXPECT_EQ(out.sends, 4);
    now += kSecond;
    out.tick();
    EXPECT_EQ(out.sends, 4);
    now += kSecond + 1;
    out.tick();
    EXPECT_EQ(out.sends, 5);

    out.setDMX(QByteArray(512, '\x02')); // a change starts three sends again
    for (int i = 0; i < 4; ++i)
        out.tick();
    EXPECT_EQ(out.sends, 8);
    EXPECT_EQ(out.lastDMX(), QByteArray(512, '\x02'));
}

TEST(FWNMXAbstractUniverseOutputController, EveryTickWhenAskedAndNoFloodAtClockStart)
{
    CountingOutput out;
    std::uint64_t now = 0; // a clock that starts at zero must not make every tick a heartbeat
    out.setClock([&] { return now; });
    out.setDMX(QByteArray(4, '\0'));
    for (int i = 0; i < 10; ++i, now += kSecond / 100)
        out.tick();
    EXPECT_EQ(out.sends, 3);
    out.setSendsEveryTick(true);
    for (int i = 0; i < 5; ++i)
        out.tick();
    EXPECT_EQ(out.sends, 8);
    out.setDMX(QByteArray(4, '\x05'));
    out.tick();
    EXPECT_EQ(out.sendCount(), 1u); // the count still resets on a change
}
