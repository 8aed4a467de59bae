// The 9-pin deck emulation from the outside, on pseudo-terminals: a controller peer checks each
// reply byte by byte; the class's own controller behaviour drives a device instance across a
// relayed pair of lines and reads its time.
#include "comm/core/QMApplicationCommands.h"
#include "comm/core/protocols/sonybvw/QMProtocolParserSonyBVW.h"
#include "comm/core/protocols/deck/QMTimeCodeBVW.h"
#include "tests/comm/core/protocols/deckfakes/DeckRig.h"
#include "tests/comm/core/protocols/deckfakes/Fuzz.h"
#include "tests/comm/core/protocols/sonybvw/NinePinPeer.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <thread>

using ninepin::packet;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int v : values)
        out.append(char(v));
    return out;
}

struct Deck {
    DeckRig rig{std::make_shared<QMProtocolParserSonyBVW>()};
    std::unique_ptr<PtyPeer> peer;

    Deck()
    {
        rig.openSerial();
        peer = rig.ptyPeer();
    }
    std::vector<ninepin::Packet> exchange(const QByteArray& sent, int replies)
    {
        peer->send(sent);
        QByteArray stream = peer->receiveUntil([&](const QByteArray& s) { return ninepin::holdsPackets(s, replies); });
        std::vector<ninepin::Packet> out;
        while (auto p = ninepin::takePacket(stream))
            out.push_back(*p);
        return out;
    }
    QByteArray ask(const QByteArray& sent)
    {
        const auto replies = exchange(sent, 1);
        return replies.empty() ? QByteArray() : replies.front().raw;
    }
    DeckInterpreter& interp() { return *rig.interpreter; }
};

