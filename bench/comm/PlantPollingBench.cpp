// Whether Tornel keeps the update rate it promises at plant scale, measured as a user would: one
// plcsim process per PLC (answering every request after a set delay, its tags animated every
// 50 ms so that every poll sees new values), the Tornel executable on a configuration of those
// PLCs, and an OPC UA client subscribing to every tag at the update rate and counting the
// notifications that arrive.
//
// Each row prints delivered_pct: notifications delivered per notification requested (every tag
// once per update rate), and server_cpu_us_per_notification: Tornel's CPU time per notification.
// ORVA_BENCH_TORNEL=path runs another Tornel executable (e.g. an older build) on the same rows.

#include <benchmark/benchmark.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ServerProcess.h"
#include "SubscriptionBench.h"

namespace {

namespace fs = std::filesystem;
using orva::e2e::ServerProcess;

struct Row {
    int plcs;
    int tagsPerPlc;
    int delayMs;
    uint32_t rateMs;
};

std::string plcName(int p)
{
    return "P" + std::to_string(p);
}

// VT_I2 tags T0, T1, ... at consecutive words of DB1, read-only (plcsim animates them).
std::string configuration(const Row& row, const std::vector<int>& ports)
{
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<ORVATcpIpS7Cfg><OPC_DA><INTERFACE "
        "name=\"SAPIS7\">";
    for (int p = 0; p < row.plcs; ++p) {
        xml += "<PLC name=\"" + plcName(p) + "\" address=\"127.0.0.1:" + std::to_string(ports[p]) +
               "\" CPUSlot=\"2\" RackNr=\"0\"><tags>";
        for (int t = 0; t < row.tagsPerPlc; ++t)
            xml += "<tag><name>T" + std::to_string(t) + "</name><databyte>" + std::to_string(2 * t) +
                   "</databyte><datatype>VT_I2</datatype><datablock>1</datablock>"
                   "<accessrights>READ</accessrights></tag>";
        xml += "</tags></PLC>";
    }
    return xml + "</INTERFACE></OPC_DA></ORVATcpIpS7Cfg>\n";
}

void writeFile(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The port a started plcsim printed ("plcsim listening on 127.0.0.1:PORT"); 0 when it did not.
int listeningPort(ServerProcess& plcsim)
{
    const auto line = plcsim.waitForLine("plcsim listening on", std::chrono::seconds(30));
    if (!line) return 0;
    return std::atoi(line->substr(line->rfind(':') + 1).c_str());
}

void BM_PlantPolling(benchmark::State& state)
{
    const Row row{static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                  static_cast<int>(state.range(2)), static_cast<uint32_t>(state.range(3))};
    const char* other = std::getenv("ORVA_BENCH_TORNEL");
    const std::string tornel = other != nullptr ? other : ORVA_TORNEL_PATH;
    const fs::path work = fs::temp_directory_path() / ("orva-plant-bench-" + std::to_string(::getpid()));
    fs::create_directories(work / "registry/software/orvaautomation");

    // The simulators lay out their data blocks after the tags; their ports come afterwards.
    writeFile(work / "layout.xml", configuration(row, std::vector<int>(row.plcs, 1)));
    std::vector<std::unique_ptr<ServerProcess>> plcsims;
    std::vector<int> ports;
    for (int p = 0; p < row.plcs; ++p) {
        // plcsim prints its port on standard output; ServerProcess reads standard error.
        const std::string command = std::string("exec '") + ORVA_PLCSIM_PATH + "' --port 0 --config '" +
                                    (work / "layout.xml").string() + "' --plc " + plcName(p) +
                                    " --animate-ms 50 --delay-ms " + std::to_string(row.delayMs) + " 1>&2";
        plcsims.push_back(
            std::make_unique<ServerProcess>("/bin/sh", std::vector<std::string>{"-c", command},
                                            std::map<std::string, std::optional<std::string>>{}));
        ports.push_back(listeningPort(*plcsims.back()));
        if (ports.back() == 0) {
            state.SkipWithError("plcsim did not start");
            return;
        }
    }
    const int uaPort = orva::e2e::freeLoopbackPort();
    writeFile(work / "Tornel.xml", configuration(row, ports));
    writeFile(work / "registry/software/orvaautomation/tornel.reg",
              "[SOFTWARE\\ORVAAutomation\\Tornel]\n\"ConfigFile\"=\"" + (work / "Tornel.xml").string() +
                  "\"\n\"OpcUaPort\"=\"" + std::to_string(uaPort) + "\"\n");
    ServerProcess server(tornel, {},
                         {{"ORVA_REGISTRY_ROOT", (work / "registry").string()},
                          {"ORVA_CONFIG_DIR", (work / "etc").string()},
                          {"DISPLAY", std::nullopt},
                          {"WAYLAND_DISPLAY", std::nullopt}});
    if (!server.waitForLine("OPC UA endpoint", std::chrono::seconds(30))) {
        state.SkipWithError("Tornel did not start");
        return;
    }

    std::vector<std::string> nodes;
    for (int p = 0; p < row.plcs; ++p)
        for (int t = 0; t < row.tagsPerPlc; ++t)
            nodes.push_back(plcName(p) + ".T" + std::to_string(t));
    const auto window = std::chrono::seconds(5);
    orva::opcua::test::bench::measureSubscriptionOf(state, server.pid(), static_cast<uint16_t>(uaPort), nodes,
                                                    row.rateMs, std::chrono::seconds(3), window);
    const double requestedPerSecond = static_cast<double>(nodes.size()) * 1000.0 / row.rateMs;
    state.counters["delivered_pct"] = 100.0 * state.counters["notifications_per_s"] / requestedPerSecond;

    server.signal(SIGTERM);
    server.waitForExit(std::chrono::seconds(20));
    for (auto& plcsim : plcsims)
        plcsim->signal(SIGTERM);
    plcsims.clear();
    std::error_code ignored;
    fs::remove_all(work, ignored);
}

// PLCs, tags per PLC, answer delay (ms), update rate (ms).
BENCHMARK(BM_PlantPolling)
    ->ArgNames({"plcs", "tags", "delay_ms", "rate_ms"})
    ->Args({1, 1000, 0, 100})
    ->Args({1, 10000, 0, 100})
    ->Args({10, 100, 10, 100})
    ->Args({10, 1000, 10, 100})
    ->Args({10, 1000, 30, 500})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
