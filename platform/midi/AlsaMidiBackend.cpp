#include "platform/midi/AlsaMidiBackend.h"

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Log.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace platform::midi {

namespace {

void logMidi(LogLevel level, const QString& message)
{
    platform::log("com.quenmark.kalvanto", "midi", level, message);
}

constexpr unsigned kExported = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION;

} // namespace

AlsaMidiBackend::AlsaMidiBackend()
{
    const int error = snd_seq_open(&seq_, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
    if (error < 0) {
        seq_ = nullptr;
        const QString why = QString::fromLocal8Bit(snd_strerror(error));
        // Short: the device list shows it on one line beside the device's state.
        unavailableReason_ = error == -ENOENT ? QStringLiteral("no MIDI sequencer")
                                              : QStringLiteral("MIDI sequencer unavailable (%1)").arg(why);
        static std::once_flag logged;
        std::call_once(logged, [why] {
            logMidi(LogLevel::Default, QStringLiteral("MIDI sequencer unavailable (%1): running without MIDI devices").arg(why));
        });
        return;
    }
    snd_seq_set_client_name(seq_, "Kalvanto");
    ownClient_ = snd_seq_client_id(seq_);
    announcePort_ = snd_seq_create_simple_port(seq_, "announce", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                               SND_SEQ_PORT_TYPE_APPLICATION);
    if (announcePort_ >= 0)
        snd_seq_connect_from(seq_, announcePort_, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE);
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    thread_ = std::thread([this] { receiveLoop(); });
}

AlsaMidiBackend::~AlsaMidiBackend()
{
    if (thread_.joinable()) {
        stop_ = true;
        const std::uint64_t one = 1;
        (void)::write(wakeFd_, &one, sizeof one);
        thread_.join();
    }
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
    if (seq_)
        snd_seq_close(seq_);
}

MidiObjectRef AlsaMidiBackend::refFor(int client, int port, Kind kind)
{
    const auto key = std::make_pair(std::make_pair(client, port), int(kind));
    if (const auto it = refs_.find(key); it != refs_.end())
        return it->second;
    const MidiObjectRef ref = nextRef_++;
    Object object;
    object.kind = kind;
    object.client = client;
    object.port = port;
    objects_.emplace(ref, std::move(object));
    refs_.emplace(key, ref);
    return ref;
}

const AlsaMidiBackend::Object* AlsaMidiBackend::find(MidiObjectRef ref, Kind kind) const
{
    const auto it = objects_.find(ref);
    return it != objects_.end() && it->second.kind == kind ? &it->second : nullptr;
}

bool AlsaMidiBackend::isExportedEndpoint(const snd_seq_port_info_t* info, Kind kind) const
{
    const unsigned caps = snd_seq_port_info_get_capability(info);
    if (caps & SND_SEQ_PORT_CAP_NO_EXPORT)
        return false;
    if (snd_seq_port_info_get_client(info) == SND_SEQ_CLIENT_SYSTEM)
        return false;
    const unsigned need = kind == Kind::Source ? (SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ)
                                               : (SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE);
    return (caps & need) == need;
}

std::vector<MidiObjectRef> AlsaMidiBackend::endpoints(Kind kind)
{
    std::vector<MidiObjectRef> list;
    if (!seq_)
        return list;
    snd_seq_client_info_t* client;
    snd_seq_port_info_t* port;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(seq_, client) >= 0) {
        const int id = snd_seq_client_info_get_client(client);
        snd_seq_port_info_set_client(port, id);
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(seq_, port) >= 0) {
            if (isExportedEndpoint(port, kind))
                list.push_back(refFor(id, snd_seq_port_info_get_port(port), kind));
        }
    }
    return list;
}

int AlsaMidiBackend::clientCreate(const QString&, MidiNotifyCallback notify, MidiObjectRef* client)
{
    std::lock_guard lock(mutex_);
    if (!seq_)
        return kMidiErrorUnavailable;
    // One sequencer client serves every client of the process; each keeps its own callback.
    const MidiObjectRef ref = nextRef_++;
    Object object;
    object.kind = Kind::Client;
    object.notify = std::make_shared<MidiNotifyCallback>(std::move(notify));
    objects_.emplace(ref, std::move(object));
    *client = ref;
    return kMidiNoError;
}

int AlsaMidiBackend::clientDispose(MidiObjectRef client)
{
    std::lock_guard lock(mutex_);
    return objects_.erase(client) ? kMidiNoError : kMidiErrorInvalidRef;
}

int AlsaMidiBackend::numberOfSources()
{
    std::lock_guard lock(mutex_);
    cachedSources_ = endpoints(Kind::Source);
    return int(cachedSources_.size());
}

MidiObjectRef AlsaMidiBackend::source(int index)
{
    std::lock_guard lock(mutex_);
    return index >= 0 && std::size_t(index) < cachedSources_.size() ? cachedSources_[std::size_t(index)] : 0;
}

int AlsaMidiBackend::numberOfDestinations()
{
    std::lock_guard lock(mutex_);
    cachedDestinations_ = endpoints(Kind::Destination);
    return int(cachedDestinations_.size());
}

