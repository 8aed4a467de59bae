#pragma once
// One MIDI client with its two virtual endpoints ("QM MIDI In", "QM MIDI Out"; numbered from the
// second manager on) and the nodes of the system's sources and destinations, kept current by
// the client's set-up notifications. Everything above sees MIDI only as QMMidiMessage objects.
//
// Threads: the lists change and are read on the main thread (where notifications arrive);
// received messages reach the delegate on the MIDI receive thread.
#include "comm/showcontrol/midi/QMMidiNode.h"

#include <memory>
#include <vector>

class QMMidiManagerDelegate {
public:
    virtual ~QMMidiManagerDelegate() = default;
    virtual void updatedMidiInputSources() = 0;
    virtual void updatedMidiOutputDestinations() = 0;
    virtual void receivedMidiMessages(const std::vector<QMMidiMessage>& messages) = 0;
};

class QMMidiManager : public QMMidiNodeDelegate {
public:
    using NodeList = std::vector<std::unique_ptr<QMMidiNode>>;

    QMMidiManager();
    ~QMMidiManager() override;
    QMMidiManager(const QMMidiManager&) = delete;
    QMMidiManager& operator=(const QMMidiManager&) = delete;

    QMMidiManagerDelegate* delegate() const { return delegate_.load(); }
    void setDelegate(QMMidiManagerDelegate* delegate) { delegate_.store(delegate); }
    QMMidiNode* virtualSource() const { return virtualSource_.get(); }
    QMMidiNode* virtualDestination() const { return virtualDestination_.get(); }
    const NodeList& sources() const { return sources_; }
    const NodeList& destinations() const { return destinations_; }
    std::uint64_t instanceIndex() const { return instanceIndex_; }
    // Without a client (no MIDI system here) the manager has no endpoints and can neither send
    // nor receive; unavailableReason() says why, for the user.
    bool hasClient() const { return clientRef_ != 0; }
    QString unavailableReason() const { return unavailableReason_; }

    QString receivingNodeName() const;
    QString sendingNodeName() const;

    void loadMidiEndpointsForType(long type);
    void processMidiNotification(const platform::midi::MidiNotification& notification);

    QMMidiNode* findSourceNodeNamed(const QString& name) const;
    QMMidiNode* findDestinationNodeNamed(const QString& name) const;

    void sendMessage(const QMMidiMessage& message);
    void sendMessages(const std::vector<QMMidiMessage>& messages);

    void midiNodeReceivedMessages(QMMidiNode* node, const std::vector<QMMidiMessage>& messages) override;

private:
    // A node for the endpoint unless creation failed or it is this manager's own endpoint.
    std::unique_ptr<QMMidiNode> adoptNode(platform::midi::MidiObjectRef endpoint, long type);

    std::shared_ptr<platform::midi::MidiBackend> backend_;
    NodeList sources_;
    NodeList destinations_;
    std::uint64_t instanceIndex_ = 0;
    platform::midi::MidiObjectRef clientRef_ = 0;
    QString unavailableReason_;
    std::atomic<QMMidiManagerDelegate*> delegate_{nullptr};
    std::unique_ptr<QMMidiNode> virtualSource_;
    std::unique_ptr<QMMidiNode> virtualDestination_;
};

// "other", "device", ... for a notification's object type.
QString QMMidiObjectTypeName(platform::midi::MidiObjectType type);
