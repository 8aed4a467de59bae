#pragma once
// The messages between the application and the helper. Each request is one TlvMessage; the
// helper answers every request with exactly one reply carrying the same request id and the
// request's op code with kReplyFlag set. Replies carry either the version (getVersion) or,
// on failure, an error {domain, code, description}; file-system errors use the domain
// "posix" and the errno value as code.
//
// The header layout and the getVersion exchange never change, so an application can always
// learn the version of an older or newer helper; every other request must carry
// kProtocolVersion or is answered with EPROTO.

#include "platform/privileged/FileAttributes.h"
#include "platform/privileged/TlvMessage.h"

#include <cstdint>
#include <optional>
#include <string>

namespace PrivilegedHelperProtocol {

inline constexpr std::uint16_t kProtocolVersion = 1;
inline constexpr std::uint16_t kReplyFlag = 0x8000;
inline constexpr const char* kPosixDomain = "posix";

enum Op : std::uint16_t {
    getVersion = 1,
    removeItem = 2,
    copyItem = 3,
    moveItem = 4,
    createDirectory = 5,
    setAttributes = 6,
    // PrivilegedHelperAppProtocol, helper to application (the helper never sends them).
    logMessage = 0x41,
    logError = 0x42,
};

enum Tag : std::uint16_t {
    path = 1,
    destination = 2,
    intermediateDirectories = 3,
    posixPermissions = 16,
    ownerAccountID = 17,
    groupOwnerAccountID = 18,
    modificationDate = 19, // i64 nanoseconds since the Unix epoch
    version = 32,
    errorDomain = 33,
    errorCode = 34,
    errorDescription = 35,
    text = 48,
};

struct Request {
    std::uint16_t op = 0;
    std::uint32_t requestId = 0;
    std::string path;        // bytes
    std::string destination; // bytes (copy, move)
    bool intermediateDirectories = false;
    std::optional<platform::privileged::FileAttributes> attributes;
};

struct ReplyError {
    std::string domain;
    std::int64_t code = 0;
    std::string description;
};

struct Reply {
    std::uint16_t op = 0; // without kReplyFlag
    std::uint32_t requestId = 0;
    std::string version;
    std::optional<ReplyError> error;
};

platform::privileged::TlvMessage encodeRequest(const Request& request);
// 0, or the errno to answer with: EPROTO (other protocol version), EOPNOTSUPP (unknown op),
// EINVAL (missing, unexpected or malformed fields).
int decodeRequest(const platform::privileged::TlvMessage& message, Request& out);

platform::privileged::TlvMessage encodeReply(const Reply& reply);
// False when the message is not a well-formed reply.
bool decodeReply(const platform::privileged::TlvMessage& message, Reply& out);

ReplyError posixError(int errnoValue);

// PrivilegedHelperAppProtocol: what the application offers the helper on the connection.
class PrivilegedHelperAppProtocol {
public:
    virtual ~PrivilegedHelperAppProtocol() = default;
    virtual void logWithMessage(const std::string& message) = 0;
    virtual void logWithError(const std::string& message) = 0;
};

} // namespace PrivilegedHelperProtocol
