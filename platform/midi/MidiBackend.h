#pragma once
// The MIDI system as a client sees it: a client with a set-up notification callback, the
// system's sources and destinations, input ports (with a read callback) connected to sources,
// output ports that send to destinations, and virtual endpoints that other programs see.
// Objects are named by 32-bit references; 0 is never a valid one. Calls answer 0 on success or
// a negative error code.
//
// Threads: read callbacks run on the backend's receive thread; set-up notifications are
// delivered on the main thread. Disposing of a port or an endpoint waits for a read callback of
// it in progress, and none runs afterwards, so its owner may go away at once.
#include "platform/midi/MidiPacketList.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace platform::midi {

using MidiObjectRef = std::uint32_t;

// Object types of set-up notifications.
enum class MidiObjectType : int {
    Other = -1,
    Device = 0,
    Entity = 1,
    Source = 2,
    Destination = 3,
    ExternalDevice = 16,
    ExternalEntity = 17,
    ExternalSource = 18,
    ExternalDestination = 19,
};

// Notification message IDs.
inline constexpr int kMidiMsgSetupChanged = 1;
inline constexpr int kMidiMsgObjectAdded = 2;
inline constexpr int kMidiMsgObjectRemoved = 3;
inline constexpr int kMidiMsgPropertyChanged = 4;

struct MidiNotification {
    int messageID = 0;
    MidiObjectRef parent = 0;
    MidiObjectType parentType = MidiObjectType::Other;
    MidiObjectRef child = 0; // added/removed: the endpoint; property changed: the object
    MidiObjectType childType = MidiObjectType::Other;
    QString propertyName; // property changed only
};

// Error codes.
inline constexpr int kMidiNoError = 0;
inline constexpr int kMidiErrorUnavailable = -10830; // no MIDI system (no sequencer)
inline constexpr int kMidiErrorInvalidRef = -10831;
inline constexpr int kMidiErrorNoConnection = -10832;
inline constexpr int kMidiErrorSendFailed = -10833;
inline constexpr int kMidiErrorUnknownProperty = -10835;

using MidiNotifyCallback = std::function<void(const MidiNotification&)>;
using MidiReadCallback = std::function<void(const MidiPacketList&)>;

class MidiBackend {
public:
    virtual ~MidiBackend() = default;

    virtual int clientCreate(const QString& name, MidiNotifyCallback notify, MidiObjectRef* client) = 0;
    virtual int clientDispose(MidiObjectRef client) = 0;

    virtual int numberOfSources() = 0;
    virtual MidiObjectRef source(int index) = 0;
    virtual int numberOfDestinations() = 0;
    virtual MidiObjectRef destination(int index) = 0;

    virtual int inputPortCreate(MidiObjectRef client, const QString& name, MidiReadCallback read, MidiObjectRef* port) = 0;
    virtual int portConnectSource(MidiObjectRef port, MidiObjectRef source) = 0;
    virtual int outputPortCreate(MidiObjectRef client, const QString& name, MidiObjectRef* port) = 0;
    virtual int portDispose(MidiObjectRef port) = 0;

    // A virtual destination: what other programs send to it reaches read.
    virtual int destinationCreate(MidiObjectRef client, const QString& name, MidiReadCallback read, MidiObjectRef* endpoint) = 0;
    // A virtual source: received() publishes through it to other programs.
    virtual int sourceCreate(MidiObjectRef client, const QString& name, MidiObjectRef* endpoint) = 0;
    virtual int endpointDispose(MidiObjectRef endpoint) = 0;

    virtual int send(MidiObjectRef port, MidiObjectRef destination, const MidiPacketList& packets) = 0;
    virtual int received(MidiObjectRef virtualSource, const MidiPacketList& packets) = 0;

    virtual int name(MidiObjectRef object, QString* name) = 0;
    virtual int uniqueID(MidiObjectRef object, std::int32_t* id) = 0;

    // Why there is no MIDI system to create a client on (shown to the user); empty when there is one.
    virtual QString unavailableReason() const { return {}; }
};

// The backend of the process: the one installed with setBackend, else the ALSA sequencer (which
// runs with no devices, after logging once, where there is none).
std::shared_ptr<MidiBackend> backend();
// Replaces the process backend (tests install a loopback); null returns to the default.
void setBackend(std::shared_ptr<MidiBackend> backend);

} // namespace platform::midi
