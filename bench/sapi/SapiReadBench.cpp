// Reads per second of 222-byte data-block pieces from node-snap7's S7Server: through the SAPI-S7
// library with Vardel's transport (request, event polls, confirmation) and through Tornel's
// TCP/IP library, alternately in the same run against the same server, reported as a ratio.
//   build/bench/sapis7_read_bench [--seconds S] [--rounds R]
// Each library runs R rounds of S seconds; the best round of each counts.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "ReadRate.h"
#include "plc/TcpIpS7Tool.h"
#include "sapi/SapiAccess.h"

int main(int argc, char** argv)
{
    orva::bench::Snap7Run run;
    if (const int code = orva::bench::startSnap7Run(argc, argv, "sapis7_read_bench", run)) return code;
    const double seconds = run.options.seconds;
    const int rounds = run.options.rounds;
    const int port = run.port;
    const std::string endpoint = "127.0.0.1:" + std::to_string(port);

    // Tornel's library.
    orva::plc::PlcConnectionEntry entry{};
    std::snprintf(entry.address, sizeof entry.address, "%s", endpoint.c_str());
    entry.cpuSlot = 2;
    orva::plc::TcpIpS7Tool tool;
    if (tool.open(&entry, 1) != orva::plc::kS7Ok || tool.selectPlc(1, 0) != orva::plc::kS7Ok) {
        std::fprintf(stderr, "TcpIpS7Tool cannot connect to the S7Server\n");
        return 1;
    }

    // The SAPI-S7 library through Vardel's transport, over a private connection database.
    std::string pattern = (std::filesystem::temp_directory_path() / "orva-sapi-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return 1;
    const orva::registry::Registry registry{std::filesystem::path(pattern)};
    if (registry.writeString("SOFTWARE\\ORVAAutomation\\SapiS7\\BENCH", "PLC", endpoint) !=
        orva::registry::Status::Ok) {
        std::fprintf(stderr, "cannot write the connection database\n");
        return 1;
    }
    orva::sapi::SapiAccess sapi(orva::sapi::makeSapiLibrary(registry), "BENCH");
    if (sapi.openInterface(1) != 0 || sapi.select("PLC", 1) != 0) {
        std::fprintf(stderr, "the SAPI-S7 library cannot connect to the S7Server: %s\n",
                     sapi.errorText(1).c_str());
        return 1;
    }

    double viaSapi = 0;
    double viaTcpIp = 0;
    for (int round = 0; round < rounds; ++round) {
        const double a = orva::bench::readsPerSecond(
            [&](uint8_t* b) {
                return sapi.readBytes(1, orva::plc::ByteOffset(0),
                                      orva::plc::ByteCount(orva::plc::kMaxReadPiece), b);
            },
            seconds);
        const double b = orva::bench::readsPerSecond(
            [&](uint8_t* d) { return tool.readBytes(1, orva::plc::kMaxReadPiece, 0, d); }, seconds);
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "a read failed during round %d\n", round + 1);
            return 1;
        }
        std::printf("round %d: SAPI-S7 %.0f reads/s, TcpIpS7Tool %.0f reads/s\n", round + 1, a, b);
        viaSapi = std::max(viaSapi, a);
        viaTcpIp = std::max(viaTcpIp, b);
    }
    sapi.closeInterface();
    tool.close();
    std::filesystem::remove_all(pattern);
    std::printf("222-byte reads from node-snap7's S7Server, best of %d rounds of %.1f s:\n", rounds, seconds);
    std::printf("  SAPI-S7 library (Vardel's transport)  %8.0f reads/s  %6.1f us/read\n", viaSapi,
                1e6 / viaSapi);
    std::printf("  TcpIpS7Tool (Tornel's library)        %8.0f reads/s  %6.1f us/read\n", viaTcpIp,
                1e6 / viaTcpIp);
    std::printf("  ratio SAPI-S7 / TcpIpS7Tool: %.2f (goal: at least 0.9)\n", viaSapi / viaTcpIp);
    return 0;
}
