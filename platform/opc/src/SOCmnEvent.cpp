#include "opc/SOCmnEvent.h"

#include <chrono>

namespace orva::opc {

void SOCmnEvent::signal()
{
    {
        std::lock_guard g(mutex_);
        signaled_ = true;
    }
    cv_.notify_all();
}

void SOCmnEvent::reset()
{
    std::lock_guard g(mutex_);
    signaled_ = false;
}

bool SOCmnEvent::isSignaled() const
{
    std::lock_guard g(mutex_);
    return signaled_;
}

bool SOCmnEvent::wait(uint32_t timeoutMs) const
{
    std::unique_lock g(mutex_);
    if (timeoutMs == SOCMN_WAIT_INFINITE) {
        cv_.wait(g, [this] { return signaled_; });
        return true;
    }
    return cv_.wait_for(g, std::chrono::milliseconds(timeoutMs), [this] { return signaled_; });
}

SOCmnEvent* SOCmnEventPool::popEvent()
{
    std::lock_guard g(mutex_);
    if (!free_.empty()) {
        SOCmnEvent* e = free_.back();
        free_.pop_back();
        return e;
    }
    all_.push_back(std::make_unique<SOCmnEvent>());
    return all_.back().get();
}

void SOCmnEventPool::pushEvent(SOCmnEvent* event)
{
    if (!event) return;
    event->reset();
    std::lock_guard g(mutex_);
    for (const auto& owned : all_) {
        if (owned.get() == event) {
            free_.push_back(event);
            return;
        }
    }
}

}  // namespace orva::opc
