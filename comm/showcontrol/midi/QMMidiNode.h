#pragma once
// One MIDI endpoint as a receiver (incoming packet lists become QMMidiMessage objects for the
// delegate) or as a sender (messages are packed into the node's packet list and sent). Nodes
// start disabled; a disabled node neither delivers nor sends.
//
// Threads: read callbacks run on the MIDI receive thread, where the byte parser lives; enabling,
// sending and destruction happen on the main thread. Destruction disposes of the port first, so
// no read callback is running or runs afterwards.
#include "comm/showcontrol/midi/QMMidiByteParser.h"
#include "comm/showcontrol/midi/QMMidiMessage.h"
#include "platform/midi/MidiBackend.h"

#include <QString>

#include <atomic>
#include <memory>
#include <vector>

class QMMidiNode;

class QMMidiNodeDelegate {
public:
    virtual ~QMMidiNodeDelegate() = default;
    virtual void midiNodeReceivedMessages(QMMidiNode* node, const std::vector<QMMidiMessage>& messages) = 0;
};

enum QMMidiEndpointType : long { QMMidiEndpointReceiver = 0, QMMidiEndpointSender = 1 };

class QMMidiNode {
public:
    using Ref = platform::midi::MidiObjectRef;

    // Null after a failed call. An endpoint type other than 0 or 1 is a programming error.
    static std::unique_ptr<QMMidiNode> createWithEndPoint(Ref endpoint, long type, Ref client);
    static std::unique_ptr<QMMidiNode> createReceiverWithEndpoint(Ref endpoint, Ref client);
    static std::unique_ptr<QMMidiNode> createReceiverWithName(const QString& name, Ref client);
    static std::unique_ptr<QMMidiNode> createSenderWithEndpoint(Ref endpoint, Ref client);
    static std::unique_ptr<QMMidiNode> createSenderWithName(const QString& name, Ref client);
    ~QMMidiNode();
    QMMidiNode(const QMMidiNode&) = delete;
    QMMidiNode& operator=(const QMMidiNode&) = delete;

    QString name() const { return name_; }
    Ref endpointRef() const { return endpointRef_; }
    std::int64_t uuid() const { return uuid_; }
    bool isSender() const { return sender_; }
    bool isVirtualSender() const { return virtualSender_; }
    bool isEnabled() const { return enabled_.load(); }
    void setEnabled(bool enabled);
    QMMidiNodeDelegate* delegate() const { return delegate_.load(); }
    void setDelegate(QMMidiNodeDelegate* delegate) { delegate_.store(delegate); }

    void sendMessage(const QMMidiMessage& message);
    void sendMessages(const std::vector<QMMidiMessage>& messages);
    QString description() const;

    // The read callback's work (receive thread).
    void handleMidiRead(const platform::midi::MidiPacketList& packets);

private:
    QMMidiNode();
    void loadProperties();
    void sendPacketList(const char* receivedError, const char* sendError);
    bool addToPacketList(const QMMidiMessage& message);

    std::shared_ptr<platform::midi::MidiBackend> backend_;
    Ref endpointRef_ = 0;
    Ref portRef_ = 0;
    std::unique_ptr<platform::midi::MidiPacketList> packetList_; // senders only
    QMMidiByteParser parser_;                                     // receive thread only
    std::vector<QMMidiMessage> received_;                         // receive thread only
    std::atomic<bool> resetParser_{false};
    std::atomic<bool> enabled_{false};
    bool sender_ = false;
    bool virtualSender_ = false;
    bool ownsEndpoint_ = false; // the virtual endpoints this node created
    QString name_;
    std::int64_t uuid_ = 0;
    std::atomic<QMMidiNodeDelegate*> delegate_{nullptr};
};