MidiObjectRef AlsaMidiBackend::destination(int index)
{
    std::lock_guard lock(mutex_);
    return index >= 0 && std::size_t(index) < cachedDestinations_.size() ? cachedDestinations_[std::size_t(index)] : 0;
}

int AlsaMidiBackend::createPort(const QString& name, unsigned caps, unsigned type, Kind kind, MidiReadCallback read, MidiObjectRef* ref)
{
    std::lock_guard lock(mutex_);
    if (!seq_)
        return kMidiErrorUnavailable;
    const int port = snd_seq_create_simple_port(seq_, name.toUtf8().constData(), caps, type);
    if (port < 0)
        return port;
    *ref = refFor(ownClient_, port, kind);
    Object& object = objects_[*ref];
    object.own = true;
    object.read = std::move(read);
    return kMidiNoError;
}

int AlsaMidiBackend::deletePort(MidiObjectRef ref, Kind kind)
{
    // Holding the lock also waits for a read callback of the port in progress.
    std::lock_guard lock(mutex_);
    const Object* object = find(ref, kind);
    if (!object || !object->own)
        return kMidiErrorInvalidRef;
    const int error = snd_seq_delete_simple_port(seq_, object->port);
    refs_.erase(std::make_pair(std::make_pair(object->client, object->port), int(kind)));
    objects_.erase(ref);
    return error < 0 ? error : kMidiNoError;
}

int AlsaMidiBackend::inputPortCreate(MidiObjectRef, const QString& name, MidiReadCallback read, MidiObjectRef* port)
{
    return createPort(name, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                      SND_SEQ_PORT_TYPE_APPLICATION, Kind::InputPort, std::move(read), port);
}

int AlsaMidiBackend::portConnectSource(MidiObjectRef port, MidiObjectRef source)
{
    std::lock_guard lock(mutex_);
    const Object* in = find(port, Kind::InputPort);
    const Object* from = find(source, Kind::Source);
    if (!in || !from)
        return kMidiErrorInvalidRef;
    return snd_seq_connect_from(seq_, in->port, from->client, from->port);
}

int AlsaMidiBackend::outputPortCreate(MidiObjectRef, const QString& name, MidiObjectRef* port)
{
    return createPort(name, SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_NO_EXPORT, SND_SEQ_PORT_TYPE_APPLICATION,
                      Kind::OutputPort, {}, port);
}

int AlsaMidiBackend::portDispose(MidiObjectRef port)
{
    const int error = deletePort(port, Kind::InputPort);
    return error == kMidiErrorInvalidRef ? deletePort(port, Kind::OutputPort) : error;
}

int AlsaMidiBackend::destinationCreate(MidiObjectRef, const QString& name, MidiReadCallback read, MidiObjectRef* endpoint)
{
    return createPort(name, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE, kExported, Kind::Destination,
                      std::move(read), endpoint);
}

int AlsaMidiBackend::sourceCreate(MidiObjectRef, const QString& name, MidiObjectRef* endpoint)
{
    return createPort(name, SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ, kExported, Kind::Source, {}, endpoint);
}

int AlsaMidiBackend::endpointDispose(MidiObjectRef endpoint)
{
    const int error = deletePort(endpoint, Kind::Source);
    return error == kMidiErrorInvalidRef ? deletePort(endpoint, Kind::Destination) : error;
}

int AlsaMidiBackend::output(int fromPort, int toClient, int toPort, bool toSubscribers, const MidiPacketList& packets)
{
    int result = kMidiNoError;
    encoder_.reset();
    packets.forEachPacket([&](const MidiPacket& packet) {
        encoder_.encode(packet.bytes, packet.length, [&](const snd_seq_event_t& encoded) {
            snd_seq_event_t event = encoded;
            snd_seq_ev_set_source(&event, fromPort);
            if (toSubscribers)
                snd_seq_ev_set_subs(&event);
            else
                snd_seq_ev_set_dest(&event, toClient, toPort);
            snd_seq_ev_set_direct(&event);
            if (const int error = snd_seq_event_output_direct(seq_, &event); error < 0)
                result = error;
        });
    });
    return result;
}

int AlsaMidiBackend::send(MidiObjectRef port, MidiObjectRef destination, const MidiPacketList& packets)
{
    std::lock_guard lock(mutex_);
    const Object* out = find(port, Kind::OutputPort);
    const Object* to = find(destination, Kind::Destination);
    if (!out || !to)
        return kMidiErrorInvalidRef;
    return output(out->port, to->client, to->port, false, packets);
}

int AlsaMidiBackend::received(MidiObjectRef virtualSource, const MidiPacketList& packets)
{
    std::lock_guard lock(mutex_);
    const Object* source = find(virtualSource, Kind::Source);
    if (!source || !source->own)
        return kMidiErrorInvalidRef;
    return output(source->port, 0, 0, true, packets);
}

