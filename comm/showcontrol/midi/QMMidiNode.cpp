#include "comm/showcontrol/midi/QMMidiNode.h"

#include "comm/core/QMCommLog.h"
#include "platform/foundation/Exception.h"

namespace {

const QString kInputPortName = QStringLiteral("com.quenmark.communications.midiInputPort");
const QString kOutputPortName = QStringLiteral("com.quenmark.communications.midiOutputPort");

void logStatus(const char* text, int status)
{
    qmcomm::logError(QString::fromLatin1(text).arg(status));
}

} // namespace

QMMidiNode::QMMidiNode() : backend_(platform::midi::backend()) {}

QMMidiNode::~QMMidiNode()
{
    // The port first: afterwards no read callback can reach this node.
    if (portRef_)
        backend_->portDispose(portRef_);
    if (endpointRef_ && ownsEndpoint_)
        backend_->endpointDispose(endpointRef_);
}

std::unique_ptr<QMMidiNode> QMMidiNode::createWithEndPoint(Ref endpoint, long type, Ref client)
{
    if (type == QMMidiEndpointReceiver)
        return createReceiverWithEndpoint(endpoint, client);
    if (type == QMMidiEndpointSender)
        return createSenderWithEndpoint(endpoint, client);
    platform::Exception::raise(QString::fromLatin1(platform::kInternalInconsistencyException),
                               QStringLiteral("invalid QMMidiEndpointType %1"), type);
}

std::unique_ptr<QMMidiNode> QMMidiNode::createReceiverWithEndpoint(Ref endpoint, Ref client)
{
    std::unique_ptr<QMMidiNode> node(new QMMidiNode);
    node->endpointRef_ = endpoint;
    QMMidiNode* self = node.get();
    if (const int status = node->backend_->inputPortCreate(client, kInputPortName,
                                                           [self](const platform::midi::MidiPacketList& p) { self->handleMidiRead(p); },
                                                           &node->portRef_)) {
        logStatus("QMMidiNode:initReceiverWithEndpoint: - MIDIInputPortCreateWithBlock error: %1", status);
        node->endpointRef_ = 0;
        return nullptr;
    }
    if (const int status = node->backend_->portConnectSource(node->portRef_, endpoint)) {
        logStatus("QMMidiNode:initReceiverWithEndpoint: - MIDIPortConnectSource error: %1", status);
        node->endpointRef_ = 0;
        return nullptr;
    }
    node->loadProperties();
    return node;
}

std::unique_ptr<QMMidiNode> QMMidiNode::createReceiverWithName(const QString& name, Ref client)
{
    std::unique_ptr<QMMidiNode> node(new QMMidiNode);
    node->name_ = name;
    QMMidiNode* self = node.get();
    const auto read = [self](const platform::midi::MidiPacketList& p) { self->handleMidiRead(p); };
    if (const int status = node->backend_->destinationCreate(client, name, read, &node->endpointRef_)) {
        logStatus("QMMidiNode:initReceiverWithName: - MIDIDestinationCreateWithBlock error: %1", status);
        return nullptr;
    }
    node->ownsEndpoint_ = true;
    Ref port = 0;
    if (const int status = node->backend_->inputPortCreate(client, name, read, &port)) {
        logStatus("QMMidiNode:initReceiverWithName: - MIDIInputPortCreateWithBlock error: %1", status);
        return nullptr;
    }
    node->portRef_ = port;
    return node;
}

std::unique_ptr<QMMidiNode> QMMidiNode::createSenderWithEndpoint(Ref endpoint, Ref client)
{
    std::unique_ptr<QMMidiNode> node(new QMMidiNode);
    node->endpointRef_ = endpoint;
    if (const int status = node->backend_->outputPortCreate(client, kOutputPortName, &node->portRef_)) {
        logStatus("QMMidiNode:initSenderWithEndpoint - MIDIOutputPortCreate error: %1", status);
        node->endpointRef_ = 0;
        return nullptr;
    }
    node->sender_ = true;
    node->packetList_ = std::make_unique<platform::midi::MidiPacketList>();
    node->loadProperties();
    return node;
}

