#pragma once
// The MIDI system through the ALSA sequencer: one sequencer client for the process, a sequencer
// port per input port, output port and virtual endpoint, the system announce port for hot-plug,
// and one receive thread that turns incoming events into packet lists. Without /dev/snd/seq it
// logs once and behaves as a system with no devices (every create call fails).
#include "platform/midi/AlsaMidiCodec.h"
#include "platform/midi/MidiBackend.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace platform::midi {

class AlsaMidiBackend : public MidiBackend {
public:
    AlsaMidiBackend();
    ~AlsaMidiBackend() override;

    bool isAvailable() const { return seq_ != nullptr; }

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
    QString unavailableReason() const override { return unavailableReason_; }

private:
    enum class Kind { Client, InputPort, OutputPort, Source, Destination };
    struct Object {
        Kind kind = Kind::Client;
        int client = -1; // sequencer address
        int port = -1;
        bool own = false; // a port of this process
        std::shared_ptr<MidiNotifyCallback> notify;
        MidiReadCallback read;
    };

    // Locked.
    MidiObjectRef refFor(int client, int port, Kind kind);
    const Object* find(MidiObjectRef ref, Kind kind) const;
    std::vector<MidiObjectRef> endpoints(Kind kind);
    int createPort(const QString& name, unsigned caps, unsigned type, Kind kind, MidiReadCallback read, MidiObjectRef* ref);
    int deletePort(MidiObjectRef ref, Kind kind);
    bool isExportedEndpoint(const snd_seq_port_info_t* info, Kind kind) const;
    int output(int fromPort, int toClient, int toPort, bool toSubscribers, const MidiPacketList& packets);

    void receiveLoop();
    void handleEvent(const snd_seq_event_t& event);
    void announce(int messageID, int client, int port, bool started);

    mutable std::recursive_mutex mutex_; // the handle, the tables, and read callbacks while they run
    snd_seq_t* seq_ = nullptr;
    QString unavailableReason_; // set once, before the backend is shared
    int ownClient_ = -1;
    int announcePort_ = -1;
    int wakeFd_ = -1;
    std::map<MidiObjectRef, Object> objects_;
    std::map<std::pair<std::pair<int, int>, int>, MidiObjectRef> refs_; // ((client, port), kind)
    MidiObjectRef nextRef_ = 1;
    std::vector<MidiObjectRef> cachedSources_;
    std::vector<MidiObjectRef> cachedDestinations_;
    AlsaMidiCodec encoder_;
    AlsaMidiCodec decoder_;
    std::vector<std::uint8_t> receiveBytes_ = std::vector<std::uint8_t>(1024); // receive thread
    MidiPacketList receiveList_;                                               // receive thread
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

} // namespace platform::midi
