#pragma once
// AF_UNIX SOCK_SEQPACKET endpoint: connection-oriented, message boundaries kept, one helper
// message per record. Every call reports failure as an errno value (0 = success).

#include "platform/privileged/UniqueFd.h"

#include <string>
#include <string_view>
#include <sys/types.h>

namespace platform::privileged {

enum class ReceiveStatus {
    message,   // one whole record is in the buffer
    truncated, // the record was larger than the buffer: the buffer holds its head only
    closed,    // the peer closed the connection (or it was shut down locally)
    timedOut,
    failed,    // see the errno out-value
};

class SeqPacketSocket {
public:
    SeqPacketSocket() = default;
    explicit SeqPacketSocket(UniqueFd fd) : fd_(std::move(fd)) {}

    // Connects to a listening socket at path (close-on-exec).
    static int connectTo(const std::string& path, SeqPacketSocket& out);
    // Creates, binds and listens at path, replacing a stale socket file there (never any other
    // kind of file), and sets the file's mode. The file appears only once it accepts connections.
    static int listenAt(const std::string& path, mode_t mode, SeqPacketSocket& out);
    // Adopts an inherited descriptor (socket activation) after checking that it is a
    // listening AF_UNIX SOCK_SEQPACKET socket.
    static int adoptListening(int fd, SeqPacketSocket& out);

    bool valid() const { return fd_.valid(); }
    int fd() const { return fd_.get(); }
    void close() { fd_.reset(); }

    int accept(SeqPacketSocket& out) const;
    // Sends one record; never raises SIGPIPE.
    int send(std::string_view bytes) const;
    // Receives one record of at most maxSize bytes into buffer. timeoutMs < 0 waits forever.
    ReceiveStatus receive(std::string& buffer, std::size_t maxSize, int timeoutMs = -1,
                          int* error = nullptr) const;
    // Wakes a thread blocked in receive on this socket (it then sees `closed`).
    void shutdown() const;

private:
    UniqueFd fd_;
};

} // namespace platform::privileged
