#pragma once
// A small HTTP/1.1 server on 127.0.0.1 (ephemeral port) on a thread of its own. It records
// every POST (headers, body, the body inflated when gzip) and answers with scripted statuses,
// then 200. Keep-alive connections are served; requests are bounded in size.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

namespace testsupport {

class LoopbackHttpServer {
public:
    struct Request {
        std::string method;
        std::string path;
        std::map<std::string, std::string> headers; // names in lower case
        std::string body;
        std::optional<std::string> inflated;        // gzip bodies, decoded
        int status = 0;                              // what was answered
        nlohmann::json json() const;                 // inflated (or raw) body parsed; null when not JSON
    };

    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    bool isListening() const { return listenFd_ >= 0; }
    std::uint16_t port() const { return port_; }
    std::string url(const std::string& path) const;

    // The statuses of the next requests, in order; 200 after them.
    void scriptStatuses(const std::vector<int>& statuses);

    std::vector<Request> requests() const;
    std::vector<Request> requestsTo(const std::string& path) const;
    std::size_t count() const;
    // Blocks (no event loop needed) until count() >= n or the time-out passes.
    bool waitForCount(std::size_t n, int timeoutMillis = 10000) const;

private:
    void run();

    int listenFd_ = -1;
    int wakePipe_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Request> requests_;
    std::deque<int> script_;
    std::thread thread_;
};

} // namespace testsupport

namespace testsupport {

// Polls predicate every few milliseconds until it holds (true) or timeoutMillis passes (false),
// for code without an event loop. The time-out only bounds a failing test.
bool eventually(const std::function<bool()>& predicate, int timeoutMillis = 10000);

} // namespace testsupport
