// The MIDI communicator and parser on the loopback backend: received Note Ons become application
// commands on the main thread, the two outgoing commands reach every ticked destination byte for
// byte, selections persist, and the setup rows and display name follow the ticks.
#include "comm/core/CommunicationDeviceLookup.h"
#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMCommunicationModuleController.h"
#include "comm/showcontrol/midi/QMMIDIHardwareCommunicator.h"
#include "comm/showcontrol/midi/QMProtocolParserMIDI.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Log.h"
#include "platform/midi/AlsaMidiBackend.h"
#include "platform/midi/LoopbackMidiBackend.h"
#include "tests/platform/midi/MidiTestBytes.h"
#include "tests/platform/midi/NoMidiSystem.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <unistd.h>

using platform::midi::LoopbackMidiBackend;

namespace {

struct RecordingDelegate : QMProtocolParserDelegate {
    QList<std::pair<QString, QVariantMap>> commands;
    bool offMain = false;
    QVariant executeApplicationCommand(const QString& command, const QVariantMap& params) override
    {
        offMain = offMain || !platform::isMainThread();
        commands.append({command, params});
        return {};
    }
};

class MidiDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::midi::setBackend(midi);
        pads = midi->addSource(QStringLiteral("Pads"));
        keys = midi->addSource(QStringLiteral("Keys"));
        synth = midi->addDestination(QStringLiteral("Synth"));
        lights = midi->addDestination(QStringLiteral("Lights"));
        communicator = std::make_shared<QMMIDIHardwareCommunicator>();
        parser->setHardwareCommunicator(communicator);
        communicator->setParser(parser);
        parser->setDelegate(&delegate);
    }
    void TearDown() override
    {
        parser->setHardwareCommunicator(nullptr);
        communicator.reset();
        platform::midi::setBackend(nullptr);
    }
    QVariantMap command(const QString& name, const QStringList& values)
    {
        QVariantMap d = parser->protocolCommands().value(name).toMap();
        QVariantList params = d.value(QLatin1String(QMProtocolCommandKeyParams)).toList();
        for (qsizetype i = 0; i < params.size() && i < values.size(); ++i) {
            QVariantMap p = params[i].toMap();
            p.insert(QLatin1String(QMProtocolCommandKeyParamValue), values[i]);
            params[i] = p;
        }
        d.insert(QLatin1String(QMProtocolCommandKeyParams), params);
        return d;
    }
    int row(const QList<QMMIDIHardwareCommunicator::SetupRow>& rows, const QString& name)
    {
        for (qsizetype i = 0; i < rows.size(); ++i) {
            if (rows[i].name == name)
                return int(i);
        }
        return -1;
    }

    std::shared_ptr<LoopbackMidiBackend> midi = std::make_shared<LoopbackMidiBackend>();
    platform::midi::MidiObjectRef pads = 0, keys = 0, synth = 0, lights = 0;
    std::shared_ptr<QMProtocolParserMIDI> parser = std::make_shared<QMProtocolParserMIDI>();
    std::shared_ptr<QMMIDIHardwareCommunicator> communicator;
    RecordingDelegate delegate;
};

} // namespace

TEST(QMProtocolParserMIDI, ClassAndNoteNames)
{
    const QMProtocolParserClass& c = QMProtocolParserMIDI::midiClass();
    EXPECT_EQ(c.supportedProtocol(), QStringLiteral("MIDI"));
    EXPECT_EQ(c.protocolBehaviorMask(), QMProtocolBehaviorDevice);
    EXPECT_EQ(c.supportedHardwareCommunicators(), QStringList{"QMMIDIHardwareCommunicator"});
    EXPECT_EQ(QMMIDIHardwareCommunicator::midiClass().hardwareTypeName(), QStringLiteral("CoreMIDI Device"));
    const QStringList names = QMMidiNoteNames();
    ASSERT_EQ(names.size(), 128);
    EXPECT_EQ(names[0], QStringLiteral("C-2 (0)"));
    EXPECT_EQ(names[3], QStringLiteral("D#-2 (3)"));
    EXPECT_EQ(names[23], QStringLiteral("B-1 (23)"));
    EXPECT_EQ(names[24], QStringLiteral("C0 (24)"));
    EXPECT_EQ(names[60], QStringLiteral("C3 (60)"));
    EXPECT_EQ(names[127], QStringLiteral("G8 (127)"));
}

