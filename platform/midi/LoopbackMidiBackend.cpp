#include "platform/midi/LoopbackMidiBackend.h"

#include "platform/foundation/Dispatch.h"

#include <algorithm>

namespace platform::midi {

LoopbackMidiBackend::LoopbackMidiBackend() : receiveQueue_("com.quenmark.midi.loopback.receive") {}

LoopbackMidiBackend::~LoopbackMidiBackend() = default;

MidiObjectRef LoopbackMidiBackend::addObject(Object object)
{
    std::lock_guard lock(mutex_);
    const MidiObjectRef ref = nextRef_++;
    // Unique IDs look like a driver's: stable per object, never 0.
    object.uniqueID = std::int32_t(0x4B000000u | (ref * 2654435761u >> 8));
    const Kind kind = object.kind;
    objects_.emplace(ref, std::move(object));
    if (kind == Kind::Source)
        sources_.push_back(ref);
    else if (kind == Kind::Destination)
        destinations_.push_back(ref);
    return ref;
}

void LoopbackMidiBackend::notifyClients(int messageID, MidiObjectRef endpoint, Kind kind)
{
    MidiNotification note;
    note.messageID = messageID;
    note.child = endpoint;
    note.childType = kind == Kind::Source ? MidiObjectType::Source : MidiObjectType::Destination;
    std::vector<std::weak_ptr<MidiNotifyCallback>> callbacks;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [ref, object] : objects_) {
            if (object.kind == Kind::Client && object.notify && *object.notify)
                callbacks.push_back(object.notify);
        }
    }
    // Clients hear of set-up changes on the main thread; one disposed before then hears nothing.
    for (const std::weak_ptr<MidiNotifyCallback>& weak : callbacks) {
        if (platform::isMainThread()) {
            if (const auto callback = weak.lock())
                (*callback)(note);
        } else {
            platform::dispatchMain([weak, note] {
                if (const auto callback = weak.lock())
                    (*callback)(note);
            });
        }
    }
}

MidiObjectRef LoopbackMidiBackend::makeObject(Kind kind, const QString& name, MidiObjectRef client, MidiReadCallback read)
{
    Object object;
    object.kind = kind;
    object.name = name;
    object.client = client;
    object.read = std::move(read);
    const MidiObjectRef ref = addObject(std::move(object));
    if (kind == Kind::Source || kind == Kind::Destination)
        notifyClients(kMidiMsgObjectAdded, ref, kind);
    return ref;
}

MidiObjectRef LoopbackMidiBackend::addSource(const QString& name)
{
    return makeObject(Kind::Source, name, 0, {});
}

MidiObjectRef LoopbackMidiBackend::addDestination(const QString& name)
{
    return makeObject(Kind::Destination, name, 0, {});
}

void LoopbackMidiBackend::removeEndpoint(MidiObjectRef endpoint)
{
    endpointDispose(endpoint);
}

int LoopbackMidiBackend::disposeOneOf(MidiObjectRef ref, Kind first, Kind second)
{
    Kind kind;
    {
        std::lock_guard lock(mutex_);
        const auto it = objects_.find(ref);
        if (it == objects_.end() || (it->second.kind != first && it->second.kind != second))
            return kMidiErrorInvalidRef;
        kind = it->second.kind;
    }
    return disposeObject(ref, kind);
}

int LoopbackMidiBackend::disposeObject(MidiObjectRef ref, Kind kind)
{
    bool found = false;
    // Removal runs on the receive thread, so no read callback of the object is running or runs
    // after this returns.
    receiveQueue_.sync([&] {
        std::lock_guard lock(mutex_);
        const auto it = objects_.find(ref);
        if (it == objects_.end() || it->second.kind != kind)
            return;
        found = true;
        objects_.erase(it);
        std::erase(sources_, ref);
        std::erase(destinations_, ref);
        for (auto& [other, object] : objects_)
            object.sources.erase(ref);
    });
    if (!found)
        return kMidiErrorInvalidRef;
    if (kind == Kind::Source || kind == Kind::Destination)
        notifyClients(kMidiMsgObjectRemoved, ref, kind);
    return kMidiNoError;
}

void LoopbackMidiBackend::inject(MidiObjectRef endpoint, const QList<QByteArray>& packets)
{
    deliver(endpoint, packets);
}

void LoopbackMidiBackend::deliver(MidiObjectRef endpoint, const QList<QByteArray>& packets)
{
    receiveQueue_.async([this, endpoint, packets] {
        std::vector<MidiReadCallback> readers;
        {
            std::lock_guard lock(mutex_);
            for (const auto& [ref, object] : objects_) {
                const bool virtualDestination = ref == endpoint && object.kind == Kind::Destination && object.read;
                const bool connectedPort = object.kind == Kind::InputPort && object.sources.count(endpoint);
                if (virtualDestination || connectedPort)
                    readers.push_back(object.read);
            }
        }
        std::size_t dataBytes = 0;
        for (const QByteArray& p : packets)
            dataBytes += std::size_t(p.size());
        MidiPacketList list(MidiPacketList::capacityFor(std::size_t(packets.size()), dataBytes));
        for (const QByteArray& p : packets)
            list.add(0, reinterpret_cast<const std::uint8_t*>(p.constData()), std::size_t(p.size()));
        for (const MidiReadCallback& read : readers)
            read(list);
    });
}

void LoopbackMidiBackend::flush()
{
    receiveQueue_.sync([] {});
}

