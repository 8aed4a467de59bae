#pragma once

#include <atomic>
#include <cstdint>

namespace platform::decklink {

// Reference counting for the card's objects: born with one reference, deleted at the last Release.
template <typename Interface> class RefCounted : public Interface {
public:
    uint32_t AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    uint32_t Release() override
    {
        const uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0)
            delete this;
        return left;
    }
    uint32_t refCount() const { return refs_.load(std::memory_order_acquire); }

protected:
    ~RefCounted() override = default;

private:
    std::atomic<uint32_t> refs_{1};
};

// Holds one reference and gives it back when it goes.
template <typename T> class Ref {
public:
    Ref() = default;
    explicit Ref(T* adopted) : p_(adopted) {}
    Ref(const Ref& other) : p_(other.p_) { if (p_) p_->AddRef(); }
    Ref& operator=(Ref other) { std::swap(p_, other.p_); return *this; }
    ~Ref() { if (p_) p_->Release(); }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // Hands out a new reference.
    T* share() const { if (p_) p_->AddRef(); return p_; }

private:
    T* p_ = nullptr;
};

} // namespace platform::decklink
