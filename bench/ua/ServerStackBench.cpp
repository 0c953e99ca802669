// Throughput of a whole server behind its OPC UA endpoint.
//
// BM_ServerStack10kItems runs, in a child process, the server as the runtime assembles it: the
// configuration loader with one PLC of 10,000 VT_I4 tags in DB1, the communication thread polling
// read blocks through an in-memory PLC whose every byte changes on every read, the toolkit with its
// data-change worker, the toolkit backend and the opc.tcp endpoint. The parent subscribes to all
// 10,000 tags with a publishing and sampling interval of 100 ms and keeps Publish requests
// outstanding. Reported: notifications delivered per second (the ideal is 100,000: every item
// changes every cycle), the server process's CPU time per notification and its share of one core.
// Only the S7 wire is left out (the simulator and library have benchmarks of their own). The
// communication thread reads one read block per iteration, so with one PLC its polling, not the
// front end, bounds this figure.
//
// BM_ToolkitFrontEnd10kItems leaves the communication thread out: 10,000 tags whose caches a thread
// of the child changes every 50 ms, so the figure is that of the toolkit, backend and endpoint.
//
// BM_ServerStackWrites sends Write requests of 100 values each (Int32 to Bench.T0 .. T99), one
// after the other, through the same stack with its communication thread, for a few seconds.
// Reported: values written per second and the server's CPU time per written value.

#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "SubscriptionBench.h"
#include "core/CommunicationThread.h"
#include "core/ConfigLoader.h"
#include "core/S7Creator.h"
#include "opc/SODaSEntry.h"
#include "opcua/Server.h"
#include "opcua/ToolkitBackend.h"

using namespace orva::opc;

using namespace orva::opcua;
using namespace orva::opcua::test;

