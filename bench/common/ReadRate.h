#pragma once
// What the read-rate benchmarks against node-snap7's S7Server share: their command line
// (--seconds S, --rounds R), the server on a loopback port and reads per second of one client
// over S seconds.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "ChildProcess.h"

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

// One benchmark run: its options and node-snap7's S7Server on a free loopback port.
struct Snap7Run {
    ReadRateOptions options;
    std::unique_ptr<interop::ChildProcess> server;
    int port = 0;
};

// Reads the options and starts the server: 0, or the exit code after a message on stderr (2: bad
// options or the test peers are not installed, 1: the server did not start).
inline int startSnap7Run(int argc, char** argv, const char* program, Snap7Run& run)
{
    const auto options = readRateOptions(argc, argv, program);
    if (!options) return 2;
    run.options = *options;
    if (interop::peersFolder().empty()) {
        std::fprintf(stderr, "node-snap7 is not installed: run npm install in tests/interop\n");
        return 2;
    }
    run.port = interop::freeLoopbackPort();
    run.server = std::make_unique<interop::ChildProcess>(
        "node", std::vector<std::string>{interop::nodeScript("snap7_server.js"), std::to_string(run.port)});
    if (run.server->waitFor("ready") != "ready " + std::to_string(run.port)) {
        std::fprintf(stderr, "node-snap7's S7Server did not start on port %d\n", run.port);
        return 1;
    }
    return 0;
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
