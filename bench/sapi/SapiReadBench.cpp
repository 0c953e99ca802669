// Reads per second of 222-byte data-block pieces from node-snap7's S7Server: through the SAPI-S7
// library with Vardel's transport (request, event polls, confirmation) and through Tornel's
// TCP/IP library, alternately in the same run against the same server, reported as a ratio.
//   build/bench/orva_sapi_read_bench [--seconds S] [--rounds R]
// Each library runs R rounds of S seconds; the best round of each counts.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "ChildProcess.h"
#include "plc/TcpIpS7Tool.h"
#include "sapi/SapiAccess.h"

namespace {

constexpr int kPiece = 222;

template <class Read>
double readsPerSecond(Read read, double seconds)
{
    uint8_t buffer[kPiece];
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
        std::fprintf(stderr, "usage: orva_sapi_read_bench [--seconds 0..60] [--rounds 1..10]\n");
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
        std::fprintf(stderr, "the SAPI-S7 library cannot connect to the S7Server: %s\n", sapi.errorText(1).c_str());
        return 1;
    }

    double viaSapi = 0;
    double viaTcpIp = 0;
    for (int round = 0; round < rounds; ++round) {
        const double a = readsPerSecond([&](uint8_t* b) { return sapi.readBytes(1, kPiece, 0, b); }, seconds);
        const double b = readsPerSecond([&](uint8_t* d) { return tool.readBytes(1, kPiece, 0, d); }, seconds);
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
    std::printf("  SAPI-S7 library (Vardel's transport)  %8.0f reads/s  %6.1f us/read\n", viaSapi, 1e6 / viaSapi);
    std::printf("  TcpIpS7Tool (Tornel's library)        %8.0f reads/s  %6.1f us/read\n", viaTcpIp, 1e6 / viaTcpIp);
    std::printf("  ratio SAPI-S7 / TcpIpS7Tool: %.2f (goal: at least 0.9)\n", viaSapi / viaTcpIp);
    return 0;
}
