#pragma once
// Orders texture work across contexts of one share group: the producer publishes a fence after
// its uploads, and a consumer waits for it on the GPU before drawing with them. Both sides need a
// current context of the group; epoxy must be the GL loader.

#include <mutex>

class KLVTextureFence {
public:
    KLVTextureFence() = default;
    KLVTextureFence(const KLVTextureFence&) = delete;
    KLVTextureFence& operator=(const KLVTextureFence&) = delete;

    // Producer: a fence after everything issued so far in the current context, flushed so other
    // contexts can see it. Replaces (and deletes) the previous fence.
    void publish();
    // Consumer: makes the current context's later commands wait for the last published fence.
    // Nothing when none was published.
    void waitInCurrentContext();
    bool hasFence() const;

private:
    mutable std::mutex lock_;
    void* sync_ = nullptr; // GLsync
};
