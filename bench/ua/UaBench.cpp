// Throughput of the OPC UA front end.
//
// BM_SubscriptionThroughput starts ua-testserver with 10,000 tags that all change every 50 ms (so every
// publishing cycle carries all of them), subscribes to all of them at a publishing interval of 100 ms and
// keeps Publish requests outstanding for a few seconds. It reports notifications delivered per second and the
// server process's CPU time per notification (user + system, from /proc). The goal is 100,000 notifications
// per second on one core, i.e. at most 10 us of CPU per notification.
//
// BM_EncodeNotification measures the encoding of one data-change notification.

#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "SubscriptionBench.h"

using namespace orva::opcua;
using namespace orva::opcua::test;

namespace {

constexpr size_t kTags = 10000;

struct ServerProcess {
    pid_t pid = -1;
    uint16_t port = 0;

    bool start()
    {
        int out[2];
        if (pipe(out) != 0) return false;
        pid = fork();
        if (pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            execl(UA_TESTSERVER_PATH, "ua-testserver", "--port", "0", "--animate", "50", "--bench-tags",
                  std::to_string(kTags).c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        std::string text;
        char buf[256];
        for (int i = 0; i < 100 && text.find('\n') == std::string::npos; ++i) {
            const ssize_t n = read(out[0], buf, sizeof buf);
            if (n <= 0) break;
            text.append(buf, static_cast<size_t>(n));
        }
        close(out[0]);
        const auto colon = text.rfind(':');
        if (colon == std::string::npos) return false;
        port = static_cast<uint16_t>(std::stoi(text.substr(colon + 1)));
        return port != 0;
    }

    ~ServerProcess()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

void BM_SubscriptionThroughput(benchmark::State& state)
{
    ServerProcess server;
    if (!server.start()) {
        state.SkipWithError("ua-testserver did not start");
        return;
    }
    // Warm up for half a second, then measure.
    bench::measureSubscription(state, server.pid, server.port, kTags, std::chrono::milliseconds(500),
                               std::chrono::seconds(3));
}
BENCHMARK(BM_SubscriptionThroughput)->Iterations(1)->Unit(benchmark::kSecond);

void BM_EncodeNotification(benchmark::State& state)
{
    std::vector<uint8_t> out;
    out.reserve(1 << 20);
    const DataValue v = DataValue::ofValue(Variant::int32(123456), now(), now());
    for (auto _ : state) {
        out.clear();
        Writer w(out);
        for (int i = 0; i < 1000; ++i) {
            w.u32(static_cast<uint32_t>(i));
            w.dataValue(v);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 1000);
}
BENCHMARK(BM_EncodeNotification);

}  // namespace

BENCHMARK_MAIN();
