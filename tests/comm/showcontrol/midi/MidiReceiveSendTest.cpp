// Message assembly and sending: the byte parser, nodes and the manager on the loopback backend.
#include "comm/showcontrol/midi/QMMidiByteParser.h"
#include "comm/showcontrol/midi/QMMidiManager.h"
#include "platform/foundation/Log.h"
#include "platform/midi/LoopbackMidiBackend.h"
#include "tests/platform/midi/MidiTestBytes.h"

#include <gtest/gtest.h>

#include <mutex>

using platform::midi::LoopbackMidiBackend;

namespace {

// Parses each chunk as one delivery.
std::vector<QMMidiMessage> parse(QMMidiByteParser& parser, const QList<QByteArray>& deliveries)
{
    std::vector<QMMidiMessage> out;
    for (const QByteArray& chunk : deliveries) {
        parser.beginDelivery();
        for (const char c : chunk)
            parser.parse(std::uint8_t(c), out);
    }
    return out;
}

QMMidiMessage msg(int type, int channel, int d1, int d2)
{
    return QMMidiMessage(std::uint8_t(type), std::uint8_t(channel), std::uint8_t(d1), std::uint8_t(d2));
}

class LoopbackTest : public ::testing::Test {
protected:
    void SetUp() override { platform::midi::setBackend(midi); }
    void TearDown() override { platform::midi::setBackend(nullptr); }
    std::shared_ptr<LoopbackMidiBackend> midi = std::make_shared<LoopbackMidiBackend>();
};

struct RecordingManagerDelegate : QMMidiManagerDelegate {
    std::mutex mutex;
    std::vector<QMMidiMessage> messages;
    int sourceUpdates = 0;
    int destinationUpdates = 0;
    void updatedMidiInputSources() override { ++sourceUpdates; }
    void updatedMidiOutputDestinations() override { ++destinationUpdates; }
    void receivedMidiMessages(const std::vector<QMMidiMessage>& m) override
    {
        std::lock_guard lock(mutex);
        messages.insert(messages.end(), m.begin(), m.end());
    }
    std::vector<QMMidiMessage> taken()
    {
        std::lock_guard lock(mutex);
        return std::exchange(messages, {});
    }
};

} // namespace

TEST(QMMidiByteParser, AssemblesAcrossDeliveriesWithRunningStatusAndRealTimeBytes)
{
    QMMidiByteParser p;
    // Split status and data, running status, a Note On of velocity 0, real time inside a message.
    EXPECT_EQ(parse(p, {bytesOf({0x90, 60}), bytesOf({100, 62}), bytesOf({0, 0xF8, 64, 0xFE, 0xFA, 70})}),
              (std::vector<QMMidiMessage>{msg(0x90, 0, 60, 100), msg(0x80, 0, 62, 0), msg(0x90, 0, 64, 70)}));
    // Two-byte messages keep their length under running status; a third data byte after a
    // three-byte message starts the next one.
    EXPECT_EQ(parse(p, {bytesOf({0xC5, 7, 8, 0xD2, 99, 0xB1, 7, 100, 10})}),
              (std::vector<QMMidiMessage>{msg(0xC0, 5, 7, 0), msg(0xC0, 5, 8, 0), msg(0xD0, 2, 99, 0), msg(0xB0, 1, 7, 100)}));
    EXPECT_EQ(parse(p, {bytesOf({20})}), (std::vector<QMMidiMessage>{msg(0xB0, 1, 10, 20)}));
    // System common cancels running status; tune request stands alone; stray data is dropped.
    EXPECT_EQ(parse(p, {bytesOf({0xF3, 4, 5, 0xF6, 9, 0xF2, 1, 2})}),
              (std::vector<QMMidiMessage>{msg(0xF3, 0, 4, 0), msg(0xF6, 0, 0, 0), msg(0xF2, 0, 1, 2)}));
}

TEST(QMMidiByteParser, SystemExclusiveAcrossDeliveriesAndItsLimits)
{
    QMMidiByteParser p;
    auto sysex = QMMidiMessage::withSysexArray({1, 2, 3, 4});
    ASSERT_TRUE(sysex);
    EXPECT_EQ(parse(p, {bytesOf({0xF0, 1, 2}), bytesOf({0xF8, 3}), bytesOf({4, 0xF7, 0x90, 1, 1})}),
              (std::vector<QMMidiMessage>{*sysex, msg(0x90, 0, 1, 1)}));

    // Left open for more than 128 deliveries: abandoned, its tail and end byte deliver nothing.
    QList<QByteArray> slow{bytesOf({0xF0, 1})};
    for (int i = 0; i < 129; ++i)
        slow.append(bytesOf({2}));
    slow.append(bytesOf({0xF7}));
    EXPECT_TRUE(parse(p, slow).empty());

    // Interrupted by a status byte: the sysex is dropped and the new message stands.
    EXPECT_EQ(parse(p, {bytesOf({0xF0, 1, 2, 0x93, 5, 6, 0xF7})}), (std::vector<QMMidiMessage>{msg(0x90, 3, 5, 6)}));
    EXPECT_FALSE(QMMidiMessage::withSysexArray({1, 128}));
}

