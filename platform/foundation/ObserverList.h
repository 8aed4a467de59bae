#pragma once
// A thread-safe list of callbacks for plain C++ models (where Qt signals are not available).
//
//   ObserverList<int, std::string> changed;
//   Subscription s = changed.subscribe([](int id, const std::string& what) { ... });
//   changed.notify(3, "name");
//
// notify() calls the callbacks outside the list's lock, so callbacks may subscribe or
// unsubscribe (themselves included). After unsubscribe() (or the Subscription's destruction)
// returns, the callback is not running on any other thread and will not be called again; a
// callback that unsubscribes itself simply finishes its current call.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace platform {

namespace detail {
struct ObserverEntryBase {
    std::recursive_mutex callMutex; // held while the callback runs
    bool alive = true;              // guarded by callMutex
};
struct ObserverListCore {
    std::mutex mutex;
    std::vector<std::pair<std::uint64_t, std::shared_ptr<ObserverEntryBase>>> entries;
    std::uint64_t nextId = 1;

    bool remove(std::uint64_t id)
    {
        std::shared_ptr<ObserverEntryBase> entry;
        {
            std::lock_guard lock(mutex);
            for (auto it = entries.begin(); it != entries.end(); ++it) {
                if (it->first == id) {
                    entry = std::move(it->second);
                    entries.erase(it);
                    break;
                }
            }
        }
        if (!entry)
            return false;
        // Waits for a call in progress on another thread; recursive so a callback may remove
        // itself.
        std::lock_guard call(entry->callMutex);
        entry->alive = false;
        return true;
    }
};
} // namespace detail

// Removes its callback when destroyed (or on reset()). Movable; may outlive the list.
class Subscription {
public:
    Subscription() = default;
    Subscription(std::weak_ptr<detail::ObserverListCore> core, std::uint64_t id)
        : core_(std::move(core)), id_(id) {}
    Subscription(Subscription&& other) noexcept : core_(std::move(other.core_)), id_(std::exchange(other.id_, 0)) {}
    Subscription& operator=(Subscription&& other) noexcept
    {
        if (this != &other) {
            reset();
            core_ = std::move(other.core_);
            id_ = std::exchange(other.id_, 0);
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { reset(); }

    void reset()
    {
        if (auto core = core_.lock(); core && id_)
            core->remove(id_);
        core_.reset();
        id_ = 0;
    }
    bool isActive() const { return id_ != 0 && !core_.expired(); }
    std::uint64_t id() const { return id_; }

private:
    std::weak_ptr<detail::ObserverListCore> core_;
    std::uint64_t id_ = 0;
};

template <class... Args>
class ObserverList {
public:
    using Callback = std::function<void(Args...)>;

    ObserverList() : core_(std::make_shared<detail::ObserverListCore>()) {}
    ObserverList(const ObserverList&) = delete;
    ObserverList& operator=(const ObserverList&) = delete;

    // Adds a callback; it stays until the returned Subscription goes away.
    [[nodiscard]] Subscription subscribe(Callback callback)
    {
        return Subscription(core_, add(std::move(callback)));
    }

    // Adds a callback that stays until unsubscribe(id) (for owners that keep ids themselves).
    std::uint64_t add(Callback callback)
    {
        auto entry = std::make_shared<Entry>();
        entry->callback = std::move(callback);
        std::lock_guard lock(core_->mutex);
        const std::uint64_t id = core_->nextId++;
        core_->entries.emplace_back(id, std::move(entry));
        return id;
    }
    bool unsubscribe(std::uint64_t id) { return core_->remove(id); }

    // Calls every callback subscribed when notify began, in subscription order.
    void notify(Args... args) const
    {
        std::vector<std::shared_ptr<detail::ObserverEntryBase>> snapshot;
        {
            std::lock_guard lock(core_->mutex);
            snapshot.reserve(core_->entries.size());
            for (const auto& e : core_->entries)
                snapshot.push_back(e.second);
        }
        for (const auto& base : snapshot) {
            std::lock_guard call(base->callMutex);
            if (base->alive)
                static_cast<Entry&>(*base).callback(args...);
        }
    }

    std::size_t size() const
    {
        std::lock_guard lock(core_->mutex);
        return core_->entries.size();
    }
    bool empty() const { return size() == 0; }

private:
    struct Entry : detail::ObserverEntryBase {
        Callback callback;
    };
    std::shared_ptr<detail::ObserverListCore> core_;
};

} // namespace platform
