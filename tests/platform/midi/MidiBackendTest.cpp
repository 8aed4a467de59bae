// The MIDI client layer: packet lists, ALSA event <-> byte conversion (library only), the
// loopback backend's routing and hot-plug, and the ALSA backend where a sequencer exists.
#include "platform/foundation/Log.h"
#include "platform/midi/AlsaMidiBackend.h"
#include "platform/midi/AlsaMidiCodec.h"
#include "platform/midi/LoopbackMidiBackend.h"
#include "tests/platform/midi/MidiTestBytes.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <mutex>
#include <vector>

using namespace platform::midi;

namespace {

QList<QByteArray> packetsOf(const MidiPacketList& list)
{
    QList<QByteArray> out;
    list.forEachPacket([&](const MidiPacket& p) { out.append(QByteArray(reinterpret_cast<const char*>(p.bytes), p.length)); });
    return out;
}

} // namespace

TEST(MidiPacketList, AddsUntilFullAndInitEmpties)
{
    MidiPacketList list;
    const std::uint8_t note[3] = {0x90, 60, 100};
    int added = 0;
    while (list.add(0, note, 3))
        ++added;
    EXPECT_EQ(added, (1024 - 4) / 13); // 10-byte packet header + 3 bytes each
    EXPECT_EQ(list.packetCount(), std::uint32_t(added));
    EXPECT_EQ(packetsOf(list).first(), bytesOf({0x90, 60, 100}));
    list.init();
    EXPECT_EQ(list.packetCount(), 0u);
    EXPECT_TRUE(list.add(0, note, 3));
    std::vector<std::uint8_t> big(2000, 0x11);
    EXPECT_FALSE(list.add(0, big.data(), big.size()));
    EXPECT_EQ(list.packetCount(), 1u);
}

TEST(AlsaMidiCodec, BytesToEventsAndBack)
{
    AlsaMidiCodec codec;
    ASSERT_TRUE(codec.isValid());
    // Note On, running-status Note On, Program Change (2 bytes), a sysex and a clock tick.
    const QByteArray stream = bytesOf({0x91, 60, 100, 62, 0, 0xC3, 5, 0xF0, 0x7D, 0x01, 0xF7, 0xF8});
    std::vector<snd_seq_event_t> events;
    std::vector<QByteArray> sysex;
    codec.encode(reinterpret_cast<const std::uint8_t*>(stream.constData()), std::size_t(stream.size()), [&](const snd_seq_event_t& e) {
        events.push_back(e);
        if (e.type == SND_SEQ_EVENT_SYSEX)
            sysex.emplace_back(static_cast<const char*>(e.data.ext.ptr), int(e.data.ext.len));
    });
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0].type, SND_SEQ_EVENT_NOTEON);
    EXPECT_EQ(events[0].data.note.channel, 1);
    EXPECT_EQ(events[0].data.note.note, 60);
    EXPECT_EQ(events[0].data.note.velocity, 100);
    EXPECT_EQ(events[1].type, SND_SEQ_EVENT_NOTEON); // running status; velocity 0 stays a Note On on the wire
    EXPECT_EQ(events[1].data.note.note, 62);
    EXPECT_EQ(events[2].type, SND_SEQ_EVENT_PGMCHANGE);
    EXPECT_EQ(events[2].data.control.value, 5);
    EXPECT_EQ(events[3].type, SND_SEQ_EVENT_SYSEX);
    ASSERT_EQ(sysex.size(), 1u);
    EXPECT_EQ(sysex[0], bytesOf({0xF0, 0x7D, 0x01, 0xF7}));
    EXPECT_EQ(events[4].type, SND_SEQ_EVENT_CLOCK);

    // Decoding writes every status byte (no running status) and the right length per status.
    std::uint8_t out[16];
    const auto decoded = [&](const snd_seq_event_t& e) {
        const long n = codec.decode(e, out, sizeof out);
        return n > 0 ? QByteArray(reinterpret_cast<const char*>(out), int(n)) : QByteArray();
    };
    EXPECT_EQ(decoded(events[0]), bytesOf({0x91, 60, 100}));
    EXPECT_EQ(decoded(events[1]), bytesOf({0x91, 62, 0}));
    EXPECT_EQ(decoded(events[2]), bytesOf({0xC3, 5}));
    EXPECT_EQ(decoded(events[4]), bytesOf({0xF8}));
    snd_seq_event_t pressure;
    snd_seq_ev_clear(&pressure);
    pressure.type = SND_SEQ_EVENT_CHANPRESS;
    pressure.data.control.channel = 15;
    pressure.data.control.value = 77;
    EXPECT_EQ(decoded(pressure), bytesOf({0xDF, 77}));
}