namespace {

constexpr size_t kTags = 10000;

// A PLC in memory: every read returns bytes that differ from the previous read's.
class ChangingPlc final : public orva::core::PlcTransport {
public:
    int open(orva::core::PlcList&) override { return 0; }
    int selectPlc(uint16_t, uint16_t) override { return 0; }
    int readBytes(uint16_t, uint16_t count, uint16_t startByte, uint8_t* destination) override
    {
        const uint32_t turn = ++reads_;
        for (uint16_t i = 0; i < count; ++i)
            destination[i] = static_cast<uint8_t>((startByte + i) ^ turn);
        return 0;
    }
    int writeBytes(uint16_t, uint16_t, uint16_t, const uint8_t*) override { return 0; }
    void close() override {}
    bool isConnectionLevel(int code) const override { return code != 0 && code < 64; }
    std::string errorText(int code) override { return "error " + std::to_string(code); }

private:
    uint32_t reads_ = 0;
};

std::string configuration()
{
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<ORVATcpIpS7Cfg><OPC_DA><INTERFACE name=\"SAPIS7\">"
        "<PLC name=\"Bench\" address=\"127.0.0.1:1\" CPUSlot=\"2\" RackNr=\"0\"><tags>";
    for (size_t i = 0; i < kTags; ++i)
        xml += "<tag><name>T" + std::to_string(i) + "</name><databyte>" + std::to_string(4 * i) +
               "</databyte><datatype>VT_I4</datatype><datablock>1</datablock>"
               "<accessrights>READWRITE</accessrights></tag>";
    return xml + "</tags></PLC></INTERFACE></OPC_DA></ORVATcpIpS7Cfg>\n";
}

std::atomic<bool> stopServer{false};
void onTerm(int)
{
    stopServer = true;
}

// The child: the server stack until SIGTERM; writes its port to fd. Without the communication
// thread (withComm false) a thread of its own changes every tag's cache every 50 ms.
[[noreturn]] void runServer(int fd, bool withComm)
{
    signal(SIGTERM, onTerm);
    auto queues = std::make_shared<orva::core::CoreQueues>();
    SOCmnPointer<SODaSEntry> entry(new SODaSEntry);
    entry->setCreator(SOCmnPointer<SODaSCreator>(new orva::core::S7Creator(queues)).get());
    entry->setMinUpdateRate(50);
    orva::core::PlcList plcs;
    orva::core::StderrOwnerWindow owner;
    {
        auto root = entry->getNameSpaceRoot();
        orva::core::configureNameSpaceRoot(*root);
        const orva::core::LoadContext context{orva::config::ServerKind::Tornel, plcs, queues, owner, nullptr};
        orva::core::loadConfigurationFromMemory(context, configuration(), *root);
    }
    ChangingPlc plc;
    orva::core::NullStatusSink sink;
    orva::core::CommunicationThread comm(plcs, queues, plc, sink,
                                         orva::core::commSettingsFor(orva::config::ServerKind::Tornel));
    std::vector<SOCmnPointer<SODaSCache>> caches;
    if (withComm) {
        comm.start();
    } else {
        auto root = entry->getNameSpaceRoot();
        for (size_t i = 0; i < kTags; ++i)
            caches.push_back(root->findTag("Bench.T" + std::to_string(i))->getCache());
    }
    std::thread animator([&] {
        for (int32_t turn = 1; !withComm && !stopServer; ++turn) {
            SOCmnVariant v;
            for (auto& cache : caches) {
                v.setI4(turn);
                cache->set(v, OPC_QUALITY_GOOD);
            }
            usleep(50000);
        }
    });
    entry->start();
    {
        ToolkitBackend backend(*entry);
        ServerOptions options;
        options.port = 0;
        Server server(backend, options);
        const std::string line = server.start() ? std::to_string(server.port()) + "\n" : "0\n";
        [[maybe_unused]] const ssize_t n = write(fd, line.data(), line.size());
        close(fd);
        while (!stopServer)
            usleep(20000);
        server.stop();
    }
    animator.join();
    comm.stop();
    entry->terminate();
    plcs.clear();
    _exit(0);
}

void subscribeAndCount(benchmark::State& state, bool withComm)
{
    bench::ChildServer server;
    if (!server.start([withComm](int fd) { runServer(fd, withComm); })) {
        state.SkipWithError("server stack did not start");
        return;
    }
    // The communication thread settles the subscription changes first: warm up for two seconds.
    bench::measureSubscription(state, server.pid, server.port, kTags, std::chrono::seconds(2),
                               std::chrono::seconds(5));
}
void BM_ServerStack10kItems(benchmark::State& state)
{
    subscribeAndCount(state, true);
}
BENCHMARK(BM_ServerStack10kItems)->Iterations(1)->Unit(benchmark::kSecond);

void BM_ToolkitFrontEnd10kItems(benchmark::State& state)
{
    subscribeAndCount(state, false);
}
BENCHMARK(BM_ToolkitFrontEnd10kItems)->Iterations(1)->Unit(benchmark::kSecond);

void BM_ServerStackWrites(benchmark::State& state)
{
    constexpr uint32_t kValuesPerRequest = 100;
    bench::ChildServer server;
    TcpClient c;
    if (!server.start([](int fd) { runServer(fd, true); }) || !c.connect(server.port) || !c.hello() ||
        c.open() == 0) {
        state.SkipWithError("server stack did not start");
        return;
    }
    const auto token = c.session();
    if (!token) {
        state.SkipWithError("no session");
        return;
    }
    uint32_t handle = 1;
    const auto writeRequest = [&](int32_t value) {
        return makeRequest(673, *token, ++handle, [&](Writer& w) {
            w.arrayLength(kValuesPerRequest);
            for (uint32_t i = 0; i < kValuesPerRequest; ++i) {
                w.nodeId(NodeId::str("Bench.T" + std::to_string(i)));
                w.u32(13);  // Value
                w.nullString();
                w.dataValue(DataValue::ofValue(Variant::int32(value)));
            }
        });
    };
    size_t written = 0;
    size_t failed = 0;
    double seconds = 0;
    double cpu = 0;
    for (auto _ : state) {
        const double cpu0 = bench::processCpuSeconds(server.pid);
        const auto t0 = std::chrono::steady_clock::now();
        for (int32_t turn = 0; std::chrono::steady_clock::now() < t0 + std::chrono::seconds(3); ++turn) {
            const auto resp = c.call(writeRequest(turn));
            if (!resp || resp->serviceResult != status::Good) {
                state.SkipWithError("Write failed");
                return;
            }
            Reader r = resp->body();
            const auto results = r.array<StatusCode>([](Reader& x) { return x.statusCode(); });
            for (const StatusCode s : results)
                (isGood(s) ? written : failed) += 1;
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        cpu += bench::processCpuSeconds(server.pid) - cpu0;
    }
    if (failed > 0) state.SkipWithError("writes failed");
    state.counters["values_written_per_s"] = static_cast<double>(written) / seconds;
    state.counters["server_cpu_us_per_value"] = written > 0 ? cpu * 1e6 / static_cast<double>(written) : 0;
}
BENCHMARK(BM_ServerStackWrites)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
