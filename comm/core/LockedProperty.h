#pragma once
// One value that several threads read and write: a copy comes out, a whole value goes in, and
// update() changes it in place, each under the value's own lock.

#include <mutex>
#include <utility>

template <typename T>
class LockedProperty {
public:
    LockedProperty() = default;
    explicit LockedProperty(T value) : value_(std::move(value)) {}
    LockedProperty(const LockedProperty&) = delete;
    LockedProperty& operator=(const LockedProperty&) = delete;

    T get() const
    {
        std::lock_guard lock(mutex_);
        return value_;
    }

    void set(T value)
    {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
    }

    // fn must not touch this property again (the lock is held).
    template <typename Fn>
    void update(Fn&& fn)
    {
        std::lock_guard lock(mutex_);
        std::forward<Fn>(fn)(value_);
    }

private:
    mutable std::mutex mutex_;
    T value_{};
};