// Copies bytes between the master sides of two pseudo-terminals: a null-modem cable.
class Relay {
public:
    Relay(int a, int b) : thread_([this, a, b] { run(a, b); }) {}
    ~Relay()
    {
        stop_ = true;
        thread_.join();
    }

private:
    void run(int a, int b)
    {
        pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
        char buffer[256];
        while (!stop_) {
            if (::poll(fds, 2, 10) <= 0)
                continue;
            for (int i = 0; i < 2; ++i) {
                if (!(fds[i].revents & POLLIN))
                    continue;
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                for (ssize_t done = 0; n > 0 && done < n;) {
                    const ssize_t w = ::write(fds[1 - i].fd, buffer + done, std::size_t(n - done));
                    if (w > 0)
                        done += w;
                    else
                        ::poll(nullptr, 0, 1);
                }
            }
        }
    }
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace

TEST(SonyBVW, TransportDeviceTypeAndNaks)
{
    Deck d;
    EXPECT_EQ(d.ask(bytes({0x20, 0x01, 0x21})), ninepin::kAck);
    const auto play = d.interp().last("play");
    EXPECT_EQ(play.params.keys(), QStringList{QStringLiteral("QMApplicationCommandParser")});
    EXPECT_EQ(d.ask(bytes({0x20, 0x0F, 0x2F})), ninepin::kAck);
    EXPECT_EQ(d.interp().calls().size(), 1u); // eject does nothing else
    EXPECT_EQ(d.ask(bytes({0x00, 0x11, 0x11})), bytes({0x12, 0x11, 0xF3, 0x3F, 0x55}));
    EXPECT_EQ(d.ask(bytes({0x20, 0x02, 0x22})), ninepin::kNak);
    EXPECT_EQ(d.ask(packet(0x20, 0x00)), ninepin::kAck);
    EXPECT_EQ(d.ask(packet(0x20, 0x10)), ninepin::kAck);
    EXPECT_EQ(d.ask(packet(0x20, 0x20)), ninepin::kAck);
    EXPECT_EQ(d.ask(packet(0x60, 0x36)), bytes({0x71, 0x36, 0x00, 0xA7}));
    for (int code : {0x1D, 0x04, 0x05})
        EXPECT_EQ(d.ask(packet(code == 0x1D ? 0x00 : 0x20, std::uint8_t(code))), ninepin::kAck);
    EXPECT_EQ(d.ask(packet(0x40, 0x08)), ninepin::kAck);
    EXPECT_EQ(d.ask(packet(0x40, 0x36, bytes({0x01}))), ninepin::kAck);
    EXPECT_EQ(d.interp().count("stop"), 1);
    EXPECT_EQ(d.interp().count("fastForward"), 1);
    EXPECT_EQ(d.interp().count("rewind"), 1);
    // A wrong checksum is refused, never carried out; ACK and NAK never change.
    EXPECT_EQ(d.ask(bytes({0x20, 0x01, 0x22})), ninepin::kChecksumNak);
    EXPECT_EQ(d.interp().count("play"), 1);
    EXPECT_EQ(d.ask(bytes({0x20, 0x02, 0x22})), ninepin::kNak);
}

TEST(SonyBVW, SpeedsPauseAndCue)
{
    Deck d;
    auto last = [&](const char* op) { return d.interp().last(QString::fromLatin1(op)).params; };
    EXPECT_EQ(d.ask(bytes({0x21, 0x11, 0x40, 0x72})), ninepin::kAck);
    EXPECT_DOUBLE_EQ(last("fastForward").value(QMApplicationCommandTransportParameterSpeed).toDouble(), 1.0);
    EXPECT_EQ(last("fastForward").value(QMApplicationCommandTransportParameterDirection).toInt(), 1);
    EXPECT_EQ(d.ask(bytes({0x21, 0x21, 0x40, 0x82})), ninepin::kAck);
    EXPECT_DOUBLE_EQ(last("rewind").value(QMApplicationCommandTransportParameterSpeed).toDouble(), 1.0);
    EXPECT_EQ(last("rewind").value(QMApplicationCommandTransportParameterDirection).toInt(), -1);
    // The two-byte speed form is accepted in reverse as it is forward.
    EXPECT_EQ(d.ask(bytes({0x22, 0x21, 0x40, 0x00, 0x83})), ninepin::kAck);
    EXPECT_EQ(d.ask(packet(0x20, 0x12, bytes({0x20, 0x00}))), ninepin::kAck);
    EXPECT_DOUBLE_EQ(last("fastForward").value(QMApplicationCommandTransportParameterSpeed).toDouble(), 0.1);
    EXPECT_EQ(d.interp().count("rewind"), 2);
    // Speed 0 holds the picture.
    EXPECT_EQ(d.ask(packet(0x20, 0x13, bytes({0x00}))), ninepin::kAck);
    EXPECT_EQ(d.ask(packet(0x20, 0x23, bytes({0x00}))), ninepin::kAck);
    EXPECT_EQ(d.interp().count("pause"), 2);
    EXPECT_EQ(d.interp().count("fastForward"), 2);
    // No speed byte at all: NAK.
    EXPECT_EQ(d.ask(packet(0x20, 0x11)), ninepin::kNak);

    EXPECT_EQ(d.ask(bytes({0x24, 0x31, 0x00, 0x00, 0x10, 0x00, 0x65})), ninepin::kAck);
    const auto cue = last("cue");
    EXPECT_EQ(qmTimeCodeFromVariant(cue.value(QMApplicationCommandCueMediaParamSetPlayhead)).stringValue(), QStringLiteral("00:10:00:00"));
    EXPECT_FALSE(cue.contains(QMApplicationCommandCueMediaParamMediaID));
    EXPECT_EQ(d.ask(packet(0x20, 0x31, bytes({0x01, 0x02}))), ninepin::kNak);
    EXPECT_EQ(d.interp().count("cue"), 1);
}

TEST(SonyBVW, TimeAndStatusSense)
{
    Deck d;
    d.interp().channels[0].currentTime = QMTimeCode::timecodeWithFrames(4, 3, 2, 1);
    EXPECT_EQ(d.ask(bytes({0x61, 0x0C, 0x01, 0x6E})), bytes({0x74, 0x04, 0x04, 0x03, 0x02, 0x01, 0x82}));
    EXPECT_EQ(d.ask(packet(0x60, 0x0C, bytes({0x11}))), packet(0x70, 0x04, bytes({0x04, 0x03, 0x02, 0x01, 0, 0, 0, 0})));
    EXPECT_EQ(d.ask(packet(0x60, 0x0C, bytes({0x04}))), packet(0x70, 0x00, bytes({0, 0, 0, 0})));
    EXPECT_EQ(d.ask(packet(0x60, 0x0C, bytes({0x08}))), packet(0x70, 0x01, bytes({0, 0, 0, 0})));
    EXPECT_EQ(d.ask(packet(0x60, 0x0C, bytes({0x10}))), packet(0x70, 0x05, bytes({0, 0, 0, 0})));
    EXPECT_EQ(d.ask(packet(0x60, 0x0C, bytes({0x40}))), bytes({0x70, 0x0D, 0x7D}));
    d.interp().channels.clear(); // no channel: the time reads as zero
    EXPECT_EQ(d.ask(packet(0x60, 0x0C, bytes({0x01}))), packet(0x70, 0x04, bytes({0, 0, 0, 0})));

    // No channel and nothing commanded: stopped (and standing by).
    EXPECT_EQ(d.ask(bytes({0x61, 0x20, 0x05, 0x86})), bytes({0x75, 0x20, 0x00, 0xA0, 0x00, 0x00, 0x00, 0x35}));
    EXPECT_EQ(d.interp().count("state"), 1);
    // Past the 16-byte block: zeros, as many as asked for.
    EXPECT_EQ(d.ask(packet(0x60, 0x20, bytes({0xFA}))), packet(0x70, 0x20, QByteArray(10, '\0')));
}

TEST(SonyBVW, FramingJoinedSplitAndStaleNoise)
{
    Deck d;
    const auto both = d.exchange(packet(0x20, 0x01) + packet(0x00, 0x11), 2);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[0].raw, ninepin::kAck);
    EXPECT_EQ(both[1].cmd1, 0x12);