std::unique_ptr<QMMidiNode> QMMidiNode::createSenderWithName(const QString& name, Ref client)
{
    std::unique_ptr<QMMidiNode> node(new QMMidiNode);
    node->name_ = name;
    if (const int status = node->backend_->sourceCreate(client, name, &node->endpointRef_)) {
        logStatus("QMMidiNode:initSenderWithName: - MIDISourceCreate error: %1", status);
        return nullptr;
    }
    node->ownsEndpoint_ = true;
    node->sender_ = true;
    node->virtualSender_ = true;
    if (const int status = node->backend_->outputPortCreate(client, name, &node->portRef_)) {
        logStatus("QMMidiNode:initSenderWithName: - MIDIOutputPortCreate error: %1", status);
        return nullptr;
    }
    node->packetList_ = std::make_unique<platform::midi::MidiPacketList>();
    return node;
}

void QMMidiNode::loadProperties()
{
    QString name;
    if (const int status = backend_->name(endpointRef_, &name))
        logStatus("QMMidiNode:loadProperties - MIDIObjectGetStringProperty error: %1", status);
    else
        name_ = name;
    std::int32_t id = 0;
    if (const int status = backend_->uniqueID(endpointRef_, &id))
        logStatus("QMMidiNode:loadProperties - MIDIObjectGetIntegerProperty error %1", status);
    else
        uuid_ = id;
}

void QMMidiNode::setEnabled(bool enabled)
{
    // A node switched on starts from a clean parser: bytes of a message half received before it
    // was switched off must not join the next one.
    if (enabled && !enabled_.load())
        resetParser_ = true;
    enabled_ = enabled;
}

QString QMMidiNode::description() const
{
    return QStringLiteral("<QMMidiNode: %1>\tname: %2").arg(quintptr(this), 0, 16).arg(name_);
}

void QMMidiNode::handleMidiRead(const platform::midi::MidiPacketList& packets)
{
    QMMidiNodeDelegate* target = delegate();
    if (!enabled_.load() || !target)
        return;
    if (resetParser_.exchange(false))
        parser_.reset();
    parser_.beginDelivery();
    received_.clear();
    packets.forEachPacket([this](const platform::midi::MidiPacket& packet) {
        for (std::uint16_t i = 0; i < packet.length; ++i)
            parser_.parse(packet.bytes[i], received_);
    });
    if (!received_.empty())
        target->midiNodeReceivedMessages(this, received_);
}

bool QMMidiNode::addToPacketList(const QMMidiMessage& message)
{
    if (message.type() == 0xF0) {
        const std::vector<std::uint8_t> bytes = message.wireBytes();
        return packetList_->add(0, bytes.data(), bytes.size());
    }
    // Short messages without allocating: status and the data bytes the status takes.
    std::uint8_t bytes[3];
    const std::uint8_t status = message.type() < 0xF0 ? std::uint8_t(message.type() | (message.channel() & 0x0F)) : message.type();
    const int length = QMMidiMessage::dataLengthForStatus(status);
    bytes[0] = status;
    bytes[1] = message.data1() & 0x7F;
    bytes[2] = message.data2() & 0x7F;
    return packetList_->add(0, bytes, std::size_t(1 + (length > 0 ? length : 0)));
}

void QMMidiNode::sendPacketList(const char* receivedError, const char* sendError)
{
    const int status = virtualSender_ ? backend_->received(endpointRef_, *packetList_)
                                      : backend_->send(portRef_, endpointRef_, *packetList_);
    if (status)
        logStatus(virtualSender_ ? receivedError : sendError, status);
    // Whatever the outcome: a failed list must not be sent again with the next message.
    packetList_->init();
}

void QMMidiNode::sendMessage(const QMMidiMessage& message)
{
    if (!enabled_.load() || !sender_)
        return;
    if (!addToPacketList(message)) {
        qmcomm::logError(message.type() == 0xF0 ? QStringLiteral("QMMidiNode:sendMessage: - error adding new sysex packet")
                                                : QStringLiteral("QMMidiNode:sendMessage: - error adding new packet"));
        packetList_->init();
        return;
    }
    sendPacketList("QMMidiNode:sendMessage: - error %1 at MIDIReceived", "QMMidiNode:sendMessage: -error %1 at MIDISend");
}

void QMMidiNode::sendMessages(const std::vector<QMMidiMessage>& messages)
{
    if (!enabled_.load() || !sender_ || messages.empty())
        return;
    for (const QMMidiMessage& message : messages) {
        if (!addToPacketList(message)) {
            qmcomm::logError(QStringLiteral("QMMidiNode:sendMessages: - MIDIPacketListAdd, error adding new packet"));
            packetList_->init();
            return;
        }
    }
    sendPacketList("QMMidiNode:sendMessages: - MIDIReceived, error %1", "QMMidiNode:sendMessages: - MIDISend, error %1");
}