TEST(LoopbackMidiBackend, RoutesSendsAndInjectionsAndAnnouncesHotPlug)
{
    LoopbackMidiBackend midi;
    std::vector<MidiNotification> notes;
    MidiObjectRef client = 0;
    ASSERT_EQ(midi.clientCreate("test", [&](const MidiNotification& n) { notes.push_back(n); }, &client), 0);

    const MidiObjectRef keyboard = midi.addSource("Keyboard");
    const MidiObjectRef synth = midi.addDestination("Synth");
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].messageID, kMidiMsgObjectAdded);
    EXPECT_EQ(notes[0].childType, MidiObjectType::Source);
    EXPECT_EQ(notes[1].child, synth);
    EXPECT_EQ(midi.numberOfSources(), 1);
    EXPECT_EQ(midi.source(0), keyboard);

    std::mutex mutex;
    QList<QByteArray> heard;
    std::atomic<bool> onOtherThread{false};
    const auto mainThread = std::this_thread::get_id();
    MidiObjectRef in = 0;
    ASSERT_EQ(midi.inputPortCreate(client, "in", [&](const MidiPacketList& l) {
        std::lock_guard lock(mutex);
        heard += packetsOf(l);
        onOtherThread = std::this_thread::get_id() != mainThread;
    }, &in), 0);
    ASSERT_EQ(midi.portConnectSource(in, keyboard), 0);
    midi.inject(keyboard, {bytesOf({0x90, 1, 2}), bytesOf({0x80, 1, 0})});
    midi.flush();
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(heard, (QList<QByteArray>{bytesOf({0x90, 1, 2}), bytesOf({0x80, 1, 0})}));
    }
    EXPECT_TRUE(onOtherThread);

    MidiObjectRef out = 0;
    ASSERT_EQ(midi.outputPortCreate(client, "out", &out), 0);
    MidiPacketList list;
    const std::uint8_t cc[3] = {0xB0, 7, 127};
    list.add(0, cc, 3);
    EXPECT_EQ(midi.send(out, synth, list), 0);
    EXPECT_EQ(midi.sentTo(synth), QList<QByteArray>{bytesOf({0xB0, 7, 127})});
    EXPECT_NE(midi.send(out, keyboard, list), 0) << "a source is not a destination";

    notes.clear();
    midi.removeEndpoint(keyboard);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].messageID, kMidiMsgObjectRemoved);
    EXPECT_EQ(notes[0].child, keyboard);
    EXPECT_EQ(midi.numberOfSources(), 0);
    // Disposing of the port waits for its callbacks: nothing reaches it afterwards.
    EXPECT_EQ(midi.portDispose(in), 0);
    EXPECT_NE(midi.portDispose(in), 0);
    EXPECT_EQ(midi.clientDispose(client), 0);
}

TEST(AlsaMidiBackend, RunsWithNoDevicesWithoutASequencer)
{
    if (::access("/dev/snd/seq", R_OK | W_OK) == 0)
        GTEST_SKIP() << "a sequencer exists here; covered by the device test";
    AlsaMidiBackend midi;
    EXPECT_FALSE(midi.isAvailable());
    MidiObjectRef client = 0;
    EXPECT_EQ(midi.clientCreate("test", {}, &client), kMidiErrorUnavailable);
    EXPECT_EQ(midi.numberOfSources(), 0);
    EXPECT_EQ(midi.numberOfDestinations(), 0);
    MidiObjectRef endpoint = 0;
    EXPECT_NE(midi.sourceCreate(client, "x", &endpoint), 0);
}

TEST(AlsaMidiBackend, VirtualEndpointsCarryBytesThroughTheSequencer)
{
    if (::access("/dev/snd/seq", R_OK | W_OK) != 0)
        GTEST_SKIP() << "no /dev/snd/seq here";
    AlsaMidiBackend midi;
    ASSERT_TRUE(midi.isAvailable());
    MidiObjectRef client = 0;
    ASSERT_EQ(midi.clientCreate("test", {}, &client), 0);
    std::mutex mutex;
    QList<QByteArray> heard;
    MidiObjectRef destination = 0;
    ASSERT_EQ(midi.destinationCreate(client, "klv test in", [&](const MidiPacketList& l) {
        std::lock_guard lock(mutex);
        heard += packetsOf(l);
    }, &destination), 0);
    MidiObjectRef out = 0;
    ASSERT_EQ(midi.outputPortCreate(client, "klv test out", &out), 0);
    MidiPacketList list;
    const std::uint8_t note[3] = {0x92, 64, 90};
    list.add(0, note, 3);
    ASSERT_EQ(midi.send(out, destination, list), 0);
    EXPECT_TRUE(testsupport::waitUntil([&] {
        std::lock_guard lock(mutex);
        return heard.size() == 1;
    }));
    std::lock_guard lock(mutex);
    EXPECT_EQ(heard.value(0), bytesOf({0x92, 64, 90}));
}