TEST_F(MidiDeviceTest, NoteOnFromATickedSourceBecomesAMidiNoteCommandOnTheMainThread)
{
    communicator->setupInterface();
    communicator->sourcesMatrixAction(row(communicator->sourceRows(), "Pads"), true);
    communicator->activate();
    EXPECT_EQ(communicator->displayName().toStdString(), "In: 1/2 Out: 0/3");

    midi->inject(keys, {bytesOf({0x90, 60, 100})}); // not ticked
    midi->inject(pads, {bytesOf({0x80, 60, 0}), bytesOf({0x90, 61, 0}), bytesOf({0xB0, 7, 1}), bytesOf({0xF0, 1, 0xF7})});
    midi->inject(pads, {bytesOf({0x90, 60, 100})});
    ASSERT_TRUE(testsupport::waitUntil([&] { return !delegate.commands.isEmpty(); }));
    testsupport::pumpEvents(20);
    ASSERT_EQ(delegate.commands.size(), 1);
    const auto& [name, params] = delegate.commands.first();
    EXPECT_EQ(name, QLatin1String(QMApplicationCommandMIDINote));
    EXPECT_EQ(params.value("state").toUInt(), 144u);
    EXPECT_EQ(params.value("channel").toUInt(), 0u);
    EXPECT_EQ(params.value("note").toUInt(), 60u);
    EXPECT_EQ(params.value("intensity").toUInt(), 100u);
    EXPECT_EQ(qmParserFromParams(params), parser.get());
    EXPECT_FALSE(delegate.offMain);

    communicator->deactivate();
    midi->inject(pads, {bytesOf({0x90, 60, 100})});
    midi->flush();
    testsupport::pumpEvents(20);
    EXPECT_EQ(delegate.commands.size(), 1) << "nothing is received while inactive";
}

TEST_F(MidiDeviceTest, NoteCommandsReachEveryTickedDestinationAndBadValuesAreRefused)
{
    communicator->setupInterface();
    communicator->destinationsMatrixAction(row(communicator->destinationRows(), "Synth"), true);
    communicator->destinationsMatrixAction(row(communicator->destinationRows(), "Lights"), true);
    communicator->activate();

    parser->sendProtocolCommand(command("MIDI Note On", {"16", "G8 (127)", "127"}));
    parser->sendProtocolCommand(command("MIDI Note Off", {"1", "C-2 (0)"}));
    const QList<QByteArray> expected{bytesOf({0x9F, 0x7F, 0x7F}), bytesOf({0x80, 0x00, 0x00})};
    EXPECT_EQ(midi->sentTo(synth), expected);
    EXPECT_EQ(midi->sentTo(lights), expected);

    midi->clearSent();
    platform::LogCapture capture;
    parser->sendProtocolCommand(command("MIDI Note On", {"0", "C3 (60)", "100"}));
    parser->sendProtocolCommand(command("MIDI Note On", {"17", "C3 (60)", "100"}));
    parser->sendProtocolCommand(command("MIDI Note On", {"1", "C3", "100"}));
    parser->sendProtocolCommand(command("MIDI Note On", {"1", "C3 (60)", "128"}));
    communicator->sendMIDINoteOnForChannel(0xFF, 60, 100);
    EXPECT_TRUE(midi->sentTo(synth).isEmpty());
    EXPECT_TRUE(capture.contains("MIDI channel \"0\" refused"));
    EXPECT_TRUE(capture.contains("MIDI note \"C3\" refused"));
    QVariantMap other = command("MIDI Note On", {"1", "C3 (60)", "1"});
    other.insert(QLatin1String(QMProtocolCommandKeyFormat), QStringLiteral("Sysex|Channel"));
    parser->sendProtocolCommand(other);
    EXPECT_TRUE(midi->sentTo(synth).isEmpty());
}

