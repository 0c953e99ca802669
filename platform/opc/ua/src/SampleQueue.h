#pragma once
// The queue of a monitored item: samples that passed the item's filter, waiting for the next
// Publish. A full queue discards its oldest or its newest sample as the client asked and flags
// the loss on the sample next to the gap (the Overflow info bit), so a client sees where values
// went missing; a queue of one simply keeps the latest sample.

#include <cstdint>
#include <deque>

#include "opcua/Types.h"

namespace orva::opcua {

class SampleQueue {
public:
    // InfoType DataValue with the Overflow bit.
    static constexpr StatusCode kOverflowBits = 0x00000480;

    void configure(uint32_t capacity, bool discardOldest);
    uint32_t capacity() const { return capacity_; }
    bool discardsOldest() const { return discardOldest_; }

    void push(DataValue sample)
    {
        if (samples_.size() < capacity_)
            samples_.push_back(std::move(sample));
        else
            replace(std::move(sample));
    }

    bool empty() const { return samples_.empty(); }
    size_t size() const { return samples_.size(); }
    DataValue& front() { return samples_.front(); }
    void pop_front() { samples_.pop_front(); }
    void clear() { samples_.clear(); }

private:
    void replace(DataValue sample);  // the queue is full

    std::deque<DataValue> samples_;
    uint32_t capacity_ = 1;
    bool discardOldest_ = true;
};

}  // namespace orva::opcua
