#include "SampleQueue.h"

#include <algorithm>

namespace orva::opcua {

void SampleQueue::configure(uint32_t capacity, bool discardOldest)
{
    capacity_ = std::max<uint32_t>(capacity, 1);
    discardOldest_ = discardOldest;
    while (samples_.size() > capacity_) {
        samples_.pop_front();  // a shrunk queue keeps its newest samples
        if (capacity_ > 1) samples_.front().status |= kOverflowBits;
    }
}

void SampleQueue::replace(DataValue sample)
{
    if (capacity_ == 1) {
        samples_.back() = std::move(sample);
        return;
    }
    if (discardOldest_) {
        samples_.pop_front();
        samples_.front().status |= kOverflowBits;
        samples_.push_back(std::move(sample));
    } else {
        sample.status |= kOverflowBits;
        samples_.back() = std::move(sample);
    }
}

}  // namespace orva::opcua
