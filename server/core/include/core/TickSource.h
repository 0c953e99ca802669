#pragma once
// The communication thread's sense of time: a monotonic millisecond tick that wraps harmlessly
// (all differences are taken in unsigned 32-bit arithmetic) and the short sleeps of its cycle.
// Tests hand in a manual source whose sleep only advances the tick.

#include <cstdint>

namespace orva::core {

class TickSource {
public:
    virtual ~TickSource() = default;
    virtual uint32_t now() = 0;
    virtual void sleep(uint32_t milliseconds) = 0;
};

// The steady clock of the system.
class SteadyTickSource final : public TickSource {
public:
    uint32_t now() override;
    void sleep(uint32_t milliseconds) override;
};

// A tick that moves only when told to, or when slept on.
class ManualTickSource final : public TickSource {
public:
    explicit ManualTickSource(uint32_t start = 0) : tick_(start) {}
    uint32_t now() override { return tick_; }
    void sleep(uint32_t milliseconds) override { tick_ += milliseconds; }
    void advance(uint32_t milliseconds) { tick_ += milliseconds; }

private:
    uint32_t tick_;
};

}  // namespace orva::core