TEST_F(MidiDeviceTest, TickingWhileInactiveRecordsAndActivationEnables)
{
    communicator->setupInterface();
    const auto& rows = communicator->destinationRows();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_FALSE(rows[0].name.has_value()) << "row 0 stands for the virtual output";
    EXPECT_EQ(rows[0].title, communicator->midiManager().sendingNodeName());
    communicator->updateFromConfig();
    EXPECT_TRUE(rows[0].on);
    EXPECT_FALSE(rows[0].enabled);

    communicator->destinationsMatrixAction(row(rows, "Lights"), true);
    EXPECT_EQ(communicator->selectedDests(), QStringList{"Lights"});
    QMMidiNode* node = communicator->midiManager().findDestinationNodeNamed("Lights");
    ASSERT_TRUE(node);
    EXPECT_FALSE(node->isEnabled());
    communicator->activate();
    EXPECT_TRUE(node->isEnabled());
    EXPECT_EQ(communicator->activeStateLabel(), QStringLiteral("Connected"));

    // A device plugged in while active is enabled at once when its name is selected.
    communicator->sourcesMatrixAction(row(communicator->sourceRows(), "Pads"), true);
    midi->removeEndpoint(pads);
    EXPECT_EQ(communicator->sourceRows().size(), 1);
    midi->addSource(QStringLiteral("Pads"));
    ASSERT_TRUE(communicator->midiManager().findSourceNodeNamed("Pads"));
    EXPECT_TRUE(communicator->midiManager().findSourceNodeNamed("Pads")->isEnabled());
    communicator->deactivate();
    EXPECT_FALSE(node->isEnabled());
}

TEST_F(MidiDeviceTest, ElementKeepsSelectionsAndTheDisplayNameCountsThem)
{
    const auto empty = communicator->serializedConnectionProperties();
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->findAttribute("sources"), std::optional<QString>(QStringLiteral("")));
    EXPECT_EQ(empty->findAttribute("destinations"), std::optional<QString>(QStringLiteral("")));
    {
        const auto other = QMMIDIHardwareCommunicator::fromXML(platform::XmlElement(QStringLiteral("Else")));
        EXPECT_TRUE(std::static_pointer_cast<QMMIDIHardwareCommunicator>(other)->selectedSources().isEmpty());
    }

    const auto interfaces = QMMIDIHardwareCommunicator::midiClass().availableInterfaces();
    QStringList names;
    for (const QVariantMap& entry : interfaces)
        names << entry.value(QLatin1String(QMHardwareInterfaceDisplayName)).toString();
    EXPECT_TRUE(names.contains("Pads") && names.contains("Synth"));
    EXPECT_EQ(names.removeDuplicates(), 0);

    // Only the two sources remain (no other manager's virtual endpoints, no destination).
    parser->setHardwareCommunicator(nullptr);
    communicator.reset();
    midi->removeEndpoint(synth);
    midi->removeEndpoint(lights);
    platform::XmlElement element(QStringLiteral("QMMIDIHardwareCommunicator"));
    element.setAttribute(QStringLiteral("sources"), QStringLiteral("Pads||Gone"));
    element.setAttribute(QStringLiteral("destinations"), QStringLiteral(""));
    const auto restored = std::static_pointer_cast<QMMIDIHardwareCommunicator>(QMMIDIHardwareCommunicator::fromXML(element));
    EXPECT_EQ(restored->selectedSources(), (QStringList{"Pads", "Gone"}));
    EXPECT_TRUE(restored->selectedDests().isEmpty());
    restored->activate();
    EXPECT_EQ(restored->displayName().toStdString(), "In: 1/2 Out: 0/1");
    const auto saved = restored->serializedConnectionProperties();
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->attribute("sources"), QStringLiteral("Pads|Gone"));
    restored->deactivate();

    const auto layout = QMMIDIHardwareCommunicator::layoutInterface(17, 40, 17, 60);
    EXPECT_EQ(layout.height, 17 + 40 + 17 + 60 + 76);
    EXPECT_EQ(layout.sourcesMatrixY, 20 + 60 + 8 + 17 + 20);
}

TEST_F(MidiDeviceTest, SavedDeviceElementComesBackAsAParserWithItsCommunicator)
{
    QMRegisterMIDIClasses();
    EXPECT_EQ(CommunicationDeviceLookup::classForCommunicationType(12), &QMProtocolParserMIDI::midiClass());
    EXPECT_EQ(QMHardwareCommunicator::classNamed("QMMIDIHardwareCommunicator"), &QMMIDIHardwareCommunicator::midiClass());

    platform::XmlElement element(QStringLiteral("QMProtocolParserMIDI"));
    element.setAttribute(QStringLiteral("behavior"), QStringLiteral("4"));
    platform::XmlElement child(QStringLiteral("QMMIDIHardwareCommunicator"));
    child.setAttribute(QStringLiteral("sources"), QStringLiteral("Pads|Keys"));
    child.setAttribute(QStringLiteral("destinations"), QStringLiteral("Synth"));
    element.appendChild(child);

    QMCommunicationModuleController controller;
    const auto restored = controller.activateParserForXML(element);
    ASSERT_TRUE(restored);
    const auto midiCommunicator = std::dynamic_pointer_cast<QMMIDIHardwareCommunicator>(restored->hardwareCommunicator());
    ASSERT_TRUE(midiCommunicator);
    EXPECT_EQ(midiCommunicator->MIDIParser().get(), dynamic_cast<QMMIDIProtocolParser*>(restored.get()));
    EXPECT_EQ(restored->serializedParser(), element);
    restored->setHardwareCommunicator(nullptr);
}

