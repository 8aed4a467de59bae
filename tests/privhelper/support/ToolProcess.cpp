#include "ToolProcess.h"

#include "ScratchTree.h"
#include "privhelper/shared/ChildProcess.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace privtest {

namespace proto = PrivilegedHelperProtocol;
using platform::privileged::ReceiveStatus;
using platform::privileged::TlvMessage;

std::string latchkeepPath()
{
    return KLV_LATCHKEEP_PATH;
}

ToolProcess::ToolProcess(const std::string& dir, const std::string& configText, mode_t configMode,
                         const std::vector<std::string>& extraArgs)
    : socketPath_(dir + "/helper.sock"), logPath_(dir + "/helper.log")
{
    const std::string configPath = dir + "/helper.conf";
    if (!writeFileAt(configPath, configText, configMode))
        return;
    // A socket file left by an earlier (killed) tool must not pass for this one's.
    ::unlink(socketPath_.c_str());
    std::vector<std::string> args = {latchkeepPath(), "--socket", socketPath_, "--config",
                                     configPath};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logPath_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = HelperService::spawnChild(args, &actions, pid_);
    posix_spawn_file_actions_destroy(&actions);
    if (err)
        return;
    // Ready once the socket file is there (bounded: a broken tool fails the test, not hangs it).
    for (int i = 0; i < 1000 && !started_; ++i) {
        struct stat st;
        if (::lstat(socketPath_.c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
            started_ = true;
        else if (!running())
            break;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

ToolProcess::~ToolProcess()
{
    if (pid_ > 0 && !reaped_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

bool ToolProcess::running()
{
    if (pid_ <= 0 || reaped_)
        return false;
    int status = 0;
    pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        reaped(status);
        return false;
    }
    return true;
}

void ToolProcess::reaped(int status)
{
    reaped_ = true;
    exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::optional<int> ToolProcess::waitForExit(int timeoutMs)
{
    if (pid_ <= 0)
        return std::nullopt;
    if (reaped_)
        return exitStatus_;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            reaped(status);
            return exitStatus_;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
}

std::string ToolProcess::log() const
{
    return readFile(logPath_);
}

RawClient::RawClient(const std::string& socketPath)
{
    platform::privileged::SeqPacketSocket::connectTo(socketPath, socket_);
}

bool RawClient::sendBytes(const std::string& bytes)
{
    return socket_.valid() && socket_.send(bytes) == 0;
}

bool RawClient::send(const proto::Request& r)
{
    std::string bytes;
    return proto::encodeRequest(r).encode(bytes) && sendBytes(bytes);
}

std::optional<proto::Reply> RawClient::reply()
{
    std::string buffer;
    if (!socket_.valid()
        || socket_.receive(buffer, platform::privileged::kMaxMessageSize, 5000)
            != ReceiveStatus::message)
        return std::nullopt;
    TlvMessage message;
    proto::Reply reply;
    if (TlvMessage::decode(buffer, message) != platform::privileged::TlvDecodeStatus::ok
        || !proto::decodeReply(message, reply))
        return std::nullopt;
    return reply;
}

std::optional<proto::Reply> RawClient::call(const proto::Request& r)
{
    proto::Request numbered = r;
    numbered.requestId = nextId_++;
    if (!send(numbered))
        return std::nullopt;
    auto answer = reply();
    if (answer && answer->requestId != numbered.requestId)
        return std::nullopt;
    return answer;
}

std::string RawClient::versionOrEmpty()
{
    auto answer = call(request(proto::getVersion));
    return answer && !answer->error ? answer->version : std::string();
}

proto::Request request(std::uint16_t op, const std::string& path, const std::string& destination)
{
    proto::Request r;
    r.op = op;
    r.path = path;
    r.destination = destination;
    return r;
}

} // namespace privtest