int AlsaMidiBackend::name(MidiObjectRef ref, QString* name)
{
    std::lock_guard lock(mutex_);
    const auto it = objects_.find(ref);
    if (it == objects_.end() || it->second.kind == Kind::Client)
        return kMidiErrorInvalidRef;
    snd_seq_port_info_t* info;
    snd_seq_port_info_alloca(&info);
    if (const int error = snd_seq_get_any_port_info(seq_, it->second.client, it->second.port, info); error < 0)
        return error;
    *name = QString::fromUtf8(snd_seq_port_info_get_name(info));
    return kMidiNoError;
}

int AlsaMidiBackend::uniqueID(MidiObjectRef ref, std::int32_t* id)
{
    std::lock_guard lock(mutex_);
    const auto it = objects_.find(ref);
    if (it == objects_.end() || it->second.kind == Kind::Client)
        return kMidiErrorInvalidRef;
    // The sequencer address: stable while the device stays plugged in.
    *id = std::int32_t((std::uint32_t(it->second.client) << 16) | std::uint32_t(it->second.port));
    return kMidiNoError;
}

void AlsaMidiBackend::receiveLoop()
{
    std::vector<pollfd> fds;
    {
        std::lock_guard lock(mutex_);
        const int count = snd_seq_poll_descriptors_count(seq_, POLLIN);
        fds.resize(std::size_t(count) + 1);
        snd_seq_poll_descriptors(seq_, fds.data() + 1, unsigned(count), POLLIN);
    }
    fds[0] = pollfd{wakeFd_, POLLIN, 0};
    while (!stop_) {
        if (::poll(fds.data(), nfds_t(fds.size()), -1) < 0 && errno != EINTR)
            break;
        if (stop_)
            break;
        std::lock_guard lock(mutex_);
        for (;;) {
            snd_seq_event_t* event = nullptr;
            const int result = snd_seq_event_input(seq_, &event);
            if (result < 0 || !event)
                break; // -EAGAIN: nothing more for now; -ENOSPC: an overrun, already dropped
            handleEvent(*event);
        }
    }
}

void AlsaMidiBackend::handleEvent(const snd_seq_event_t& event)
{
    if (event.dest.port == announcePort_) {
        switch (event.type) {
        case SND_SEQ_EVENT_PORT_START:
            announce(kMidiMsgObjectAdded, event.data.addr.client, event.data.addr.port, true);
            break;
        case SND_SEQ_EVENT_PORT_EXIT:
            announce(kMidiMsgObjectRemoved, event.data.addr.client, event.data.addr.port, false);
            break;
        case SND_SEQ_EVENT_PORT_CHANGE:
            announce(kMidiMsgPropertyChanged, event.data.addr.client, event.data.addr.port, true);
            break;
        default:
            break;
        }
        return;
    }
    MidiReadCallback read;
    for (const auto& [ref, object] : objects_) {
        if (object.own && object.port == event.dest.port && object.read) {
            read = object.read;
            break;
        }
    }
    if (!read)
        return;
    // The buffers are reused: they grow only for a longer system-exclusive message.
    const std::size_t needed = event.type == SND_SEQ_EVENT_SYSEX ? std::size_t(event.data.ext.len) + 16 : 16;
    if (receiveBytes_.size() < needed)
        receiveBytes_.resize(needed);
    const long n = decoder_.decode(event, receiveBytes_.data(), receiveBytes_.size());
    if (n <= 0)
        return;
    const std::size_t listBytes = MidiPacketList::capacityFor(1, std::size_t(n));
    if (receiveList_.capacity() < listBytes)
        receiveList_ = MidiPacketList(listBytes);
    receiveList_.init();
    receiveList_.add(0, receiveBytes_.data(), std::size_t(n));
    read(receiveList_); // under the lock: a port disposed meanwhile waits for this call
}

void AlsaMidiBackend::announce(int messageID, int client, int port, bool started)
{
    if (client == ownClient_ && port == announcePort_)
        return;
    std::vector<MidiNotification> notes;
    for (const Kind kind : {Kind::Source, Kind::Destination}) {
        MidiObjectRef ref = 0;
        if (started) {
            snd_seq_port_info_t* info;
            snd_seq_port_info_alloca(&info);
            if (snd_seq_get_any_port_info(seq_, client, port, info) < 0 || !isExportedEndpoint(info, kind))
                continue;
            ref = refFor(client, port, kind);
        } else {
            const auto it = refs_.find(std::make_pair(std::make_pair(client, port), int(kind)));
            if (it == refs_.end())
                continue;
            ref = it->second;
        }
        MidiNotification note;
        note.messageID = messageID;
        note.child = ref;
        note.childType = kind == Kind::Source ? MidiObjectType::Source : MidiObjectType::Destination;
        if (messageID == kMidiMsgPropertyChanged)
            note.propertyName = QStringLiteral("name");
        notes.push_back(note);
    }
    for (const auto& [ref, object] : objects_) {
        if (object.kind != Kind::Client)
            continue;
        std::weak_ptr<MidiNotifyCallback> weak = object.notify;
        for (const MidiNotification& note : notes) {
            // Set-up changes reach clients on the main thread; a client disposed before then
            // hears nothing.
            platform::dispatchMain([weak, note] {
                if (const auto callback = weak.lock())
                    (*callback)(note);
            });
        }
    }
}

} // namespace platform::midi