TEST_F(MidiDeviceTest, ANoteNoDestinationWouldCarryIsLoggedWithTheReason)
{
    communicator->setupInterface();
    platform::LogCapture capture;
    communicator->sendMIDINoteOnForChannel(0, 60, 100);
    EXPECT_TRUE(capture.contains("MIDI NoteOn, ch.0, note.60, val.100 not sent: the MIDI device is not connected"));

    communicator->activate();
    capture.clear();
    communicator->sendMIDINoteOnForChannel(0, 60, 100);
    EXPECT_TRUE(capture.contains("MIDI NoteOn, ch.0, note.60, val.100 not sent: no MIDI destination is ticked"));

    communicator->destinationsMatrixAction(row(communicator->destinationRows(), "Synth"), true);
    midi->removeEndpoint(synth);
    capture.clear();
    communicator->sendMIDINoteOffForChannel(1, 61, 0);
    EXPECT_TRUE(capture.contains("MIDI NoteOff, ch.1, note.61, val.0 not sent: no ticked MIDI destination is plugged in"));

    // Plugged in again: it carries the next note, and nothing is said.
    const platform::midi::MidiObjectRef back = midi->addDestination(QStringLiteral("Synth"));
    capture.clear();
    communicator->sendMIDINoteOnForChannel(0, 60, 100);
    EXPECT_EQ(midi->sentTo(back), QList<QByteArray>{bytesOf({0x90, 60, 100})});
    EXPECT_EQ(capture.count(), 0u);
}

TEST(MidiWithoutASystem, TheDeviceDoesNotConnectSaysWhyAndANoteSaysItWasNotSent)
{
    platform::midi::setBackend(std::make_shared<NoMidiSystem>());
    {
        QMMIDIHardwareCommunicator communicator;
        platform::LogCapture capture;
        communicator.activate();
        EXPECT_FALSE(communicator.isActive());
        EXPECT_EQ(communicator.activeStateLabel(), QStringLiteral("Not Connected"));
        EXPECT_EQ(communicator.failureReason(), NoMidiSystem::reason());
        EXPECT_EQ(communicator.displayName().toStdString(), "In: 0/0 Out: 0/0") << "no virtual output to count";

        communicator.sendMIDINoteOnForChannel(0, 60, 100);
        EXPECT_TRUE(capture.contains("MIDI NoteOn, ch.0, note.60, val.100 not sent: the MIDI device is not connected "
                                     "(no MIDI sequencer)"));
    }
    platform::midi::setBackend(nullptr);
}

TEST(MidiWithoutSequencer, CommunicatorRunsWithNoNodesAfterOneLogLineAndDoesNotConnect)
{
    if (::access("/dev/snd/seq", R_OK | W_OK) == 0)
        GTEST_SKIP() << "a sequencer exists here";
    platform::midi::setBackend(std::make_shared<platform::midi::AlsaMidiBackend>());
    {
        platform::LogCapture capture;
        QMMIDIHardwareCommunicator communicator;
        EXPECT_EQ(capture.count(), 1u);
        EXPECT_TRUE(capture.contains("QMMidiManager:init - MIDIClientCreateWithBlock error"));
        EXPECT_FALSE(communicator.midiManager().virtualDestination());
        communicator.activate();
        EXPECT_FALSE(communicator.isActive());
        EXPECT_TRUE(communicator.failureReason().contains(QStringLiteral("MIDI sequencer")))
            << communicator.failureReason().toStdString();
        EXPECT_EQ(communicator.displayName().toStdString(), "In: 0/0 Out: 0/0");
        communicator.sendMIDINoteOnForChannel(0, 60, 100);
        communicator.deactivate();
        EXPECT_TRUE(QMMIDIHardwareCommunicator::midiClass().availableInterfaces().isEmpty());
    }
    platform::midi::setBackend(nullptr);
}
