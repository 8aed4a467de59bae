#include "comm/showcontrol/midi/QMProtocolParserMIDI.h"

#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMCommLog.h"
#include "comm/showcontrol/midi/QMMIDIHardwareCommunicator.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/StringValue.h"

namespace {

class MIDIParserClass final : public QMProtocolParserClassOf<QMProtocolParserMIDI> {
public:
    MIDIParserClass() : QMProtocolParserClassOf(QStringLiteral("QMProtocolParserMIDI")) {}
    QString supportedProtocol() const override { return QStringLiteral("MIDI"); }
    QString supportedProtocolIcon() const override { return QStringLiteral("midi"); }
    QString supportedProtocolDescription() const override
    {
        return QStringLiteral("Allows receiving of MIDI commands via a CoreMIDI interface.");
    }
    QStringList supportedHardwareCommunicators() const override { return {QStringLiteral("QMMIDIHardwareCommunicator")}; }
    std::uint64_t protocolBehaviorMask() const override { return QMProtocolBehaviorDevice; }
};

QString key(const char* name)
{
    return QLatin1String(name);
}

QStringList numbers(int from, int to)
{
    QStringList list;
    for (int i = from; i <= to; ++i)
        list << QString::number(i);
    return list;
}

QVariantMap parameter(const QString& name, qsizetype location, qsizetype length, const QStringList& values)
{
    return {{key(QMProtocolCommandKeyParamName), name},
            {key(QMProtocolCommandKeyParamReplaceRange), QVariant::fromValue(QMRange{location, length})},
            {key(QMProtocolCommandKeyParamPossibleValues), values}};
}

QVariantMap descriptor(int index, const QString& name, const QString& description, const QString& format, const QVariantList& params)
{
    return {{key(QMProtocolCommandKeyDisplayName), name},
            {key(QMProtocolCommandKeyIndex), index},
            {key(QMProtocolCommandKeyDescription), description},
            {key(QMProtocolCommandKeyFormat), format},
            {key(QMProtocolCommandKeyParams), params}};
}

// The number in parentheses of a note name, or -1.
int noteNumber(const QString& value)
{
    const qsizetype open = value.indexOf(QLatin1Char('('));
    const qsizetype close = value.indexOf(QLatin1Char(')'));
    if (open < 0 || close <= open + 1)
        return -1;
    const QString digits = value.mid(open + 1, close - open - 1).trimmed();
    bool ok = false;
    const int n = digits.toInt(&ok);
    return ok ? n : -1;
}

bool isWholeNumber(const QString& text, int* value)
{
    bool ok = false;
    *value = text.trimmed().toInt(&ok);
    return ok;
}

} // namespace