    const QByteArray cue = bytes({0x24, 0x31, 0x00, 0x00, 0x10, 0x00, 0x65});
    d.peer->send(cue.left(2));
    EXPECT_TRUE(d.peer->quietFor(20).isEmpty());
    EXPECT_EQ(d.ask(cue.mid(2)), ninepin::kAck);

    // One noise byte announcing 15 data bytes, then silence: the next packet still frames.
    d.peer->send(bytes({0x7F}));
    EXPECT_TRUE(d.peer->quietFor(250).isEmpty());
    EXPECT_EQ(d.ask(packet(0x20, 0x00)), ninepin::kAck);
    EXPECT_EQ(d.interp().count("stop"), 1);
}

TEST(SonyBVW, ControllerPollsTheDeviceAndDrivesItsTransport)
{
    DeckRig device(std::make_shared<QMProtocolParserSonyBVW>(), QMProtocolBehaviorDevice);
    DeckRig controller(std::make_shared<QMProtocolParserSonyBVW>(), QMProtocolBehaviorController, false);
    device.interpreter->channels[0].currentTime = QMTimeCode::timecodeWithFrames(4, 3, 2, 1);
    device.openSerial();
    controller.openSerial();
    Relay cable(device.pty->masterFd(), controller.pty->masterFd());
    auto bvw = controller.as<QMProtocolParserSonyBVW>();
    EXPECT_TRUE(bvw->isPolling());

    QStringList shown;
    bvw->setTimecodeObserver([&](const QString& text) { shown << text; });
    ASSERT_TRUE(testsupport::waitUntil([&] { return controller.interpreter->count("timecode") >= 10; }));
    EXPECT_EQ(bvw->timecodeString(), QStringLiteral("01:02:03:04"));
    EXPECT_EQ(qmTimeCodeFromVariant(controller.interpreter->last("timecode").params.value(QMApplicationCommandTransportParameterTimecode)).stringValue(),
              QStringLiteral("01:02:03:04"));
    EXPECT_FALSE(shown.isEmpty());

    // The time follows the device.
    device.interpreter->channels[0].currentTime = QMTimeCode::timecodeWithFrames(10, 0, 0, 2);
    EXPECT_TRUE(testsupport::waitUntil([&] { return bvw->timecodeString() == QStringLiteral("02:00:00:10"); }));

    const QVariantMap commands = bvw->protocolCommands();
    EXPECT_EQ(commands.keys(), (QStringList{QStringLiteral("Fast Forward"), QStringLiteral("Pause"), QStringLiteral("Play"), QStringLiteral("Rewind"), QStringLiteral("Stop")}));
    EXPECT_EQ(commands.value(QStringLiteral("Pause")).toMap().value(QMProtocolCommandKeyFormat).toString(), QStringLiteral("211300"));
    bvw->transportAction(QStringLiteral("Play"));
    bvw->transportAction(QStringLiteral("Pause"));
    bvw->transportAction(QStringLiteral("Rewind"));
    bvw->transportAction(QStringLiteral("Eject")); // no such button: nothing
    EXPECT_TRUE(testsupport::waitUntil([&] { return device.interpreter->count("rewind") == 1; }));
    EXPECT_EQ(device.interpreter->count("play"), 1);
    EXPECT_EQ(device.interpreter->count("pause"), 1);

    controller.communicator->deactivate();
    EXPECT_FALSE(bvw->isPolling());
}

