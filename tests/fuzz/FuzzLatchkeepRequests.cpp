// Latchkeep past its wire decoding: a decoded request carried out for a listed, unprivileged
// caller on a small tree of files below the allowed root, rebuilt for every input. Paths are
// taken below a private scratch folder (the request's "/media/x" works on <scratch>/media/x,
// "/etc/x" is refused as <scratch>/etc/x is outside the root), so no input reaches the machine's
// own files. After each request the other user's file is still there, theirs and unchanged, and
// nothing outside the root moved.
#include "platform/privileged/FileTree.h"
#include "platform/privileged/SafePath.h"
#include "platform/privileged/TlvMessage.h"
#include "privhelper/shared/PrivilegedHelperProtocol.h"
#include "privhelper/tool/HelperOperations.h"

#include "FuzzScratch.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform::privileged;
namespace proto = PrivilegedHelperProtocol;

namespace {

constexpr uid_t kCaller = 4301;
constexpr uid_t kOther = 4302;

std::string scratch()
{
    static const std::string folder = fuzzsupport::scratchFolder("unused");
    return folder;
}

void writeFile(const std::string& path, const char* text, mode_t mode, uid_t owner)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0)
        std::abort();
    if (::write(fd, text, std::char_traits<char>::length(text)) < 0)
        std::abort();
    ::fchmod(fd, mode);
    if (::geteuid() == 0)
        ::fchown(fd, owner, owner);
    ::close(fd);
}

void makeFolder(const std::string& path, mode_t mode, uid_t owner)
{
    ::mkdir(path.c_str(), mode);
    ::chmod(path.c_str(), mode);
    if (::geteuid() == 0)
        ::lchown(path.c_str(), owner, owner);
}

void removeMedia()
{
    UniqueFd parent(::open(scratch().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    const int err = removeTree(parent.get(), "media");
    if (err && err != ENOENT) {
        // Folders the request made unreadable (mode 000) stop a process that is not root.
        const std::string command = "chmod -R u+rwx '" + scratch() + "/media' && rm -rf '" + scratch() + "/media'";
        if (std::system(command.c_str()) != 0)
            std::abort();
    }
}

// <scratch>/media: the root, with the caller's, root's and another user's items in it.
void rebuildTree()
{
    const std::string media = scratch() + "/media";
    removeMedia();
    makeFolder(media, 0777, 0);
    makeFolder(media + "/mine", 0755, kCaller);
    writeFile(media + "/mine/clip.mov", "mine", 0644, kCaller);
    makeFolder(media + "/mine/sub", 0755, kCaller);
    writeFile(media + "/made.mov", "root", 0600, 0);
    writeFile(media + "/other.mov", "theirs", 0600, kOther);
    makeFolder(media + "/theirs", 0700, kOther);
    writeFile(media + "/theirs/inner.mov", "inner", 0600, kOther);
    ::symlink("/etc/passwd", (media + "/mine/link").c_str());
}

bool unchanged(const std::string& path, uid_t owner, mode_t mode, off_t size)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && st.st_uid == (::geteuid() == 0 ? owner : ::geteuid())
        && (st.st_mode & 07777) == mode && st.st_size == size;
}

std::string confined(const std::string& path)
{
    return !path.empty() && path[0] == '/' ? scratch() + path : path;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    writeFile(scratch() + "/outside.mov", "outside", 0644, kOther);
    std::atexit([] {
        removeMedia();
        ::unlink((scratch() + "/outside.mov").c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TlvMessage message;
    if (TlvMessage::decode(bytes, message) != TlvDecodeStatus::ok)
        return 0;
    proto::Request request;
    if (proto::decodeRequest(message, request) != 0)
        return 0;
    request.path = confined(request.path);
    request.destination = confined(request.destination);
    rebuildTree();

    static const PathPolicy policy({scratch() + "/media"}, systemProtectedTrees());
    static const HelperOperations operations(policy, "1.0");
    PeerCredentials caller;
    caller.uid = kCaller;
    caller.gid = kCaller;
    const proto::Reply reply = operations.perform(request, caller);
    std::string encoded;
    if (reply.requestId != request.requestId || !proto::encodeReply(reply).encode(encoded))
        std::abort();
    // Another user's items stay theirs, whatever was asked; nothing outside the root changes.
    if (!unchanged(scratch() + "/media/other.mov", kOther, 0600, 6)
        || !unchanged(scratch() + "/media/theirs/inner.mov", kOther, 0600, 5)
        || !unchanged(scratch() + "/outside.mov", kOther, 0644, 7))
        std::abort();
    return 0;
}
