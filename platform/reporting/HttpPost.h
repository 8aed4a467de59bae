#pragma once
// One HTTP POST through libcurl, reusing its connection between calls. Only http and https
// URLs are followed, redirects are not, and every request is bounded in time.

#include <atomic>
#include <string>
#include <utility>
#include <vector>

namespace platform::reporting {

struct HttpResult {
    long status = 0;      // HTTP status; 0 when no answer came (network error, time-out, abort)
    std::string error;    // what went wrong when status is 0
};

class HttpPost {
public:
    // abort is polled during transfers: when it becomes true the request ends at once.
    explicit HttpPost(const std::atomic<bool>* abort = nullptr, long timeoutMillis = 30000);
    ~HttpPost();
    HttpPost(const HttpPost&) = delete;
    HttpPost& operator=(const HttpPost&) = delete;

    HttpResult post(const std::string& url, const std::vector<std::pair<std::string, std::string>>& headers,
                    const std::string& body);

private:
    void* curl_;
    const std::atomic<bool>* abort_;
    long timeoutMillis_;
};

} // namespace platform::reporting
