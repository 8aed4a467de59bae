#include "platform/reporting/HttpPost.h"

#include <curl/curl.h>

#include <algorithm>

#include <mutex>

namespace platform::reporting {

namespace {

size_t discardBody(char*, size_t size, size_t count, void*)
{
    return size * count;
}

int progress(void* abort, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto* flag = static_cast<const std::atomic<bool>*>(abort);
    return flag && flag->load() ? 1 : 0;
}

} // namespace

HttpPost::HttpPost(const std::atomic<bool>* abort, long timeoutMillis)
    : abort_(abort), timeoutMillis_(timeoutMillis)
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    curl_ = curl_easy_init();
}

HttpPost::~HttpPost()
{
    curl_easy_cleanup(static_cast<CURL*>(curl_));
}

HttpResult HttpPost::post(const std::string& url, const std::vector<std::pair<std::string, std::string>>& headers,
                          const std::string& body)
{
    HttpResult result;
    auto* curl = static_cast<CURL*>(curl_);
    if (!curl) {
        result.error = "no HTTP client";
        return result;
    }
    curl_easy_reset(curl);
    curl_slist* list = nullptr;
    for (const auto& [name, value] : headers)
        list = curl_slist_append(list, (name + ": " + value).c_str());
    // An empty Expect header stops curl from waiting for "100 Continue" on larger bodies.
    list = curl_slist_append(list, "Expect:");
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, std::min(timeoutMillis_, 10000L));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMillis_);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discardBody);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(abort_));
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    const CURLcode rc = curl_easy_perform(curl);
    if (rc == CURLE_OK) {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    } else {
        result.error = errorText[0] ? errorText : curl_easy_strerror(rc);
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(list);
    return result;
}

} // namespace platform::reporting