QStringList QMMidiNoteNames()
{
    static const char* const kPitches[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    QStringList names;
    for (int n = 0; n < 128; ++n)
        names << QStringLiteral("%1%2 (%3)").arg(QLatin1String(kPitches[n % 12])).arg(n / 12 - 2).arg(n);
    return names;
}

const QMProtocolParserClass& QMProtocolParserMIDI::midiClass()
{
    static const MIDIParserClass instance;
    return instance;
}

QVariantMap QMProtocolParserMIDI::protocolCommands()
{
    std::call_once(commandsBuilt_, [this] {
        const QStringList channels = numbers(1, 16);
        const QStringList notes = QMMidiNoteNames();
        const QVariantMap on = descriptor(1, QStringLiteral("MIDI Note On"),
                                          QStringLiteral("Sends a MIDI Note On for the given note at the given intensity."),
                                          QStringLiteral("NoteOn|Channel|Note|Intensity"),
                                          {parameter(QStringLiteral("Channel"), 7, 7, channels), parameter(QStringLiteral("Note"), 15, 4, notes),
                                           parameter(QStringLiteral("Intensity"), 20, 9, numbers(0, 127))});
        const QVariantMap off = descriptor(2, QStringLiteral("MIDI Note Off"), QStringLiteral("Sends a MIDI Note Off for the given note."),
                                           QStringLiteral("NoteOff|Channel|Note"),
                                           {parameter(QStringLiteral("Channel"), 8, 7, channels), parameter(QStringLiteral("Note"), 16, 4, notes)});
        protocolCommands_ = {{QStringLiteral("MIDI Note On"), on}, {QStringLiteral("MIDI Note Off"), off}};
    });
    return protocolCommands_;
}

void QMProtocolParserMIDI::sendProtocolCommand(const QVariantMap& command)
{
    int intensity = 0;
    int note = 0;
    int channel = 0;
    for (const QVariant& item : command.value(key(QMProtocolCommandKeyParams)).toList()) {
        const QVariantMap param = item.toMap();
        const QVariant raw = param.value(key(QMProtocolCommandKeyParamValue));
        if (!raw.isValid() || raw.isNull())
            continue;
        const QString name = param.value(key(QMProtocolCommandKeyParamName)).toString();
        const QString value = raw.toString();
        if (name == QLatin1String("Intensity")) {
            if (!isWholeNumber(value, &intensity) || intensity < 0 || intensity > 127) {
                qmcomm::logError(QStringLiteral("MIDI intensity \"%1\" refused: intensities are 0 to 127").arg(value));
                return;
            }
        } else if (name == QLatin1String("Note")) {
            note = noteNumber(value);
            if (note < 0 || note > 127) {
                qmcomm::logError(QStringLiteral("MIDI note \"%1\" refused: notes are named \"C-2 (0)\" to \"G8 (127)\"").arg(value));
                return;
            }
        } else if (name == QLatin1String("Channel")) {
            // "0" must not become 0xFF (a System Reset once or'ed into the status byte).
            if (!isWholeNumber(value, &channel) || channel < 1 || channel > 16) {
                qmcomm::logError(QStringLiteral("MIDI channel \"%1\" refused: channels are 1 to 16").arg(value));
                return;
            }
            channel -= 1;
        }
    }
    const auto midi = std::dynamic_pointer_cast<QMMIDIHardwareCommunicator>(hardwareCommunicator());
    const QString format = command.value(key(QMProtocolCommandKeyFormat)).toString();
    if (!midi)
        return;
    if (format.startsWith(QLatin1String("NoteOff")))
        midi->sendMIDINoteOffForChannel(std::uint8_t(channel), std::uint8_t(note), std::uint8_t(intensity));
    else if (format.startsWith(QLatin1String("NoteOn")))
        midi->sendMIDINoteOnForChannel(std::uint8_t(channel), std::uint8_t(note), std::uint8_t(intensity));
}

void QMProtocolParserMIDI::hardwareReceivedMIDIMessage(const QMMidiMessage& message)
{
    std::weak_ptr<QMProtocolParser> weak = weak_from_this();
    platform::dispatchMain([weak, message] {
        if (const auto self = weak.lock())
            static_cast<QMProtocolParserMIDI&>(*self).handleHardwareReceivedMIDIMessage(message);
    });
}

void QMProtocolParserMIDI::handleHardwareReceivedMIDIMessage(const QMMidiMessage& message)
{
    QVariantMap params;
    if (message.type() != 0x90) {
        if (qmcomm::debugEnabled())
            qmcomm::log(QStringLiteral("unhanded QMMIDIMessage type %1 %2").arg(message.type()).arg(message.description()));
        return;
    }
    params.insert(message.applicationCommandDictionary());
    if (qmcomm::debugEnabled())
        qmcomm::log(QStringLiteral("MIDI: state:%1 note:%2 intensity:%3 channel:%4")
                        .arg(message.type(), 0, 16)
                        .arg(message.data1(), 0, 16)
                        .arg(message.data2(), 0, 16)
                        .arg(message.channel()));
    executeApplicationCommand(QLatin1String(QMApplicationCommandMIDINote), params);
}

void QMRegisterMIDIClasses()
{
    QMProtocolParserClass::registerClass(QMProtocolParserMIDI::midiClass());
    QMHardwareCommunicator::registerSubclass(QMMIDIHardwareCommunicator::midiClass());
}
