#include "tests/platform/reporting/support/LoopbackHttpServer.h"

#include "platform/reporting/Gzip.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <charconv>

namespace testsupport {

namespace {

constexpr std::size_t kMaxRequestBytes = 8u << 20;

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Parses one complete request from the front of buffer; answers how many bytes it took, or 0
// when more bytes are needed. Sets bad for a request that can never be parsed.
std::size_t parseRequest(const std::string& buffer, LoopbackHttpServer::Request& request, bool& bad)
{
    const std::size_t headerEnd = buffer.find("\r\n\r\n");
    if (headerEnd == std::string::npos) {
        bad = buffer.size() > 64 * 1024;
        return 0;
    }
    std::size_t pos = buffer.find("\r\n");
    const std::string first = buffer.substr(0, pos);
    const auto s1 = first.find(' ');
    const auto s2 = first.find(' ', s1 + 1);
    if (s1 == std::string::npos || s2 == std::string::npos) {
        bad = true;
        return 0;
    }
    request.method = first.substr(0, s1);
    request.path = first.substr(s1 + 1, s2 - s1 - 1);
    pos += 2;
    while (pos < headerEnd) {
        const std::size_t end = buffer.find("\r\n", pos);
        const std::string line = buffer.substr(pos, end - pos);
        pos = end + 2;
        const auto colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        request.headers[lower(line.substr(0, colon))] = value;
    }
    std::size_t length = 0;
    if (auto it = request.headers.find("content-length"); it != request.headers.end())
        std::from_chars(it->second.data(), it->second.data() + it->second.size(), length);
    if (length > kMaxRequestBytes) {
        bad = true;
        return 0;
    }
    const std::size_t total = headerEnd + 4 + length;
    if (buffer.size() < total)
        return 0;
    request.body = buffer.substr(headerEnd + 4, length);
    if (auto it = request.headers.find("content-encoding"); it != request.headers.end() && it->second == "gzip")
        request.inflated = platform::reporting::gzipDecompress(request.body);
    return total;
}

void sendAll(int fd, const std::string& data)
{
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
}

} // namespace

nlohmann::json LoopbackHttpServer::Request::json() const
{
    return nlohmann::json::parse(inflated ? *inflated : body, nullptr, false);
}

LoopbackHttpServer::LoopbackHttpServer()
{
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listenFd_, 16) != 0 || ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0
        || ::pipe2(wakePipe_, O_CLOEXEC) != 0) {
        if (listenFd_ >= 0)
            ::close(listenFd_);
        listenFd_ = -1;
        return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    if (thread_.joinable()) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakePipe_[1], &byte, 1);
        thread_.join();
    }
    for (int fd : {listenFd_, wakePipe_[0], wakePipe_[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
}

std::string LoopbackHttpServer::url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void LoopbackHttpServer::scriptStatuses(const std::vector<int>& statuses)
{
    std::lock_guard lock(mutex_);
    script_.assign(statuses.begin(), statuses.end());
}

std::vector<LoopbackHttpServer::Request> LoopbackHttpServer::requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<LoopbackHttpServer::Request> LoopbackHttpServer::requestsTo(const std::string& path) const
{
    std::vector<Request> matching;
    for (Request& r : requests()) {
        if (r.path == path)
            matching.push_back(std::move(r));
    }
    return matching;
}

std::size_t LoopbackHttpServer::count() const
{
    std::lock_guard lock(mutex_);
    return requests_.size();
}

bool LoopbackHttpServer::waitForCount(std::size_t n, int timeoutMillis) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMillis), [&] { return requests_.size() >= n; });
}

void LoopbackHttpServer::run()
{
    struct Client {
        int fd;
        std::string buffer;
    };
    std::vector<Client> clients;
    for (;;) {
        std::vector<pollfd> fds = {{wakePipe_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}};
        for (const Client& c : clients)
            fds.push_back({c.fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents)
            break;
        if (fds[1].revents & POLLIN) {
            const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0)
                clients.push_back({fd, {}});
        }
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            Client& client = clients[i - 2];
            char chunk[65536];
            const ssize_t n = ::recv(client.fd, chunk, sizeof chunk, 0);
            bool closeIt = n <= 0;
            if (n > 0)
                client.buffer.append(chunk, static_cast<std::size_t>(n));
            while (!closeIt) {
                Request request;
                bool bad = false;
                const std::size_t used = parseRequest(client.buffer, request, bad);
                if (bad) {
                    closeIt = true;
                    break;
                }
                if (used == 0)
                    break;
                client.buffer.erase(0, used);
                {
                    std::lock_guard lock(mutex_);
                    request.status = 200;
                    if (!script_.empty()) {
                        request.status = script_.front();
                        script_.pop_front();
                    }
                    requests_.push_back(request);
                }
                changed_.notify_all();
                sendAll(client.fd, "HTTP/1.1 " + std::to_string(request.status) + " Scripted\r\nContent-Length: 0\r\n\r\n");
            }
            if (closeIt) {
                ::close(client.fd);
                client.fd = -1;
            }
        }
        clients.erase(std::remove_if(clients.begin(), clients.end(), [](const Client& c) { return c.fd < 0; }),
                      clients.end());
    }
    for (const Client& c : clients)
        ::close(c.fd);
}

} // namespace testsupport

namespace testsupport {

bool eventually(const std::function<bool()>& predicate, int timeoutMillis)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMillis);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace testsupport
