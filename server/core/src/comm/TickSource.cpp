#include "core/TickSource.h"

#include <chrono>
#include <thread>

namespace orva::core {

uint32_t SteadyTickSource::now()
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(ms.count());
}

void SteadyTickSource::sleep(uint32_t milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace orva::core
