#pragma once
// An in-process MIDI system: the client's virtual endpoints and the devices a test adds. What is
// sent to a destination is recorded (and reaches the read callback of a virtual destination);
// what is injected at a source reaches every input port connected to it, on the backend's own
// receive thread, like a device driver's. Adding and removing devices notifies every client.
#include "platform/foundation/SerialQueue.h"
#include "platform/midi/MidiBackend.h"

#include <QByteArray>
#include <QList>

#include <atomic>

#include <map>
#include <mutex>
#include <set>
#include <vector>

namespace platform::midi {

class LoopbackMidiBackend : public MidiBackend {
public:
    LoopbackMidiBackend();
    ~LoopbackMidiBackend() override;

    // --- the outside world, for tests ---
    MidiObjectRef addSource(const QString& name);
    MidiObjectRef addDestination(const QString& name);
    // Unplugs a device (or any endpoint): removed from the lists, clients notified.
    void removeEndpoint(MidiObjectRef endpoint);
    // Delivers the packets (one read callback) from a source, or into a virtual destination.
    void inject(MidiObjectRef endpoint, const QList<QByteArray>& packets);
    // Waits until every delivery queued so far has run.
    void flush();
    // Every packet sent to (or published through) an endpoint, in order.
    QList<QByteArray> sentTo(MidiObjectRef endpoint) const;
    void clearSent();
    // While set, send() and received() fail as a driver that lost its device would.
    void setFailSends(bool fail) { failSends_ = fail; }
    // The endpoint named so (first match), or 0.
    MidiObjectRef findEndpoint(const QString& name) const;

    // --- MidiBackend ---
    int clientCreate(const QString& name, MidiNotifyCallback notify, MidiObjectRef* client) override;
    int clientDispose(MidiObjectRef client) override;
    int numberOfSources() override;
    MidiObjectRef source(int index) override;
    int numberOfDestinations() override;
    MidiObjectRef destination(int index) override;
    int inputPortCreate(MidiObjectRef client, const QString& name, MidiReadCallback read, MidiObjectRef* port) override;
    int portConnectSource(MidiObjectRef port, MidiObjectRef source) override;
    int outputPortCreate(MidiObjectRef client, const QString& name, MidiObjectRef* port) override;
    int portDispose(MidiObjectRef port) override;
    int destinationCreate(MidiObjectRef client, const QString& name, MidiReadCallback read, MidiObjectRef* endpoint) override;
    int sourceCreate(MidiObjectRef client, const QString& name, MidiObjectRef* endpoint) override;
    int endpointDispose(MidiObjectRef endpoint) override;
    int send(MidiObjectRef port, MidiObjectRef destination, const MidiPacketList& packets) override;
    int received(MidiObjectRef virtualSource, const MidiPacketList& packets) override;
    int name(MidiObjectRef object, QString* name) override;
    int uniqueID(MidiObjectRef object, std::int32_t* id) override;

private:
    enum class Kind { Client, InputPort, OutputPort, Source, Destination };
    struct Object {
        Kind kind = Kind::Client;
        QString name;
        std::int32_t uniqueID = 0;
        MidiObjectRef client = 0;
        MidiReadCallback read;            // input ports and virtual destinations
        std::shared_ptr<MidiNotifyCallback> notify; // clients
        std::set<MidiObjectRef> sources;  // input ports: connected sources
    };

    MidiObjectRef addObject(Object object);
    // Adds an object and announces a new endpoint.
    MidiObjectRef makeObject(Kind kind, const QString& name, MidiObjectRef client, MidiReadCallback read);
    int disposeObject(MidiObjectRef ref, Kind kind);
    int disposeOneOf(MidiObjectRef ref, Kind first, Kind second);
    void notifyClients(int messageID, MidiObjectRef endpoint, Kind kind);
    // Queues one read callback per reader of the endpoint.
    void deliver(MidiObjectRef endpoint, const QList<QByteArray>& packets);
    // Records what was sent to the endpoint and delivers it to the endpoint's readers.
    void relay(MidiObjectRef endpoint, const MidiPacketList& packets);

    mutable std::mutex mutex_;
    std::map<MidiObjectRef, Object> objects_;
    std::vector<MidiObjectRef> sources_;
    std::vector<MidiObjectRef> destinations_;
    std::map<MidiObjectRef, QList<QByteArray>> sent_;
    MidiObjectRef nextRef_ = 1;
    std::atomic<bool> failSends_{false};
    SerialQueue receiveQueue_;
};

} // namespace platform::midi
