// The media helper's connection bytes: length-prefixed CBOR envelopes cut by the frame reader
// in reads of varying size, then the request fields the service reads from each body.
#include "mediahelper/shared/ClipwrightProtocol.h"
#include "platform/xpc/XpcFrame.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    platform::XpcFrameReader reader;
    std::size_t at = 0;
    std::size_t step = 1;
    while (at < size) {
        const std::size_t n = std::min(step, size - at);
        reader.append(reinterpret_cast<const char*>(data + at), n);
        at += n;
        step = step * 3 + 1;
        platform::XpcEnvelope envelope;
        platform::XpcFrameReader::Status status;
        while ((status = reader.next(envelope)) == platform::XpcFrameReader::Status::Frame) {
            for (const char* key : {clipwright::kActionKey, clipwright::kSourceKey, clipwright::kSlateDestinationKey,
                                    clipwright::kThumbnailDestinationKey})
                clipwright::stringForKey(envelope.body, key);
            clipwright::doubleForKey(envelope.body, clipwright::kInPointKey);
            clipwright::doubleForKey(envelope.body, clipwright::kOutPointKey);
            if (platform::encodeXpcFrame(envelope).isEmpty() && envelope.body.size() < 16)
                std::abort();
        }
        if (status == platform::XpcFrameReader::Status::Malformed)
            return 0;
    }
    return 0;
}
