#pragma once
// The built Latchkeep program running as a child process on a socket of its own, with a
// configuration written for the test, and a raw client that speaks its wire protocol.

#include "platform/privileged/SeqPacketSocket.h"
#include "privhelper/shared/PrivilegedHelperProtocol.h"

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace privtest {

std::string latchkeepPath();

class ToolProcess {
public:
    // Writes configText to dir/helper.conf and starts the tool on dir/helper.sock, with
    // extraArgs after its own.
    ToolProcess(const std::string& dir, const std::string& configText, mode_t configMode = 0644,
                const std::vector<std::string>& extraArgs = {});
    ~ToolProcess(); // kills the tool if it still runs
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    bool started() const { return started_; }
    const std::string& socketPath() const { return socketPath_; }
    pid_t pid() const { return pid_; }
    // Waits up to timeoutMs for the tool to exit; its exit status, or nullopt if still running.
    std::optional<int> waitForExit(int timeoutMs);
    bool running();

private:
    void reaped(int status);

public:
    std::string log() const;

private:
    std::string socketPath_;
    std::string logPath_;
    pid_t pid_ = -1;
    bool started_ = false;
    bool reaped_ = false;
    int exitStatus_ = -1;
};

// One connection to a tool, sending raw bytes or requests and reading replies.
class RawClient {
public:
    explicit RawClient(const std::string& socketPath);
    bool connected() const { return socket_.valid(); }
    bool sendBytes(const std::string& bytes);
    bool send(const PrivilegedHelperProtocol::Request& request);
    // The next reply (5 s at most); nullopt when the connection closed or nothing came.
    std::optional<PrivilegedHelperProtocol::Reply> reply();
    std::optional<PrivilegedHelperProtocol::Reply> call(const PrivilegedHelperProtocol::Request& r);
    std::string versionOrEmpty();
    void close() { socket_.close(); }

private:
    platform::privileged::SeqPacketSocket socket_;
    std::uint32_t nextId_ = 100;
};

PrivilegedHelperProtocol::Request request(std::uint16_t op, const std::string& path = {},
                                          const std::string& destination = {});

} // namespace privtest
