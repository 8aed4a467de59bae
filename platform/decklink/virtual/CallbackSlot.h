#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

namespace platform::decklink {

// The callback object an application sets on a card, called from the card's thread. Replacing it
// (with null or another) waits until calls into the old one have returned, so the application may
// free what its callback uses as soon as the set call returns. A set made from inside the callback
// does not wait for itself; the old callback is then released when that call returns.
template <typename Callback> class CallbackSlot {
public:
    CallbackSlot() = default;
    CallbackSlot(const CallbackSlot&) = delete;
    CallbackSlot& operator=(const CallbackSlot&) = delete;
    ~CallbackSlot() { set(nullptr); }

    void set(Callback* callback)
    {
        if (callback)
            callback->AddRef();
        Callback* old = nullptr;
        {
            std::unique_lock lock(mutex_);
            old = current_;
            current_ = callback;
            if (inFlight_ > 0 && callingThread_ == std::this_thread::get_id()) {
                // Called from inside the callback: release the old one once that call is over.
                if (old) {
                    if (deferred_)
                        deferred_->Release();
                    deferred_ = old;
                }
                return;
            }
            idle_.wait(lock, [&] { return inFlight_ == 0; });
        }
        if (old)
            old->Release();
    }

    // Calls fn(callback) when one is set; false when none is.
    template <typename Fn> bool call(Fn&& fn)
    {
        Callback* callback = nullptr;
        {
            std::lock_guard lock(mutex_);
            callback = current_;
            if (!callback)
                return false;
            ++inFlight_;
            callingThread_ = std::this_thread::get_id();
        }
        fn(callback);
        Callback* deferred = nullptr;
        {
            std::lock_guard lock(mutex_);
            if (--inFlight_ == 0) {
                callingThread_ = {};
                deferred = deferred_;
                deferred_ = nullptr;
            }
            // Under the lock: a waiting set() may destroy this slot as soon as it sees the call end.
            idle_.notify_all();
        }
        if (deferred)
            deferred->Release();
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable idle_;
    Callback* current_ = nullptr;
    Callback* deferred_ = nullptr;
    int inFlight_ = 0;
    std::thread::id callingThread_;
};

} // namespace platform::decklink
