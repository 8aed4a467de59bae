#include "engine/decoder/ssEngineLinks.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace {
std::mutex& linksLock()
{
    static std::mutex lock;
    return lock;
}

// (follower, master)
std::vector<std::pair<const ssMediaDecoder3*, const ssMediaDecoder3*>>& links()
{
    static std::vector<std::pair<const ssMediaDecoder3*, const ssMediaDecoder3*>> all;
    return all;
}
} // namespace

namespace ssEngineLinks {

void Record(const ssMediaDecoder3* follower, const ssMediaDecoder3* master)
{
    std::lock_guard lock(linksLock());
    auto& all = links();
    std::erase_if(all, [follower](const auto& link) { return link.first == follower; });
    if (master && master != follower)
        all.emplace_back(follower, master);
}

void Forget(const ssMediaDecoder3* engine)
{
    std::lock_guard lock(linksLock());
    std::erase_if(links(), [engine](const auto& link) { return link.first == engine || link.second == engine; });
}

bool IsFollowed(const ssMediaDecoder3* master)
{
    std::lock_guard lock(linksLock());
    const auto& all = links();
    return std::any_of(all.begin(), all.end(), [master](const auto& link) { return link.second == master; });
}

} // namespace ssEngineLinks
