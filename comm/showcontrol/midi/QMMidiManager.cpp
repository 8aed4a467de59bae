#include "comm/showcontrol/midi/QMMidiManager.h"

#include "comm/core/QMCommLog.h"

#include <algorithm>

namespace {

std::atomic<std::uint64_t> gInstanceCount{0};

} // namespace

QString QMMidiObjectTypeName(platform::midi::MidiObjectType type)
{
    using T = platform::midi::MidiObjectType;
    switch (type) {
    case T::Other: return QStringLiteral("other");
    case T::Device: return QStringLiteral("device");
    case T::Entity: return QStringLiteral("entity");
    case T::Source: return QStringLiteral("source");
    case T::Destination: return QStringLiteral("destination");
    case T::ExternalDevice: return QStringLiteral("external device");
    case T::ExternalEntity: return QStringLiteral("external entity");
    case T::ExternalSource: return QStringLiteral("external source");
    case T::ExternalDestination: return QStringLiteral("external destination");
    }
    return QStringLiteral("unknown type");
}

QMMidiManager::QMMidiManager() : backend_(platform::midi::backend()), instanceIndex_(++gInstanceCount)
{
    const auto notify = [this](const platform::midi::MidiNotification& n) { processMidiNotification(n); };
    if (const int status = backend_->clientCreate(QStringLiteral("com.quenmark.communications.midiClient"), notify, &clientRef_)) {
        qmcomm::logError(QStringLiteral("QMMidiManager:init - MIDIClientCreateWithBlock error: %1").arg(status));
        clientRef_ = 0;
        unavailableReason_ = backend_->unavailableReason();
        if (unavailableReason_.isEmpty())
            unavailableReason_ = QStringLiteral("the MIDI system refused a client (error %1)").arg(status);
    }
    // Without a client (no MIDI system here) there is nothing to create or list: one line said so.
    if (!clientRef_)
        return;
    virtualSource_ = QMMidiNode::createReceiverWithName(receivingNodeName(), clientRef_);
    virtualDestination_ = QMMidiNode::createSenderWithName(sendingNodeName(), clientRef_);
    if (virtualSource_)
        virtualSource_->setDelegate(this);
    if (virtualDestination_)
        virtualDestination_->setDelegate(this);
    loadMidiEndpointsForType(QMMidiEndpointReceiver);
    loadMidiEndpointsForType(QMMidiEndpointSender);
}

QMMidiManager::~QMMidiManager()
{
    // Nodes first (their ports stop their read callbacks), then the client.
    sources_.clear();
    destinations_.clear();
    virtualSource_.reset();
    virtualDestination_.reset();
    if (clientRef_)
        backend_->clientDispose(clientRef_);
}

QString QMMidiManager::receivingNodeName() const
{
    return instanceIndex_ < 2 ? QStringLiteral("QM MIDI In") : QStringLiteral("QM MIDI In %1").arg(instanceIndex_);
}

QString QMMidiManager::sendingNodeName() const
{
    return instanceIndex_ < 2 ? QStringLiteral("QM MIDI Out") : QStringLiteral("QM MIDI Out %1").arg(instanceIndex_);
}

std::unique_ptr<QMMidiNode> QMMidiManager::adoptNode(platform::midi::MidiObjectRef endpoint, long type)
{
    std::unique_ptr<QMMidiNode> node = QMMidiNode::createWithEndPoint(endpoint, type, clientRef_);
    if (!node)
        return nullptr;
    const QString ownName = type == QMMidiEndpointReceiver ? sendingNodeName() : receivingNodeName();
    if (node->name() == ownName)
        return nullptr;
    node->setDelegate(this);
    return node;
}

void QMMidiManager::loadMidiEndpointsForType(long type)
{
    const bool sources = type == QMMidiEndpointReceiver;
    const int count = sources ? backend_->numberOfSources() : backend_->numberOfDestinations();
    for (int i = 0; i < count; ++i) {
        const platform::midi::MidiObjectRef endpoint = sources ? backend_->source(i) : backend_->destination(i);
        if (auto node = adoptNode(endpoint, type))
            (sources ? sources_ : destinations_).push_back(std::move(node));
    }
}

void QMMidiManager::processMidiNotification(const platform::midi::MidiNotification& n)
{
    using T = platform::midi::MidiObjectType;
    if (n.messageID == platform::midi::kMidiMsgPropertyChanged) {
        qmcomm::log(QStringLiteral("\tobject... obj: %1\t type: %2\tname: %3").arg(n.child).arg(QMMidiObjectTypeName(n.childType), n.propertyName));
        return;
    }
    if (n.messageID != platform::midi::kMidiMsgObjectAdded && n.messageID != platform::midi::kMidiMsgObjectRemoved)
        return;
    long type;
    if (n.childType == T::Source || n.childType == T::ExternalSource)
        type = QMMidiEndpointReceiver;
    else if (n.childType == T::Destination || n.childType == T::ExternalDestination)
        type = QMMidiEndpointSender;
    else
        return;
    NodeList& list = type == QMMidiEndpointReceiver ? sources_ : destinations_;
    if (n.messageID == platform::midi::kMidiMsgObjectAdded) {
        auto node = adoptNode(n.child, type);
        if (!node)
            return;
        list.push_back(std::move(node));
    } else {
        const auto removed = std::erase_if(list, [&](const std::unique_ptr<QMMidiNode>& node) { return node->endpointRef() == n.child; });
        if (removed == 0)
            return;
    }
    if (QMMidiManagerDelegate* target = delegate()) {
        if (type == QMMidiEndpointReceiver)
            target->updatedMidiInputSources();
        else
            target->updatedMidiOutputDestinations();
    }
}

QMMidiNode* QMMidiManager::findSourceNodeNamed(const QString& name) const
{
    for (const auto& node : sources_) {
        if (node->name() == name)
            return node.get();
    }
    return nullptr;
}

QMMidiNode* QMMidiManager::findDestinationNodeNamed(const QString& name) const
{
    for (const auto& node : destinations_) {
        if (node->name() == name)
            return node.get();
    }
    return nullptr;
}

void QMMidiManager::sendMessage(const QMMidiMessage& message)
{
    for (const auto& node : destinations_)
        node->sendMessage(message);
}

void QMMidiManager::sendMessages(const std::vector<QMMidiMessage>& messages)
{
    for (const QMMidiMessage& message : messages)
        sendMessage(message);
}

void QMMidiManager::midiNodeReceivedMessages(QMMidiNode*, const std::vector<QMMidiMessage>& messages)
{
    if (QMMidiManagerDelegate* target = delegate())
        target->receivedMidiMessages(messages);
}
