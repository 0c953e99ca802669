// Reads per second of 222-byte data-block reads from node-snap7's S7Server: our access library
// and node-snap7's own client in the same run, against the same server, reported as a ratio.
//   build/bench/plc_read_bench [--seconds S] [--rounds R]
// Each client runs R rounds of S seconds, alternating; the best round of each counts.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "ChildProcess.h"
#include "ReadRate.h"
#include "plc/TcpIpS7Tool.h"

namespace {

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
    orva::bench::Snap7Run run;
    if (const int code = orva::bench::startSnap7Run(argc, argv, "plc_read_bench", run)) return code;
    const double seconds = run.options.seconds;
    const int rounds = run.options.rounds;
    const int port = run.port;
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
        const double a = orva::bench::readsPerSecond(
            [&](uint8_t* buffer) { return tool.readBytes(1, orva::plc::kMaxReadPiece, 0, buffer); }, seconds);
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
