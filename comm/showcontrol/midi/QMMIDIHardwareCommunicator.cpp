#include "comm/showcontrol/midi/QMMIDIHardwareCommunicator.h"

#include "comm/core/QMCommLog.h"

#include <set>

namespace {

class MIDIClass final : public QMHardwareCommunicatorClassOf<QMMIDIHardwareCommunicator> {
public:
    MIDIClass() : QMHardwareCommunicatorClassOf(QStringLiteral("QMMIDIHardwareCommunicator")) {}
    QString hardwareTypeName() const override { return QStringLiteral("CoreMIDI Device"); }
    QString setupViewNibName() const override { return QStringLiteral("QMCoreMIDIConfiguration"); }
    // One entry per distinct endpoint name: sources first, then destinations.
    QList<QVariantMap> availableInterfaces() const override
    {
        const auto backend = platform::midi::backend();
        QList<QVariantMap> list;
        std::set<QString> seen;
        const auto add = [&](platform::midi::MidiObjectRef endpoint) {
            QString name;
            if (backend->name(endpoint, &name) || !seen.insert(name).second)
                return;
            list.append({{QLatin1String(QMHardwareInterfaceDisplayName), name},
                         {QLatin1String(QMHardwareInterfaceUniqueIdentifier), name},
                         {QLatin1String(QMHardwareInterfaceType), QMCommunicatorTypeMIDI}});
        };
        const int sources = backend->numberOfSources();
        for (int i = 0; i < sources; ++i)
            add(backend->source(i));
        const int destinations = backend->numberOfDestinations();
        for (int i = 0; i < destinations; ++i)
            add(backend->destination(i));
        return list;
    }
};

QStringList namesFromAttribute(const std::optional<QString>& value)
{
    return value ? value->split(QLatin1Char('|'), Qt::SkipEmptyParts) : QStringList();
}

} // namespace

const QMHardwareCommunicatorClass& QMMIDIHardwareCommunicator::midiClass()
{
    static const MIDIClass instance;
    return instance;
}

QMMIDIHardwareCommunicator::QMMIDIHardwareCommunicator() : midiManager_(std::make_unique<QMMidiManager>())
{
    midiManager_->setDelegate(this);
}

QMMIDIHardwareCommunicator::~QMMIDIHardwareCommunicator()
{
    // The manager goes first, while this object is whole: its nodes stop their read callbacks.
    midiManager_.reset();
}

std::shared_ptr<QMHardwareCommunicator> QMMIDIHardwareCommunicator::fromXML(const platform::XmlElement& element)
{
    auto communicator = std::make_shared<QMMIDIHardwareCommunicator>();
    communicator->readConnectionProperties(element);
    return communicator;
}

void QMMIDIHardwareCommunicator::readConnectionProperties(const platform::XmlElement& element)
{
    if (element.name() == midiClass().className()) {
        selectedSources_ = namesFromAttribute(element.findAttribute(QStringLiteral("sources")));
        selectedDests_ = namesFromAttribute(element.findAttribute(QStringLiteral("destinations")));
    }
    updateDisplayName();
}

std::optional<platform::XmlElement> QMMIDIHardwareCommunicator::serializedConnectionProperties() const
{
    platform::XmlElement element(midiClass().className());
    element.setAttribute(QStringLiteral("sources"), selectedSources_.join(QLatin1Char('|')));
    element.setAttribute(QStringLiteral("destinations"), selectedDests_.join(QLatin1Char('|')));
    return element;
}

std::shared_ptr<QMMIDIProtocolParser> QMMIDIHardwareCommunicator::MIDIParser() const
{
    return parserAs<QMMIDIProtocolParser>();
}

void QMMIDIHardwareCommunicator::enableSelectedNodes(bool on)
{
    for (const auto& node : midiManager_->sources())
        node->setEnabled(on && selectedSources_.contains(node->name()));
    for (const auto& node : midiManager_->destinations())
        node->setEnabled(on && selectedDests_.contains(node->name()));
}

