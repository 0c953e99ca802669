#pragma once
// What a running process holds, read from /proc: open descriptors, threads, resident memory.

#include <cstdint>
#include <string>

namespace orva::soak {

struct ProcessStats {
    int descriptors = -1;
    int threads = -1;
    int64_t residentKiB = -1;

    bool valid() const { return descriptors >= 0 && threads >= 0 && residentKiB >= 0; }
    std::string text() const;
};

ProcessStats statsOf(int pid);

}  // namespace orva::soak
