#pragma once
// Reference-counted base object of the toolkit and its smart pointer.
//
// An object starts with one reference, owned by whoever created it with new. addRef adds one,
// release drops one and deletes the object when none is left. SOCmnPointer<T> adopts the reference
// it is constructed or assigned from (it does not add one); use shareRef() to take an extra one.

#include <atomic>
#include <cstdint>
#include <utility>

#include "opc/Types.h"

namespace orva::opc {

class SOCmnObject {
public:
    explicit SOCmnObject(uint32_t objectType = SOCMNOBJECT_TYPE_OTHER) : objectType_(objectType) {}
    SOCmnObject(const SOCmnObject&) = delete;
    SOCmnObject& operator=(const SOCmnObject&) = delete;

    // Returns the new count.
    uint32_t addRef() const noexcept { return refCount_.fetch_add(1, std::memory_order_relaxed) + 1; }
    // Returns the new count; the object is gone when it returns 0.
    uint32_t release() const noexcept;
    uint32_t getRefCount() const noexcept { return refCount_.load(std::memory_order_relaxed); }

    uint32_t getObjectType() const noexcept { return objectType_; }
    bool is(uint32_t type) const noexcept { return (objectType_ & type) == type; }

    // Free bits of state for the object's own use (a request uses 0x02 for "started").
    uint8_t getObjectState() const noexcept { return objectState_.load(std::memory_order_acquire); }
    void setObjectState(uint8_t state) noexcept { objectState_.store(state, std::memory_order_release); }

protected:
    virtual ~SOCmnObject() = default;
    std::atomic<uint8_t>& objectStateRef() noexcept { return objectState_; }

private:
    mutable std::atomic<uint32_t> refCount_{1};
    const uint32_t objectType_;
    std::atomic<uint8_t> objectState_{0};
};

inline uint32_t SOCmnObject::release() const noexcept
{
    const uint32_t left = refCount_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

template <class T>
class SOCmnPointer {
public:
    SOCmnPointer() noexcept = default;
    // Adopts the caller's reference.
    explicit SOCmnPointer(T* p) noexcept : p_(p) {}
    SOCmnPointer(const SOCmnPointer& o) noexcept : p_(o.p_)
    {
        if (p_) p_->addRef();
    }
    SOCmnPointer(SOCmnPointer&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <class U>
    SOCmnPointer(const SOCmnPointer<U>& o) noexcept : p_(o.get())
    {
        if (p_) p_->addRef();
    }
    ~SOCmnPointer() { reset(); }

    SOCmnPointer& operator=(const SOCmnPointer& o) noexcept
    {
        if (o.p_) o.p_->addRef();
        reset(o.p_);
        return *this;
    }
    SOCmnPointer& operator=(SOCmnPointer&& o) noexcept
    {
        if (this != &o) reset(std::exchange(o.p_, nullptr));
        return *this;
    }

    // Drops the held reference and adopts p's.
    void reset(T* p = nullptr) noexcept
    {
        T* old = std::exchange(p_, p);
        if (old) old->release();
    }
    // Gives the held reference to the caller.
    T* detach() noexcept { return std::exchange(p_, nullptr); }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T& operator*() const noexcept { return *p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    bool isNotNull() const noexcept { return p_ != nullptr; }
    bool operator==(const SOCmnPointer& o) const noexcept { return p_ == o.p_; }

private:
    T* p_ = nullptr;
};

// A new counted reference to p (null stays null).
template <class T>
SOCmnPointer<T> shareRef(T* p) noexcept
{
    if (p) p->addRef();
    return SOCmnPointer<T>(p);
}

}  // namespace orva::opc
