// Server CPU per published value: 10,000 tags whose values all change once a second, published
// as JSON to Debian's mosquitto (started on a loopback port of its own) against the same tags
// served over OPC UA to one subscription, in one run.
//
// Each benchmark runs the server stack in a child process: the toolkit with 10,000 VT_I4 tags
// "Bench.T<n>" below the PLC branch "Bench", a thread that changes every tag's cache once a second
// (the communication thread is left out: it is the same for both and has benchmarks of its own),
// the OPC UA endpoint, and for the MQTT run the publisher at MqttUpdateRate 1000 ms. The parent
// counts what arrives (notifications; values in the JSON messages) and reads the child's CPU time
// from /proc. Reported: values per second, the server's CPU microseconds per value and, for MQTT,
// its ratio to the OPC UA figure of the same run (goal: at most 2).

#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "MqttTestSupport.h"
#include "SubscriptionBench.h"
#include "mqtt/Publisher.h"
#include "opc/SODaSCreator.h"
#include "opc/SODaSEntry.h"
#include "opc/SODaSTag.h"
#include "opcua/Server.h"
#include "opcua/ToolkitBackend.h"

using namespace orva::opc;

namespace {

using namespace std::chrono_literals;

constexpr size_t kTags = 10000;
std::atomic<bool> stopServer{false};
double opcUaMicrosecondsPerValue = 0;  // of this run, for the MQTT figure's ratio

void onTerm(int)
{
    stopServer = true;
}

// The child: the stack until SIGTERM; writes its OPC UA port to fd. With a broker port it also
// publishes over MQTT.
[[noreturn]] void runServer(int fd, int brokerPort)
{
    signal(SIGTERM, onTerm);
    SOCmnPointer<SODaSEntry> entry(new SODaSEntry);
    entry->setCreator(SOCmnPointer<SODaSCreator>(new SODaSCreator).get());
    entry->setMinUpdateRate(50);
    std::vector<SOCmnPointer<SODaSCache>> caches;
    {
        auto root = entry->getNameSpaceRoot();
        SOCmnPointer<SODaSNode> plc(new SODaSNodeDefault("Bench"));
        root->addBranch(plc.get());
        for (size_t i = 0; i < kTags; ++i) {
            SOCmnPointer<SODaSTag> tag(new SODaSTag);
            tag->setName("T" + std::to_string(i));
            tag->setNativeDatatype(orva::VT_I4);
            tag->setAccessRights(3);
            plc->addLeaf(tag.get());
            caches.push_back(tag->getCache());
        }
    }
    std::thread animator([&] {
        for (int32_t turn = 1; !stopServer; ++turn) {
            SOCmnVariant v;
            for (auto& cache : caches) {
                v.setI4(turn);
                cache->set(v, OPC_QUALITY_GOOD);
            }
            for (int i = 0; i < 50 && !stopServer; ++i)
                usleep(20000);
        }
    });
    entry->start();
    {
        orva::opcua::ToolkitBackend backend(*entry);
        orva::opcua::ServerOptions options;
        options.port = 0;
        orva::opcua::Server server(backend, options);
        std::unique_ptr<orva::mqtt::Publisher> publisher;
        if (brokerPort != 0) {
            orva::mqtt::MqttSettings settings;
            settings.brokerUrl = "mqtt://127.0.0.1:" + std::to_string(brokerPort);
            settings.host = "127.0.0.1";
            settings.port = static_cast<uint16_t>(brokerPort);
            settings.clientId = "orva-bench-" + std::to_string(getpid());
            publisher = std::make_unique<orva::mqtt::Publisher>(
                *entry, settings, "Bench", [](orva::mqtt::Publisher::LogLevel, const std::string&) {});
            publisher->start();
        }
        const std::string line = server.start() ? std::to_string(server.port()) + "\n" : "0\n";
        [[maybe_unused]] const ssize_t n = write(fd, line.data(), line.size());
        close(fd);
        while (!stopServer)
            usleep(20000);
        if (publisher) publisher->stop();
        server.stop();
    }
    animator.join();
    entry->terminate();
    _exit(0);
}

void BM_OpcUa10kTagsEverySecond(benchmark::State& state)
{
    orva::opcua::test::bench::ChildServer server;
    if (!server.start([](int fd) { runServer(fd, 0); })) {
        state.SkipWithError("server stack did not start");
        return;
    }
    orva::opcua::test::bench::measureSubscription(state, server.pid, server.port, kTags, 3s, 20s);
    opcUaMicrosecondsPerValue = state.counters["server_cpu_us_per_notification"];
}
BENCHMARK(BM_OpcUa10kTagsEverySecond)->Iterations(1)->Unit(benchmark::kSecond);

void BM_MqttJson10kTagsEverySecond(benchmark::State& state)
{
    orva::mqtt::test::Broker broker;
    if (!broker.ready()) {
        state.SkipWithError("mosquitto did not start");
        return;
    }
    orva::mqtt::test::Subscriber subscriber(broker.port(), {"orva/Bench/Bench"});
    std::atomic<size_t> values{0};
    subscriber.setOnMessage([&](const orva::mqtt::test::Subscriber::Message& m) {
        size_t count = 0;
        for (size_t at = m.payload.find("\"T"); at != std::string::npos; at = m.payload.find("\"T", at + 2))
            ++count;
        values += count;
    });
    if (!orva::mqtt::test::eventually([&] { return subscriber.ready(); })) {
        state.SkipWithError("subscriber did not connect");
        return;
    }
    orva::opcua::test::bench::ChildServer server;
    if (!server.start([port = broker.port()](int fd) { runServer(fd, port); })) {
        state.SkipWithError("server stack did not start");
        return;
    }
    std::this_thread::sleep_for(3s);  // the group's first turns and the broker session settle
    double seconds = 0;
    double cpu = 0;
    size_t counted = 0;
    for (auto _ : state) {
        const size_t values0 = values;
        const double cpu0 = orva::opcua::test::bench::processCpuSeconds(server.pid);
        const auto t0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(20s);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        cpu += orva::opcua::test::bench::processCpuSeconds(server.pid) - cpu0;
        counted += values - values0;
    }
    state.counters["values_per_s"] = static_cast<double>(counted) / seconds;
    const double perValue = counted > 0 ? cpu * 1e6 / static_cast<double>(counted) : 0;
    state.counters["server_cpu_us_per_value"] = perValue;
    state.counters["server_cpu_share"] = cpu / seconds;
    if (opcUaMicrosecondsPerValue > 0)
        state.counters["ratio_to_opcua"] = perValue / opcUaMicrosecondsPerValue;
}
BENCHMARK(BM_MqttJson10kTagsEverySecond)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
