#include "privhelper/shared/PrivilegedHelperProtocol.h"

#include <cerrno>
#include <cstring>
#include <initializer_list>

namespace PrivilegedHelperProtocol {

using platform::privileged::FileAttributes;
using platform::privileged::TlvMessage;

namespace {

bool onlyTags(const TlvMessage& message, std::initializer_list<std::uint16_t> allowed)
{
    for (const auto& field : message.fields()) {
        bool known = false;
        for (auto tag : allowed)
            known = known || field.tag == tag;
        if (!known)
            return false;
    }
    return true;
}

void encodeAttributes(const FileAttributes& a, TlvMessage& m)
{
    if (a.posixPermissions)
        m.setU32(posixPermissions, *a.posixPermissions);
    if (a.ownerAccountID)
        m.setU32(ownerAccountID, *a.ownerAccountID);
    if (a.groupOwnerAccountID)
        m.setU32(groupOwnerAccountID, *a.groupOwnerAccountID);
    if (a.modificationDate)
        m.setI64(modificationDate, *a.modificationDate);
}

// A present attribute field of the wrong size is malformed, not absent.
bool decodeAttributes(const TlvMessage& m, FileAttributes& a)
{
    auto u32 = [&](Tag tag, std::optional<std::uint32_t>& out) {
        if (!m.has(tag))
            return true;
        out = m.u32(tag);
        return out.has_value();
    };
    if (!u32(posixPermissions, a.posixPermissions) || !u32(ownerAccountID, a.ownerAccountID)
        || !u32(groupOwnerAccountID, a.groupOwnerAccountID))
        return false;
    if (m.has(modificationDate)) {
        a.modificationDate = m.i64(modificationDate);
        if (!a.modificationDate)
            return false;
    }
    return true;
}

} // namespace

TlvMessage encodeRequest(const Request& request)
{
    TlvMessage m(kProtocolVersion, request.op, request.requestId);
    switch (request.op) {
    case getVersion:
        break;
    case copyItem:
    case moveItem:
        m.setBytes(path, request.path);
        m.setBytes(destination, request.destination);
        break;
    case createDirectory:
        m.setBytes(path, request.path);
        m.setBool(intermediateDirectories, request.intermediateDirectories);
        if (request.attributes)
            encodeAttributes(*request.attributes, m);
        break;
    case setAttributes:
        m.setBytes(path, request.path);
        encodeAttributes(request.attributes.value_or(FileAttributes{}), m);
        break;
    default:
        m.setBytes(path, request.path);
        break;
    }
    return m;
}

int decodeRequest(const TlvMessage& m, Request& out)
{
    Request r;
    r.op = m.op();
    r.requestId = m.requestId();
    if (r.op == getVersion) {
        if (!m.fields().empty())
            return EINVAL;
        out = std::move(r);
        return 0;
    }
    if (m.protocolVersion() != kProtocolVersion)
        return EPROTO;
    const std::string* p = m.find(path);
    switch (r.op) {
    case removeItem:
        if (!p || !onlyTags(m, {path}))
            return EINVAL;
        break;
    case copyItem:
    case moveItem: {
        const std::string* d = m.find(destination);
        if (!p || !d || !onlyTags(m, {path, destination}))
            return EINVAL;
        r.destination = *d;
        break;
    }
    case createDirectory: {
        auto flag = m.boolean(intermediateDirectories);
        if (!p || !flag
            || !onlyTags(m, {path, intermediateDirectories, posixPermissions, ownerAccountID,
                             groupOwnerAccountID, modificationDate}))
            return EINVAL;
        r.intermediateDirectories = *flag;
        FileAttributes a;
        if (!decodeAttributes(m, a))
            return EINVAL;
        if (!a.empty())
            r.attributes = a;
        break;
    }
    case setAttributes: {
        if (!p || !onlyTags(m, {path, posixPermissions, ownerAccountID, groupOwnerAccountID,
                                modificationDate}))
            return EINVAL;
        FileAttributes a;
        if (!decodeAttributes(m, a))
            return EINVAL;
        r.attributes = a;
        break;
    }
    default:
        return EOPNOTSUPP;
    }
    r.path = *p;
    out = std::move(r);
    return 0;
}

TlvMessage encodeReply(const Reply& reply)
{
    TlvMessage m(kProtocolVersion, static_cast<std::uint16_t>(reply.op | kReplyFlag),
                 reply.requestId);
    if (reply.error) {
        m.setBytes(errorDomain, reply.error->domain);
        m.setI64(errorCode, reply.error->code);
        m.setBytes(errorDescription, reply.error->description);
    } else if (reply.op == getVersion) {
        m.setBytes(version, reply.version);
    }
    return m;
}

bool decodeReply(const TlvMessage& m, Reply& out)
{
    if (!(m.op() & kReplyFlag)
        || !onlyTags(m, {version, errorDomain, errorCode, errorDescription}))
        return false;
    Reply r;
    r.op = static_cast<std::uint16_t>(m.op() & ~kReplyFlag);
    r.requestId = m.requestId();
    if (m.has(errorCode)) {
        auto code = m.i64(errorCode);
        const std::string* domain = m.find(errorDomain);
        const std::string* description = m.find(errorDescription);
        if (!code || !domain || !description)
            return false;
        r.error = ReplyError{*domain, *code, *description};
    } else if (m.has(errorDomain) || m.has(errorDescription)) {
        return false;
    }
    if (const std::string* v = m.find(version))
        r.version = *v;
    out = std::move(r);
    return true;
}

ReplyError posixError(int errnoValue)
{
    char buffer[256];
    // GNU strerror_r: thread-safe, returns the text (possibly not in buffer).
    const char* text = ::strerror_r(errnoValue, buffer, sizeof buffer);
    return ReplyError{kPosixDomain, errnoValue, text};
}

} // namespace PrivilegedHelperProtocol
