#pragma once
// The measuring loop that the read-rate benchmarks against node-snap7's S7Server share: their
// command line (--seconds S, --rounds R) and reads per second of one client over S seconds.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "plc/ByteRange.h"

namespace orva::bench {

struct ReadRateOptions {
    double seconds = 3;
    int rounds = 2;
};

// The options, or nothing (after the usage line on stderr) when they are out of range.
inline std::optional<ReadRateOptions> readRateOptions(int argc, char** argv, const char* program)
{
    ReadRateOptions options;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0) options.seconds = std::atof(argv[i + 1]);
        if (std::strcmp(argv[i], "--rounds") == 0) options.rounds = std::atoi(argv[i + 1]);
    }
    if (options.seconds <= 0 || options.seconds > 60 || options.rounds < 1 || options.rounds > 10) {
        std::fprintf(stderr, "usage: %s [--seconds 0..60] [--rounds 1..10]\n", program);
        return std::nullopt;
    }
    return options;
}

// Calls read(buffer) with a buffer of one full read piece until the time is up; -1 when a read
// fails (read returns non-zero).
template <class Read>
double readsPerSecond(Read read, double seconds)
{
    uint8_t buffer[plc::kMaxReadPiece];
    const auto begin = std::chrono::steady_clock::now();
    const auto end = begin + std::chrono::duration<double>(seconds);
    long reads = 0;
    auto now = begin;
    while (now < end) {
        if (read(buffer) != 0) return -1;
        ++reads;
        now = std::chrono::steady_clock::now();
    }
    return static_cast<double>(reads) / std::chrono::duration<double>(now - begin).count();
}

}  // namespace orva::bench