void QMMIDIHardwareCommunicator::activate()
{
    if (!isActive()) {
        // Without a MIDI system nothing can be sent or received: the device stays not connected
        // and says why, rather than reading connected with nothing behind it.
        if (!midiManager_->hasClient()) {
            const QString reason = midiManager_->unavailableReason();
            qmcomm::logError(QStringLiteral("MIDI device not connected: %1").arg(reason));
            setFailureReason(reason);
            updateDisplayName();
            return;
        }
        enableSelectedNodes(true);
        QMHardwareCommunicator::activate();
    }
    updateDisplayName();
}

void QMMIDIHardwareCommunicator::deactivate()
{
    if (isActive()) {
        enableSelectedNodes(false);
        QMHardwareCommunicator::deactivate();
    }
    updateDisplayName();
}

void QMMIDIHardwareCommunicator::updateDisplayName()
{
    long enabledSources = 0;
    long enabledDestinations = 0;
    for (const auto& node : midiManager_->sources())
        enabledSources += node->isEnabled() ? 1 : 0;
    for (const auto& node : midiManager_->destinations())
        enabledDestinations += node->isEnabled() ? 1 : 0;
    const QMMidiNode* virtualOut = midiManager_->virtualDestination();
    if (virtualOut && virtualOut->isEnabled() && isActive())
        ++enabledDestinations;
    setDisplayName(QStringLiteral("In: %1/%2 Out: %3/%4")
                       .arg(enabledSources)
                       .arg(qsizetype(midiManager_->sources().size()))
                       .arg(enabledDestinations)
                       .arg(qsizetype(midiManager_->destinations().size()) + (virtualOut ? 1 : 0)));
}

QString QMMIDIHardwareCommunicator::whyNotSent() const
{
    if (!isActive()) {
        const QString reason = failureReason();
        return reason.isEmpty() ? QStringLiteral("the MIDI device is not connected")
                                : QStringLiteral("the MIDI device is not connected (%1)").arg(reason);
    }
    for (const auto& node : midiManager_->destinations()) {
        if (node->isEnabled())
            return {};
    }
    return selectedDests_.isEmpty() ? QStringLiteral("no MIDI destination is ticked")
                                    : QStringLiteral("no ticked MIDI destination is plugged in");
}

void QMMIDIHardwareCommunicator::sendMIDIMessage(const QMMidiMessage& message)
{
    // A message nothing would carry is said in the log, not dropped in silence.
    if (const QString why = whyNotSent(); !why.isEmpty()) {
        qmcomm::logError(QStringLiteral("MIDI %1 not sent: %2").arg(message.lengthyDescription(), why));
        return;
    }
    midiManager_->sendMessage(message);
}

void QMMIDIHardwareCommunicator::sendNote(std::uint8_t type, std::uint32_t channel, std::uint32_t note, std::uint32_t intensity)
{
    if (channel > 15) {
        qmcomm::logError(QStringLiteral("MIDI channel %1 refused: channels are 0 to 15").arg(channel));
        return;
    }
    sendMIDIMessage(QMMidiMessage(type, std::uint8_t(channel), std::uint8_t(note & 0x7F), std::uint8_t(intensity & 0x7F)));
}

void QMMIDIHardwareCommunicator::sendMIDINoteOnForChannel(std::uint32_t channel, std::uint32_t note, std::uint32_t intensity)
{
    sendNote(0x90, channel, note, intensity);
}

void QMMIDIHardwareCommunicator::sendMIDINoteOffForChannel(std::uint32_t channel, std::uint32_t note, std::uint32_t intensity)
{
    sendNote(0x80, channel, note, intensity);
}

void QMMIDIHardwareCommunicator::updatedMidiInputSources()
{
    setupInterface();
    updateFromConfig();
}

void QMMIDIHardwareCommunicator::updatedMidiOutputDestinations()
{
    setupInterface();
    updateFromConfig();
}

