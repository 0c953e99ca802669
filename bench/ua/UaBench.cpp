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
#include <fstream>
#include <sstream>
#include <string>

#include "UaTestClient.h"
#include "opcua/AddressSpace.h"

using namespace opcua;
using namespace opcua::test;

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

    // CPU seconds used so far (user + system).
    double cpuSeconds() const
    {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string content((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const auto close = content.rfind(')');
        if (close == std::string::npos) return 0;
        std::istringstream fields(content.substr(close + 2));
        std::string field;
        unsigned long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14) utime = std::stoul(field);
            if (i == 15) stime = std::stoul(field);
        }
        return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }

    ~ServerProcess()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

// Counts the notifications in a Publish response.
size_t countNotifications(const Response& resp)
{
    Reader r = resp.body();
    r.u32();
    r.array<uint32_t>([](Reader& x) { return x.u32(); });
    r.boolean();
    r.u32();
    r.dateTime();
    size_t total = 0;
    const size_t n = r.arrayLength();
    for (size_t i = 0; i < n; ++i) {
        const ExtensionObject e = r.extensionObject();
        if (e.body.size() >= 4)
            total += static_cast<uint8_t>(e.body[0]) | (static_cast<uint8_t>(e.body[1]) << 8) |
                     (static_cast<uint8_t>(e.body[2]) << 16);
    }
    return total;
}

void BM_SubscriptionThroughput(benchmark::State& state)
{
    ServerProcess server;
    if (!server.start()) {
        state.SkipWithError("ua-testserver did not start");
        return;
    }
    TcpClient c;
    if (!c.connect(server.port) || !c.hello() || c.open() == 0) {
        state.SkipWithError("cannot connect");
        return;
    }
    const auto token = c.session();
    if (!token) {
        state.SkipWithError("no session");
        return;
    }
    const auto sub = c.call(makeRequest(787, *token, 1, [](Writer& w) {
        w.f64(100);
        w.u32(1000);
        w.u32(10);
        w.u32(0);
        w.boolean(true);
        w.u8(0);
    }));
    const uint32_t subscriptionId = sub ? sub->body().u32() : 0;
    const auto items = c.call(makeRequest(751, *token, 2, [&](Writer& w) {
        w.u32(subscriptionId);
        w.i32(0);
        w.arrayLength(kTags);
        for (size_t i = 0; i < kTags; ++i) {
            w.nodeId(NodeId::str("Bench.T" + std::to_string(i)));
            w.u32(attr::Value);
            w.nullString();
            w.qualifiedName({});
            w.i32(2);
            w.u32(static_cast<uint32_t>(i));
            w.f64(100);
            w.extensionObject({});
            w.u32(1);
            w.boolean(true);
        }
    }));
    if (!items || items->serviceResult != status::Good) {
        state.SkipWithError("CreateMonitoredItems failed");
        return;
    }
    const auto publish = [&] { return makeRequest(826, *token, 3, [](Writer& w) { w.emptyArray(); }); };
    for (int i = 0; i < 4; ++i)
        c.send(publish());
    // Warm up for half a second, then measure.
    const auto warmEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (std::chrono::steady_clock::now() < warmEnd) {
        if (!c.receive()) break;
        c.send(publish());
    }
    size_t notifications = 0;
    double seconds = 0;
    double cpu = 0;
    for (auto _ : state) {
        const double cpu0 = server.cpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        const auto end = t0 + std::chrono::seconds(3);
        while (std::chrono::steady_clock::now() < end) {
            const auto resp = c.receive();
            if (!resp) break;
            notifications += countNotifications(*resp);
            c.send(publish());
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        cpu += server.cpuSeconds() - cpu0;
    }
    state.counters["notifications_per_s"] = static_cast<double>(notifications) / seconds;
    state.counters["server_cpu_us_per_notification"] =
        notifications > 0 ? cpu * 1e6 / static_cast<double>(notifications) : 0;
    state.counters["server_cpu_share"] = cpu / seconds;
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
