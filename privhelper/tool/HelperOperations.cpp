#include "privhelper/tool/HelperOperations.h"

#include "platform/privileged/FileTree.h"
#include "privhelper/tool/ToolLog.h"

#include <cerrno>
#include <sys/stat.h>

using namespace platform::privileged;
namespace proto = PrivilegedHelperProtocol;

HelperOperations::HelperOperations(const PathPolicy& policy, std::string version)
    : policy_(policy), version_(std::move(version))
{
}

int HelperOperations::checkAttributesAllowed(const FileAttributes& a, const PeerCredentials& peer)
{
    if (a.posixPermissions && (*a.posixPermissions & ~0777u))
        return EPERM;
    if (a.ownerAccountID && *a.ownerAccountID != peer.uid)
        return EPERM;
    if (a.groupOwnerAccountID && !peer.isInGroup(*a.groupOwnerAccountID))
        return EPERM;
    return 0;
}

proto::Reply HelperOperations::perform(const proto::Request& request,
                                       const PeerCredentials& peer) const
{
    proto::Reply reply;
    reply.op = request.op;
    reply.requestId = request.requestId;
    int err = 0;
    switch (request.op) {
    case proto::getVersion:
        toolLog(ToolLogLevel::standard, "getting version");
        reply.version = version_;
        return reply;
    case proto::removeItem:
        err = remove(request.path, peer);
        break;
    case proto::copyItem:
        err = copy(request.path, request.destination, peer);
        break;
    case proto::moveItem:
        err = move(request.path, request.destination, peer);
        break;
    case proto::createDirectory:
        err = createDirectory(request, peer);
        break;
    case proto::setAttributes:
        err = setAttributes(request, peer);
        break;
    default:
        err = EOPNOTSUPP;
        break;
    }
    if (err)
        reply.error = proto::posixError(err);
    return reply;
}

namespace {

// Removing or moving an item changes nothing about its contents, only where (or whether) it
// is found: any item of the caller's or root's may go, but nothing of another user's, nor a
// folder that holds anything of theirs.
ItemCheck removableBy(uid_t caller)
{
    return [caller](const struct stat& st) {
        return st.st_uid == caller || st.st_uid == 0 ? 0 : EPERM;
    };
}

// A second name (hard link) may lead outside the roots, to a file the caller could not
// otherwise read or change. Another user's items are never changed: a new mode or owner would
// hand them to the caller. Root's items may be (they are what this helper made before it gave
// new items to their callers), but only with one name.
int foreignItemVeto(const struct stat& st, uid_t caller)
{
    if (st.st_uid == caller)
        return 0;
    if (!S_ISDIR(st.st_mode) && st.st_nlink > 1)
        return EPERM;
    return st.st_uid == 0 ? 0 : EPERM;
}

ItemCheck changeableBy(uid_t caller)
{
    return [caller](const struct stat& st) { return foreignItemVeto(st, caller); };
}

// A copy belongs to the caller, so the caller may copy only what it could read itself (or what
// it could take with setAttributes).
ItemCheck copyableBy(const PeerCredentials& peer)
{
    return [&peer](const struct stat& st) {
        if (foreignItemVeto(st, peer.uid) == 0)
            return 0;
        if (!S_ISDIR(st.st_mode) && st.st_nlink > 1)
            return EPERM;
        const bool readable = (st.st_mode & S_IROTH)
            || ((st.st_mode & S_IRGRP) && peer.isInGroup(st.st_gid));
        return readable ? 0 : EACCES;
    };
}

// Locates both items (each checked on its own) and runs a two-item operation on them.
template <class Operation>
int onTwoItems(const PathPolicy& policy, const std::string& from, const std::string& to,
               Operation operation)
{
    SafeLocation source, destination;
    if (int err = locate(policy, from, source))
        return err;
    if (int err = locate(policy, to, destination))
        return err;
    return operation(source.parentFd.get(), source.name(), destination.parentFd.get(),
                     destination.name());
}

} // namespace

int HelperOperations::copy(const std::string& from, const std::string& to,
                           const PeerCredentials& peer) const
{
    return onTwoItems(policy_, from, to,
                      [&](int fromFd, const std::string& fromName, int toFd,
                          const std::string& toName) {
                          const FileOwner owner{peer.uid, peer.gid};
                          return copyTree(fromFd, fromName, toFd, toName, copyableBy(peer),
                                          &owner);
                      });
}

int HelperOperations::remove(const std::string& path, const PeerCredentials& peer) const
{
    SafeLocation item;
    if (int err = locate(policy_, path, item))
        return err;
    return removeTree(item.parentFd.get(), item.name(), removableBy(peer.uid));
}

int HelperOperations::move(const std::string& from, const std::string& to,
                           const PeerCredentials& peer) const
{
    return onTwoItems(policy_, from, to,
                      [&](int fromFd, const std::string& fromName, int toFd,
                          const std::string& toName) {
                          return moveItem(fromFd, fromName, toFd, toName, removableBy(peer.uid));
                      });
}

int HelperOperations::createDirectory(const proto::Request& request,
                                      const PeerCredentials& peer) const
{
    if (request.attributes) {
        if (int err = checkAttributesAllowed(*request.attributes, peer))
            return err;
    }
    SafeLocation item;
    if (int err = locateRootOnly(policy_, request.path, item))
        return err;
    const FileOwner owner{peer.uid, peer.gid};
    return makeDirectoryChain(item.rootFd.get(), item.components, request.intermediateDirectories,
                              request.attributes ? &*request.attributes : nullptr, false, &owner);
}

int HelperOperations::setAttributes(const proto::Request& request,
                                    const PeerCredentials& peer) const
{
    const FileAttributes attributes = request.attributes.value_or(FileAttributes{});
    if (int err = checkAttributesAllowed(attributes, peer))
        return err;
    SafeLocation item;
    if (int err = locate(policy_, request.path, item))
        return err;
    return applyAttributes(item.parentFd.get(), item.name(), attributes, changeableBy(peer.uid));
}
