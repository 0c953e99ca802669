// What the OPC UA throughput benchmarks share: a server process's CPU time, the count of the
// notifications in a Publish response, and the measurement itself (subscribe to every tag
// "Bench.T<n>", keep Publish requests outstanding, count what arrives).
#pragma once

#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "UaTestClient.h"
#include "opcua/AddressSpace.h"

namespace orva::opcua::test::bench {

// A server stack in a child process: runChild(fd) runs in the child, writes its OPC UA port and a
// line end to fd and serves until SIGTERM. The destructor stops and reaps the child.
struct ChildServer {
    pid_t pid = -1;
    uint16_t port = 0;

    template <class RunChild>
    bool start(RunChild runChild)
    {
        int out[2];
        if (pipe(out) != 0) return false;
        pid = fork();
        if (pid == 0) {
            close(out[0]);
            runChild(out[1]);
            _exit(0);
        }
        close(out[1]);
        std::string text;
        char buf[64];
        while (text.find('\n') == std::string::npos) {
            const ssize_t n = read(out[0], buf, sizeof buf);
            if (n <= 0) break;
            text.append(buf, static_cast<size_t>(n));
        }
        close(out[0]);
        port = static_cast<uint16_t>(std::atoi(text.c_str()));
        return port != 0;
    }

    ~ChildServer()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

// CPU seconds process pid has used so far (user + system, from /proc).
inline double processCpuSeconds(pid_t pid)
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

// Counts the notifications in a Publish response.
inline size_t countNotifications(const Response& resp)
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

// Subscribes to the nodes (string NodeIds of namespace 1) of the server at port (process pid) with
// a publishing and sampling interval of intervalMs, keeps four Publish requests outstanding, warms
// up for warmUp and then counts notifications for window per iteration. Reports notifications per
// second, the server's CPU time per notification and its share of one core.
inline void measureSubscriptionOf(benchmark::State& state, pid_t pid, uint16_t port,
                                  const std::vector<std::string>& nodeNames, uint32_t intervalMs,
                                  std::chrono::milliseconds warmUp, std::chrono::milliseconds window)
{
    TcpClient c;
    if (!c.connect(port) || !c.hello() || c.open() == 0) {
        state.SkipWithError("cannot connect");
        return;
    }
    const auto token = c.session();
    if (!token) {
        state.SkipWithError("no session");
        return;
    }
    const auto sub = c.call(
        makeRequest(787, *token, 1, [&](Writer& w) { writeCreateSubscription(w, intervalMs, 1000, 10); }));
    const uint32_t subscriptionId = sub ? sub->body().u32() : 0;
    std::vector<NodeId> nodes;
    nodes.reserve(nodeNames.size());
    for (const auto& name : nodeNames)
        nodes.push_back(NodeId::str(name));
    const auto items = c.call(makeRequest(751, *token, 2, [&](Writer& w) {
        writeCreateMonitoredItems(w, subscriptionId, nodes,
                                  {.timestamps = 0, .samplingIntervalMs = static_cast<double>(intervalMs)});
    }));
    if (!items || items->serviceResult != status::Good) {
        state.SkipWithError("CreateMonitoredItems failed");
        return;
    }
    const auto publish = [&] { return makeRequest(826, *token, 3, [](Writer& w) { w.emptyArray(); }); };
    for (int i = 0; i < 4; ++i)
        c.send(publish());
    const auto warmEnd = std::chrono::steady_clock::now() + warmUp;
    while (std::chrono::steady_clock::now() < warmEnd) {
        if (!c.receive()) break;
        c.send(publish());
    }
    size_t notifications = 0;
    double seconds = 0;
    double cpu = 0;
    for (auto _ : state) {
        const double cpu0 = processCpuSeconds(pid);
        const auto t0 = std::chrono::steady_clock::now();
        const auto end = t0 + window;
        while (std::chrono::steady_clock::now() < end) {
            const auto resp = c.receive();
            if (!resp) break;
            notifications += countNotifications(*resp);
            c.send(publish());
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        cpu += processCpuSeconds(pid) - cpu0;
    }
    state.counters["notifications_per_s"] = static_cast<double>(notifications) / seconds;
    state.counters["server_cpu_us_per_notification"] =
        notifications > 0 ? cpu * 1e6 / static_cast<double>(notifications) : 0;
    state.counters["server_cpu_share"] = cpu / seconds;
}

// The tags Bench.T0 .. Bench.T<tags-1> at 100 ms.
inline void measureSubscription(benchmark::State& state, pid_t pid, uint16_t port, size_t tags,
                                std::chrono::milliseconds warmUp, std::chrono::milliseconds window)
{
    std::vector<std::string> names;
    names.reserve(tags);
    for (size_t i = 0; i < tags; ++i)
        names.push_back("Bench.T" + std::to_string(i));
    measureSubscriptionOf(state, pid, port, names, 100, warmUp, window);
}

}  // namespace orva::opcua::test::bench
