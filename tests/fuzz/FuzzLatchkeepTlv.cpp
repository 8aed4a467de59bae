// Latchkeep's wire decoding: a record from a client through the TLV reader and the request
// decoder, and a reply through the reply decoder. Whatever decodes must encode again.
#include "platform/privileged/TlvMessage.h"
#include "privhelper/shared/PrivilegedHelperProtocol.h"

#include <cstdlib>

using platform::privileged::TlvDecodeStatus;
using platform::privileged::TlvMessage;
namespace proto = PrivilegedHelperProtocol;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TlvMessage header;
    TlvMessage::peekHeader(bytes, header);
    TlvMessage message;
    if (TlvMessage::decode(bytes, message) != TlvDecodeStatus::ok)
        return 0;
    proto::Request request;
    if (proto::decodeRequest(message, request) == 0) {
        std::string again;
        if (!proto::encodeRequest(request).encode(again))
            std::abort();
    }
    proto::Reply reply;
    if (proto::decodeReply(message, reply)) {
        std::string again;
        proto::encodeReply(reply).encode(again);
    }
    return 0;
}
