#pragma once
// Events that one thread signals and others wait on with a time-out, and the pool that lends them.
// An event stays signalled until reset; the pool resets it when it is pushed back.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace orva::opc {

inline constexpr uint32_t SOCMN_WAIT_INFINITE = 0xFFFFFFFFu;

class SOCmnEvent {
public:
    void signal();
    void reset();
    bool isSignaled() const;
    // True when the event was (or became) signalled within timeoutMs.
    bool wait(uint32_t timeoutMs) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    bool signaled_ = false;
};

class SOCmnEventPool {
public:
    // Never null; the event belongs to the pool and stays valid until the pool is destroyed.
    SOCmnEvent* popEvent();
    void pushEvent(SOCmnEvent* event);

private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<SOCmnEvent>> all_;
    std::vector<SOCmnEvent*> free_;
};

}  // namespace orva::opc