void LoopbackMidiBackend::relay(MidiObjectRef endpoint, const MidiPacketList& packets)
{
    QList<QByteArray> copy;
    packets.forEachPacket([&](const MidiPacket& p) { copy.append(QByteArray(reinterpret_cast<const char*>(p.bytes), p.length)); });
    {
        std::lock_guard lock(mutex_);
        sent_[endpoint] += copy;
    }
    deliver(endpoint, copy); // reaches a virtual destination's reader, or the ports listening to a virtual source
}

QList<QByteArray> LoopbackMidiBackend::sentTo(MidiObjectRef endpoint) const
{
    std::lock_guard lock(mutex_);
    const auto it = sent_.find(endpoint);
    return it == sent_.end() ? QList<QByteArray>() : it->second;
}

void LoopbackMidiBackend::clearSent()
{
    std::lock_guard lock(mutex_);
    sent_.clear();
}

MidiObjectRef LoopbackMidiBackend::findEndpoint(const QString& name) const
{
    std::lock_guard lock(mutex_);
    for (const auto& [ref, object] : objects_) {
        if ((object.kind == Kind::Source || object.kind == Kind::Destination) && object.name == name)
            return ref;
    }
    return 0;
}

int LoopbackMidiBackend::clientCreate(const QString& name, MidiNotifyCallback notify, MidiObjectRef* client)
{
    Object object;
    object.kind = Kind::Client;
    object.name = name;
    object.notify = std::make_shared<MidiNotifyCallback>(std::move(notify));
    *client = addObject(std::move(object));
    return kMidiNoError;
}

int LoopbackMidiBackend::clientDispose(MidiObjectRef client)
{
    return disposeObject(client, Kind::Client);
}

int LoopbackMidiBackend::numberOfSources()
{
    std::lock_guard lock(mutex_);
    return int(sources_.size());
}

MidiObjectRef LoopbackMidiBackend::source(int index)
{
    std::lock_guard lock(mutex_);
    return index >= 0 && std::size_t(index) < sources_.size() ? sources_[std::size_t(index)] : 0;
}

int LoopbackMidiBackend::numberOfDestinations()
{
    std::lock_guard lock(mutex_);
    return int(destinations_.size());
}

MidiObjectRef LoopbackMidiBackend::destination(int index)
{
    std::lock_guard lock(mutex_);
    return index >= 0 && std::size_t(index) < destinations_.size() ? destinations_[std::size_t(index)] : 0;
}

int LoopbackMidiBackend::inputPortCreate(MidiObjectRef client, const QString& name, MidiReadCallback read, MidiObjectRef* port)
{
    *port = makeObject(Kind::InputPort, name, client, std::move(read));
    return kMidiNoError;
}

int LoopbackMidiBackend::portConnectSource(MidiObjectRef port, MidiObjectRef source)
{
    std::lock_guard lock(mutex_);
    const auto p = objects_.find(port);
    const auto s = objects_.find(source);
    if (p == objects_.end() || p->second.kind != Kind::InputPort || s == objects_.end() || s->second.kind != Kind::Source)
        return kMidiErrorInvalidRef;
    p->second.sources.insert(source);
    return kMidiNoError;
}

int LoopbackMidiBackend::outputPortCreate(MidiObjectRef client, const QString& name, MidiObjectRef* port)
{
    *port = makeObject(Kind::OutputPort, name, client, {});
    return kMidiNoError;
}

int LoopbackMidiBackend::portDispose(MidiObjectRef port)
{
    return disposeOneOf(port, Kind::InputPort, Kind::OutputPort);
}

int LoopbackMidiBackend::destinationCreate(MidiObjectRef client, const QString& name, MidiReadCallback read, MidiObjectRef* endpoint)
{
    *endpoint = makeObject(Kind::Destination, name, client, std::move(read));
    return kMidiNoError;
}

int LoopbackMidiBackend::sourceCreate(MidiObjectRef client, const QString& name, MidiObjectRef* endpoint)
{
    *endpoint = makeObject(Kind::Source, name, client, {});
    return kMidiNoError;
}

int LoopbackMidiBackend::endpointDispose(MidiObjectRef endpoint)
{
    return disposeOneOf(endpoint, Kind::Source, Kind::Destination);
}

int LoopbackMidiBackend::send(MidiObjectRef port, MidiObjectRef destination, const MidiPacketList& packets)
{
    if (failSends_)
        return kMidiErrorSendFailed;
    {
        std::lock_guard lock(mutex_);
        const auto p = objects_.find(port);
        const auto d = objects_.find(destination);
        if (p == objects_.end() || p->second.kind != Kind::OutputPort || d == objects_.end() || d->second.kind != Kind::Destination)
            return kMidiErrorInvalidRef;
    }
    relay(destination, packets);
    return kMidiNoError;
}

int LoopbackMidiBackend::received(MidiObjectRef virtualSource, const MidiPacketList& packets)
{
    if (failSends_)
        return kMidiErrorSendFailed;
    {
        std::lock_guard lock(mutex_);
        const auto s = objects_.find(virtualSource);
        if (s == objects_.end() || s->second.kind != Kind::Source || s->second.client == 0)
            return kMidiErrorInvalidRef;
    }
    relay(virtualSource, packets);
    return kMidiNoError;
}

int LoopbackMidiBackend::name(MidiObjectRef object, QString* name)
{
    std::lock_guard lock(mutex_);
    const auto it = objects_.find(object);
    if (it == objects_.end())
        return kMidiErrorInvalidRef;
    *name = it->second.name;
    return kMidiNoError;
}

int LoopbackMidiBackend::uniqueID(MidiObjectRef object, std::int32_t* id)
{
    std::lock_guard lock(mutex_);
    const auto it = objects_.find(object);
    if (it == objects_.end())
        return kMidiErrorInvalidRef;
    *id = it->second.uniqueID;
    return kMidiNoError;
}

} // namespace platform::midi