void QMMIDIHardwareCommunicator::receivedMidiMessages(const std::vector<QMMidiMessage>& messages)
{
    const auto parser = MIDIParser();
    if (!parser)
        return;
    for (const QMMidiMessage& message : messages)
        parser->hardwareReceivedMIDIMessage(message);
}

QWidget* QMMIDIHardwareCommunicator::setupView()
{
    QWidget* view = QMHardwareCommunicator::setupView();
    if (!view) {
        qmcomm::logError(QStringLiteral("failed to load configuration nib"));
        return nullptr;
    }
    setupInterface();
    updateFromConfig();
    return view;
}

void QMMIDIHardwareCommunicator::setupInterface()
{
    const auto row = [](const QMMidiNode& node) {
        SetupRow r;
        r.title = node.name().isNull() ? QStringLiteral("Unknown Device") : node.name();
        r.name = node.name();
        return r;
    };
    sourceRows_.clear();
    for (const auto& node : midiManager_->sources())
        sourceRows_.append(row(*node));
    destinationRows_.clear();
    SetupRow virtualRow;
    virtualRow.title = midiManager_->sendingNodeName();
    destinationRows_.append(virtualRow);
    for (const auto& node : midiManager_->destinations())
        destinationRows_.append(row(*node));
    emit setupChanged();
}

void QMMIDIHardwareCommunicator::updateFromConfig()
{
    for (SetupRow& r : sourceRows_) {
        r.enabled = true;
        r.on = r.name && selectedSources_.contains(*r.name);
    }
    for (SetupRow& r : destinationRows_) {
        r.enabled = r.name.has_value();
        r.on = !r.name || selectedDests_.contains(*r.name);
    }
    enableSelectedNodes(isActive());
    updateDisplayName();
    emit setupChanged();
}

void QMMIDIHardwareCommunicator::applyTick(QStringList& selection, QMMidiNode& node, const QString& name, bool on)
{
    // A ticked node works only while the communicator is active; the name is kept either way.
    if (!on && selection.contains(name)) {
        node.setEnabled(false);
        selection.removeAll(name);
    } else if (on && !selection.contains(name) && !name.isEmpty()) {
        node.setEnabled(isActive());
        selection.append(name);
    }
    updateDisplayName();
}

void QMMIDIHardwareCommunicator::sourcesMatrixAction(int row, bool on)
{
    if (row < 0 || row >= sourceRows_.size())
        return;
    sourceRows_[row].on = on;
    const std::optional<QString> name = sourceRows_[row].name;
    if (!name || name->isNull()) {
        qmcomm::logError(QStringLiteral("nodeName is nil!"));
        return;
    }
    QMMidiNode* node = midiManager_->findSourceNodeNamed(*name);
    if (!node) {
        qmcomm::logError(QStringLiteral("unable to find source named: %1").arg(*name));
        return;
    }
    applyTick(selectedSources_, *node, *name, on);
}

void QMMIDIHardwareCommunicator::destinationsMatrixAction(int row, bool on)
{
    if (row < 0 || row >= destinationRows_.size())
        return;
    const std::optional<QString> name = destinationRows_[row].name;
    if (!name || name->isNull())
        return; // the virtual output stays ticked
    destinationRows_[row].on = on;
    QMMidiNode* node = midiManager_->findDestinationNodeNamed(*name);
    if (!node)
        return;
    applyTick(selectedDests_, *node, *name, on);
}

QMMIDIHardwareCommunicator::SetupLayout QMMIDIHardwareCommunicator::layoutInterface(int sourcesLabelHeight, int sourcesMatrixHeight,
                                                                                    int destinationsLabelHeight, int destinationsMatrixHeight)
{
    SetupLayout layout;
    int y = 20;
    layout.destinationsMatrixY = y;
    y += destinationsMatrixHeight + 8;
    layout.destinationsLabelY = y;
    y += destinationsLabelHeight + 20;
    layout.sourcesMatrixY = y;
    y += sourcesMatrixHeight + 8;
    layout.sourcesLabelY = y;
    y += sourcesLabelHeight + 20;
    layout.height = y;
    return layout;
}
