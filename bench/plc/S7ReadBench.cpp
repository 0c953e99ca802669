// Reads per second of 222-byte data-block reads from node-snap7's S7Server: our access library
// and node-snap7's own client in the same run, against the same server, reported as a ratio.
//   build/bench/orva_plc_read_bench [--seconds S] [--rounds R]
// Each client runs R rounds of S seconds, alternating; the best round of each counts.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ChildProcess.h"
#include "plc/TcpIpS7Tool.h"

namespace {

double ourReadsPerSecond(orva::plc::TcpIpS7Tool& tool, double seconds)
{
    uint8_t buffer[orva::plc::kS7MaxReadCount];
    const auto begin = std::chrono::steady_clock::now();
    const auto end = begin + std::chrono::duration<double>(seconds);
    long reads = 0;
    auto now = begin;
    while (now < end) {
        if (tool.readBytes(1, orva::plc::kS7MaxReadCount, 0, buffer) != orva::plc::kS7Ok) return -1;
        ++reads;
        now = std::chrono::steady_clock::now();
    }
    return static_cast<double>(reads) / std::chrono::duration<double>(now - begin).count();
}

double snap7ReadsPerSecond(int port, double seconds)
{
    orva::interop::ChildProcess client("node", {orva::interop::sourceDir() + "/bench/plc/snap7_read_bench.js",
                                                std::to_string(port), std::to_string(seconds)});
    const std::string line = client.waitFor("reads", std::chrono::seconds(static_cast<long>(seconds) + 30));
    long reads = 0;
    double elapsed = 0;
    if (std::sscanf(line.c_str(), "reads %ld seconds %lf", &reads, &elapsed) != 2 || elapsed <= 0) return -1;
    return static_cast<double>(reads) / elapsed;
}

}  // namespace

int main(int argc, char** argv)
{
    double seconds = 3;
    int rounds = 2;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
        if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::atoi(argv[i + 1]);
    }
    if (seconds <= 0 || seconds > 60 || rounds < 1 || rounds > 10) {
        std::fprintf(stderr, "usage: orva_plc_read_bench [--seconds 0..60] [--rounds 1..10]\n");
        return 2;
    }
    if (orva::interop::peersFolder().empty()) {
        std::fprintf(stderr, "node-snap7 is not installed: run npm install in tests/interop\n");
        return 2;
    }
    const int port = orva::interop::freeLoopbackPort();
    orva::interop::ChildProcess server("node",
                                       {orva::interop::nodeScript("snap7_server.js"), std::to_string(port)});
    if (server.waitFor("ready") != "ready " + std::to_string(port)) {
        std::fprintf(stderr, "node-snap7's S7Server did not start on port %d\n", port);
        return 1;
    }
    orva::plc::PlcConnectionEntry entry{};
    std::snprintf(entry.address, sizeof entry.address, "127.0.0.1:%d", port);
    entry.cpuSlot = 2;
    orva::plc::TcpIpS7Tool tool;
    if (tool.open(&entry, 1) != orva::plc::kS7Ok || tool.selectPlc(1, 0) != orva::plc::kS7Ok) {
        std::fprintf(stderr, "cannot connect to the S7Server\n");
        return 1;
    }
    double ours = 0;
    double theirs = 0;
    for (int round = 0; round < rounds; ++round) {
        const double a = ourReadsPerSecond(tool, seconds);
        const double b = snap7ReadsPerSecond(port, seconds);
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "a read failed during round %d\n", round + 1);
            return 1;
        }
        std::printf("round %d: orva_plc %.0f reads/s, node-snap7 %.0f reads/s\n", round + 1, a, b);
        ours = std::max(ours, a);
        theirs = std::max(theirs, b);
    }
    tool.close();
    std::printf("222-byte reads from node-snap7's S7Server, best of %d rounds of %.1f s:\n", rounds, seconds);
    std::printf("  orva_plc (TcpIpS7Tool)  %8.0f reads/s  %6.1f us/read\n", ours, 1e6 / ours);
    std::printf("  node-snap7 S7Client     %8.0f reads/s  %6.1f us/read\n", theirs, 1e6 / theirs);
    std::printf("  ratio orva_plc / node-snap7: %.2f\n", ours / theirs);
    return 0;
}
