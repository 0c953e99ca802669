// The server's CPU time per cyclic block read with 10 PLCs and 10,000 subscribed tags (1,000 per
// PLC, each in a 4-byte slot of DB1, types cycling VT_I2, VT_R4, VT_BOOL, VT_UI4, all in one
// client group of 100 ms). One benchmark iteration is one iteration of the communication thread,
// which reads exactly one due block; the CPU time column is the time per block, the counter
// "per_tag" the time per covered tag.
//   InMemory: the access library is replaced by one that copies from memory, so only the
//             server's own work counts (scheduling, conversion, cache stores, data changes).
//   Plcsim:   the real TCP/IP access library against 10 PLC simulators on loopback; the CPU time
//             of the communication thread includes the library's socket work.

#include <benchmark/benchmark.h>

#include <unistd.h>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/CommunicationThread.h"
#include "core/ConfigLoader.h"
#include "core/S7Creator.h"
#include "opc/SODaSEntry.h"
#include "opc/client/ServerConnection.h"
#include "plcsim/PlcSimulator.h"
#include "tcpip/TcpIpTransport.h"

using namespace orva::opc;

using namespace orva;

namespace {

constexpr int kPlcs = 10;
constexpr int kTagsPerPlc = 1000;
const char* const kTypes[] = {"VT_I2", "VT_R4", "VT_BOOL", "VT_UI4"};

class MemoryTransport final : public core::PlcTransport {
public:
    int open(core::PlcList&) override { return 0; }
    int selectPlc(uint16_t, uint16_t) override { return 0; }
    int readBytes(uint16_t, uint16_t count, uint16_t start, uint8_t* destination) override
    {
        std::memcpy(destination, memory_.data() + start, count);
        return 0;
    }
    int writeBytes(uint16_t, uint16_t, uint16_t, const uint8_t*) override { return 0; }
    void close() override {}
    bool isConnectionLevel(int code) const override { return code != 0 && code < 64; }
    std::string errorText(int) override { return {}; }

private:
    std::vector<uint8_t> memory_ = std::vector<uint8_t>(65536 + 256, 0x11);
};

class Quiet final : public core::OwnerWindow {
public:
    void showWarning(std::string_view, std::string_view) override {}
};

std::string configuration(const std::vector<std::string>& endpoints)
{
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><ORVATcpIpS7Cfg><OPC_DA><INTERFACE name=\"x\">";
    for (int p = 0; p < kPlcs; ++p) {
        xml += "<PLC name=\"P" + std::to_string(p) + "\" address=\"" +
               endpoints[static_cast<std::size_t>(p)] + "\"><tags>";
        for (int t = 0; t < kTagsPerPlc; ++t) {
            const std::string type = kTypes[t % 4];
            xml += "<tag><name>T" + std::to_string(t) + "</name><databyte>" + std::to_string(4 * t) +
                   "</databyte><datatype>" + type + "</datatype><datablock>1</datablock><accessrights>READ" +
                   "</accessrights>" + (type == "VT_BOOL" ? "<databit>3</databit>" : "") + "</tag>";
        }
        xml += "</tags></PLC>";
    }
    return xml + "</INTERFACE></OPC_DA></ORVATcpIpS7Cfg>";
}

// A Tornel server with every tag subscribed, its communication thread driven by the caller.
struct BenchServer {
    BenchServer(const std::vector<std::string>& endpoints, std::unique_ptr<core::PlcTransport> library)
        : entry(new SODaSEntry), root(entry->getNameSpaceRoot()), transport(std::move(library))
    {
        core::configureNameSpaceRoot(*root);
        entry->setCreator(SOCmnPointer<SODaSCreator>(new core::S7Creator(queues)).get());
        const core::LoadContext context{config::ServerKind::Tornel, plcs, queues, owner, nullptr};
        core::loadConfigurationFromMemory(context, configuration(endpoints), *root);
        entry->start();
        client = orva::opc::client::ServerConnection::connect(*entry);
        thread = std::make_unique<core::CommunicationThread>(
            plcs, queues, *transport, sink, core::commSettingsFor(config::ServerKind::Tornel), &ticks);
        group = client->addGroup("all", 100);
        for (int p = 0; p < kPlcs; ++p)
            for (int t = 0; t < kTagsPerPlc; ++t)
                group->addItem("P" + std::to_string(p) + ".T" + std::to_string(t));
        thread->begin();
        thread->iterate();  // applies the 10,000 subscriptions
        for (std::size_t i = 0; i < plcs.size(); ++i)
            blocks += plcs.at(i)->blocks.size();
    }
    ~BenchServer()
    {
        group.reset();
        client.reset();
        thread->end();
        thread.reset();
        entry->terminate();
        plcs.clear();
    }

    SOCmnPointer<SODaSEntry> entry;
    SOCmnPointer<SODaSNameSpaceRoot> root;
    core::PlcList plcs;
    std::shared_ptr<core::CoreQueues> queues = std::make_shared<core::CoreQueues>();
    Quiet owner;
    core::NullStatusSink sink;
    core::ManualTickSource ticks{1};
    std::unique_ptr<core::PlcTransport> transport;
    std::unique_ptr<core::CommunicationThread> thread;
    std::unique_ptr<orva::opc::client::ServerConnection> client;
    std::shared_ptr<orva::opc::client::Group> group;
    std::size_t blocks = 0;
};

void poll(benchmark::State& state, BenchServer& server)
{
    for (auto _ : state) {
        server.ticks.advance(101);  // every block is due
        server.thread->iterate();
    }
    const double tagsPerBlock = static_cast<double>(kPlcs * kTagsPerPlc) / static_cast<double>(server.blocks);
    state.counters["blocks"] = static_cast<double>(server.blocks);
    state.counters["tags_per_block"] = tagsPerBlock;
    state.counters["per_tag"] = benchmark::Counter(static_cast<double>(state.iterations()) * tagsPerBlock,
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(state.iterations());
}

void BM_PollingInMemory(benchmark::State& state)
{
    BenchServer server(std::vector<std::string>(kPlcs, "127.0.0.1"), std::make_unique<MemoryTransport>());
    poll(state, server);
}

void BM_PollingPlcsim(benchmark::State& state)
{
    std::vector<std::unique_ptr<orva::plcsim::PlcSimulator>> sims;
    std::vector<std::string> endpoints;
    for (int p = 0; p < kPlcs; ++p) {
        orva::plcsim::SimulatorOptions options;
        options.dataBlocks = {{1, 4096}};
        sims.push_back(std::make_unique<orva::plcsim::PlcSimulator>(options));
        if (!sims.back()->start()) {
            state.SkipWithError("the simulator cannot listen");
            return;
        }
        endpoints.push_back(sims.back()->endpoint());
    }
    const auto dataFile =
        (std::filesystem::temp_directory_path() / ("orva-comm-bench-" + std::to_string(::getpid()) + ".dat"))
            .string();
    {
        BenchServer server(endpoints,
                           std::make_unique<tcpip::TcpIpTransport>(tcpip::makeTcpIpLibrary(), dataFile));
        poll(state, server);
    }
    std::error_code ignored;
    std::filesystem::remove(dataFile, ignored);
}

}  // namespace

BENCHMARK(BM_PollingInMemory)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PollingPlcsim)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