TEST(QMMidiMessage, DescriptionsAndDictionary)
{
    const QMMidiMessage m = msg(0xE0, 3, 0x01, 0x02);
    EXPECT_EQ(m.description(), QStringLiteral("QMMidiMessage -- type: 224 channel: 3 data1: 1 data2: 2"));
    EXPECT_EQ(m.lengthyDescription(), QStringLiteral("PitchWheel, ch.3, pgm.257"));
    EXPECT_EQ(msg(0xC0, 1, 9, 0).lengthyDescription(), QStringLiteral("ProgramChange, ch.1, pgm.9"));
    EXPECT_EQ(msg(0xFC, 0, 0, 0).lengthyDescription(), QStringLiteral(""));
    const QVariantMap d = msg(0x90, 0, 60, 100).applicationCommandDictionary();
    EXPECT_EQ(d.value("state").toUInt(), 144u);
    EXPECT_EQ(d.value("intensity").toUInt(), 100u);
}

TEST_F(LoopbackTest, ManagerListsDevicesButNotItsOwnEndpointsAndFollowsHotPlug)
{
    midi->addSource(QStringLiteral("Pads"));
    RecordingManagerDelegate delegate; // outlives the managers, which tell it of each other's endpoints
    QMMidiManager first;
    QMMidiManager second;
    EXPECT_EQ(second.instanceIndex(), first.instanceIndex() + 1);
    EXPECT_EQ(second.receivingNodeName(), QStringLiteral("QM MIDI In %1").arg(second.instanceIndex()));
    if (first.instanceIndex() == 1) {
        EXPECT_EQ(first.sendingNodeName(), QStringLiteral("QM MIDI Out"));
    }
    for (const auto& node : first.sources())
        EXPECT_NE(node->name(), first.sendingNodeName());
    for (const auto& node : first.destinations())
        EXPECT_NE(node->name(), first.receivingNodeName());
    ASSERT_TRUE(first.findSourceNodeNamed(QStringLiteral("Pads")));
    EXPECT_NE(first.findSourceNodeNamed(QStringLiteral("Pads"))->uuid(), 0);

    first.setDelegate(&delegate);
    const auto synth = midi->addDestination(QStringLiteral("Synth"));
    EXPECT_EQ(delegate.destinationUpdates, 1);
    ASSERT_TRUE(first.findDestinationNodeNamed(QStringLiteral("Synth")));
    midi->removeEndpoint(synth);
    EXPECT_EQ(delegate.destinationUpdates, 2);
    EXPECT_FALSE(first.findDestinationNodeNamed(QStringLiteral("Synth")));
    platform::midi::MidiNotification unknown;
    unknown.messageID = platform::midi::kMidiMsgObjectRemoved;
    unknown.child = 9999;
    unknown.childType = platform::midi::MidiObjectType::Source;
    first.processMidiNotification(unknown);
    EXPECT_EQ(delegate.sourceUpdates, 0) << "a removed object no node stands for tells nobody";
}

TEST_F(LoopbackTest, NodesDeliverOnlyWhenEnabledAndSendCorrectLengths)
{
    const auto pads = midi->addSource(QStringLiteral("Pads"));
    const auto synth = midi->addDestination(QStringLiteral("Synth"));
    QMMidiManager manager;
    RecordingManagerDelegate delegate;
    manager.setDelegate(&delegate);
    QMMidiNode* in = manager.findSourceNodeNamed(QStringLiteral("Pads"));
    QMMidiNode* out = manager.findDestinationNodeNamed(QStringLiteral("Synth"));
    ASSERT_TRUE(in && out);

    midi->inject(pads, {bytesOf({0x90, 60, 100})});
    midi->flush();
    EXPECT_TRUE(delegate.taken().empty()) << "a disabled node delivers nothing";
    manager.sendMessage(msg(0x90, 0, 1, 1));
    EXPECT_TRUE(midi->sentTo(synth).isEmpty()) << "a disabled node sends nothing";

    in->setEnabled(true);
    out->setEnabled(true);
    midi->inject(pads, {bytesOf({0x90, 60})});
    midi->inject(pads, {bytesOf({100})});
    midi->flush();
    EXPECT_EQ(delegate.taken(), std::vector<QMMidiMessage>{msg(0x90, 0, 60, 100)});

    manager.sendMessages({msg(0xC0, 2, 5, 9), msg(0xD0, 15, 64, 9), msg(0xE0, 1, 0, 64), msg(0xF8, 0, 0, 0)});
    manager.sendMessage(*QMMidiMessage::withSysexArray({0x7D, 0x10}));
    EXPECT_EQ(midi->sentTo(synth), (QList<QByteArray>{bytesOf({0xC2, 5}), bytesOf({0xDF, 64}), bytesOf({0xE1, 0, 64}),
                                                      bytesOf({0xF8}), bytesOf({0xF0, 0x7D, 0x10, 0xF7})}));

    // A failed send, or a list that overflows, leaves nothing behind for the next send.
    midi->clearSent();
    midi->setFailSends(true);
    out->sendMessages({msg(0x90, 0, 1, 1)});
    out->sendMessage(msg(0x90, 0, 2, 2));
    midi->setFailSends(false);
    out->sendMessages(std::vector<QMMidiMessage>(200, msg(0x90, 0, 3, 3)));
    out->sendMessages({msg(0x90, 0, 4, 4)});
    EXPECT_EQ(midi->sentTo(synth), QList<QByteArray>{bytesOf({0x90, 4, 4})});
}
