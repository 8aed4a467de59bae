#pragma once
// A controller's end of a TCP connection to the application on 127.0.0.1: blocking writes,
// reads with a deadline.

#include <QByteArray>

#include <cstdint>
#include <functional>

namespace e2e {

class TcpPeer {
public:
    TcpPeer() = default;
    ~TcpPeer();
    TcpPeer(const TcpPeer&) = delete;
    TcpPeer& operator=(const TcpPeer&) = delete;

    bool connectTo(uint16_t port);
    bool isConnected() const { return fd_ >= 0; }
    void close();
    bool send(const QByteArray& bytes);
    // Reads until complete(buffer) says so or timeoutMs passes; returns what was read (and keeps
    // nothing back: the caller's parser takes the replies off the buffer).
    QByteArray receive(const std::function<bool(const QByteArray&)>& complete, int timeoutMs = 5000);

private:
    int fd_ = -1;
};

// True when something accepts connections on 127.0.0.1:port.
bool tcpAccepts(uint16_t port);

} // namespace e2e