TEST(SonyBVW, ControllerDropsBadPacketsAndKeepsGoodOnes)
{
    DeckRig rig(std::make_shared<QMProtocolParserSonyBVW>(), QMProtocolBehaviorController);
    auto bvw = rig.as<QMProtocolParserSonyBVW>();
    EXPECT_TRUE(bvw->processPacket(ninepin::kAck));
    EXPECT_FALSE(bvw->processPacket(bytes({0x10, 0x01})));
    EXPECT_FALSE(bvw->processPacket(bytes({0x74, 0x04, 1, 2, 3, 4, 0})));
    EXPECT_TRUE(bvw->processPacket(packet(0x70, 0x04, bytes({0x24, 0x59, 0x59, 0x23}))));
    EXPECT_EQ(bvw->timecodeString(), QStringLiteral("23:59:59:24"));
    EXPECT_TRUE(DeckRig(std::make_shared<QMProtocolParserSonyBVW>()).as<QMProtocolParserSonyBVW>()->protocolCommands().isEmpty());
}

TEST(SonyBVW, TimeCodeBytesAndClassFacts)
{
    EXPECT_FALSE(timeCodeFromBVWData(QByteArray(3, '\0')));
    EXPECT_FALSE(timeCodeFromBVWData(QByteArray(5, '\0')));
    // No flag bits are masked: 0xFF reads as 15 x 10 + 15.
    EXPECT_EQ(timeCodeFromBVWData(bytes({0xFF, 0x00, 0x00, 0x00}))->frames(), 165u);
    EXPECT_EQ(bvwData(QMTimeCode::timecodeWithFrames(29, 59, 7, 23)), bytes({0x29, 0x59, 0x07, 0x23}));
    EXPECT_EQ(QMProtocolParserSonyBVW::lookupTable().size(), 22u);
    QMProtocolParserSonyBVW::registerParserClass();
    const QMProtocolParserClass* c = QMProtocolParserClass::classNamed(QStringLiteral("QMProtocolParserSonyBVW"));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->supportedProtocol(), QStringLiteral("Sony BVW"));
    EXPECT_EQ(c->supportedHardwareCommunicators(), QStringList{QStringLiteral("QMSerialHardwareCommunicator")});
}

TEST(SonyBVW, RandomBytesNeverCrashHangOrGrow)
{
    for (const std::uint64_t behavior : {QMProtocolBehaviorDevice, QMProtocolBehaviorController}) {
        DeckRig rig(std::make_shared<QMProtocolParserSonyBVW>(), behavior);
        auto bvw = rig.as<QMProtocolParserSonyBVW>();
        std::vector<QByteArray> valid;
        for (const QMSonyBVWCommand& row : QMProtocolParserSonyBVW::lookupTable())
            for (int n : {0, 1, 2, 4, 15})
                valid.push_back(packet(std::uint8_t(QByteArray(row.group).toUInt(nullptr, 16) << 4), std::uint8_t(QByteArray(row.code).toUInt(nullptr, 16)),
                                       QByteArray(n, char(0x40))));
        deckfuzz::runFor([&](deckfuzz::Source& source) {
            const QByteArray& base = valid[std::size_t(source.below(int(valid.size())))];
            bvw->serialHardwareReadData(nullptr, source.below(2) ? source.mutate(base) : base);
            bvw->handleNewData();
            ASSERT_LT(bvw->bufferedByteCount(), 18);
            if (source.below(1000) == 0)
                rig.interpreter->clear();
        });
    }
}

TEST(SonyBVW, CueCompleteWaitsUntilTheChannelHasLoadedTheCue)
{
    Deck d;
    d.interp().channels[0].cueing = true;
    EXPECT_EQ(d.ask(bytes({0x24, 0x31, 0x00, 0x00, 0x10, 0x00, 0x65})), ninepin::kAck);
    // Status byte 2: still (0x02), cue complete (0x01) only once the channel has the clip ready.
    auto modeByte = [&] {
        const QByteArray reply = d.ask(packet(0x60, 0x20, bytes({0x21})));
        return reply.size() >= 3 ? std::uint8_t(reply.at(2)) : std::uint8_t(0xFF);
    };
    EXPECT_EQ(modeByte(), 0x02);
    d.interp().channels[0].cueing = false;
    EXPECT_EQ(modeByte(), 0x03);
}
