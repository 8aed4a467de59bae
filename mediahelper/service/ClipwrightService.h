#pragma once
// The helper's request handling. Requests arrive on the connection's thread, are checked there
// and queued as jobs on the lanes; each job opens its own decoder, does its work and answers
// once from its worker thread. Every request gets exactly one reply: unknown actions and
// requests not served are answered with a reason, and sources or destinations that are not
// regular files are refused before anything is opened.

#include "mediahelper/service/JobLanes.h"
#include "platform/xpc/XpcServiceHost.h"

#include <QCborMap>
#include <QString>

#include <memory>

class ssMediaDecoder3Light;

namespace clipwright {

using ReplyChannel = std::shared_ptr<platform::XpcReplyChannel>;

class ClipwrightService {
public:
    explicit ClipwrightService(JobLanes& lanes);

    // One incoming event: dispatches on "action"; unknown or missing actions get a failure.
    void Clipwright_peer_event_handler(const platform::XpcEvent& event);

    // Check a request and queue its job; false after answering "missing parameters".
    bool queueSlateRequest(const QCborMap& request, const ReplyChannel& reply);
    bool queueThumbRequest(const QCborMap& request, const ReplyChannel& reply);
    bool queueMetadataRequest(const QCborMap& request, const ReplyChannel& reply);

private:
    void imageJob(Lane lane, const QCborMap& request, const ReplyChannel& reply, const QString& source,
                  const QString& destination, double inPoint, double outPoint);
    void metadataJob(const ReplyChannel& reply, const QString& source);

    JobLanes& lanes_;
};

// Always a new decoder (the caller owns it); opened says whether the file could be read.
std::unique_ptr<ssMediaDecoder3Light> createDecoderForPath(const QString& path, bool& opened);

// The metadata dictionary of an opened decoder, or of a file that did not open.
QCborMap createMetadataDictionary(const ssMediaDecoder3Light& decoder, bool validFormat);

} // namespace clipwright
