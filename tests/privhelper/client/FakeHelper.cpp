#include "FakeHelper.h"

#include "platform/privileged/TlvMessage.h"
#include "privhelper/shared/PrivilegedHelperProtocol.h"

#include <chrono>
#include <poll.h>
#include <unistd.h>

using namespace platform::privileged;
namespace proto = PrivilegedHelperProtocol;

FakeHelperServer::FakeHelperServer(std::string path, Mode mode, std::string version, int delayMs)
    : path_(std::move(path)), mode_(mode), version_(std::move(version)), delayMs_(delayMs)
{
    SeqPacketSocket::listenAt(path_, 0600, listener_);
    thread_ = std::thread([this] { loop(); });
}

FakeHelperServer::~FakeHelperServer()
{
    stop();
}

void FakeHelperServer::stop()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    listener_.close();
    ::unlink(path_.c_str());
}

void FakeHelperServer::loop()
{
    std::vector<SeqPacketSocket> clients;
    while (!stopping_) {
        std::vector<pollfd> fds{{listener_.fd(), POLLIN, 0}};
        for (auto& c : clients)
            fds.push_back({c.fd(), POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 20) <= 0)
            continue;
        if (fds[0].revents & POLLIN) {
            SeqPacketSocket client;
            if (listener_.accept(client) == 0) {
                ++connections_;
                clients.push_back(std::move(client));
            }
        }
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            auto& client = clients[i - 1];
            std::string buffer;
            if (client.receive(buffer, kMaxMessageSize, 0) != ReceiveStatus::message) {
                client.close();
                continue;
            }
            ++messages_;
            TlvMessage message;
            proto::Request request;
            if (mode_ == Mode::mute || TlvMessage::decode(buffer, message) != TlvDecodeStatus::ok
                || proto::decodeRequest(message, request) != 0)
                continue;
            proto::Reply reply;
            reply.op = request.op;
            reply.requestId = request.requestId;
            if (request.op == proto::getVersion)
                reply.version = version_;
            else
                reply.error = proto::posixError(95);
            if (delayMs_ > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_));
            std::string bytes;
            proto::encodeReply(reply).encode(bytes);
            if (client.send(bytes) == 0)
                ++replies_;
        }
        std::erase_if(clients, [](const SeqPacketSocket& c) { return !c.valid(); });
    }
}
