// ua-testserver: the OPC UA front end over the in-memory backend, for interop tests and manual
// checks. Prints "listening on <url>" once ready; ends on SIGINT/SIGTERM, or after
// --exit-when-idle when the last session has closed.
//
//   ua-testserver [--port N] [--address A] [--animate MS] [--bench-tags N] [--exit-when-idle]

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "FakeBackend.h"
#include "opcua/Server.h"

namespace {
volatile std::sig_atomic_t stopSignal = 0;
void onSignal(int)
{
    stopSignal = 1;
}
}  // namespace

int main(int argc, char** argv)
{
    opcua::ServerOptions options;
    options.port = 0;
    int animateMs = 100;
    size_t benchTags = 0;
    bool exitWhenIdle = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--port" && hasValue) {
            options.port = static_cast<uint16_t>(std::atoi(argv[++i]));
        } else if (arg == "--address" && hasValue) {
            options.address = argv[++i];
        } else if (arg == "--animate" && hasValue) {
            animateMs = std::atoi(argv[++i]);
        } else if (arg == "--bench-tags" && hasValue) {
            benchTags = static_cast<size_t>(std::atol(argv[++i]));
        } else if (arg == "--exit-when-idle") {
            exitWhenIdle = true;
        } else {
            std::fprintf(stderr,
                         "usage: ua-testserver [--port N] [--address A] [--animate MS] [--bench-tags N] "
                         "[--exit-when-idle]\n");
            return 2;
        }
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    opcua::test::FakeBackend backend(benchTags);
    opcua::Server server(backend, options);
    server.setLastSessionClosedHook([&] {
        if (exitWhenIdle) stopSignal = 1;
    });
    if (!server.start()) {
        std::fprintf(stderr, "ua-testserver: %s\n", server.error().c_str());
        return 1;
    }
    std::printf("listening on %s\n", server.endpointUrl().c_str());
    std::fflush(stdout);
    auto next = std::chrono::steady_clock::now();
    while (!stopSignal) {
        next += std::chrono::milliseconds(std::max(animateMs, 10));
        std::this_thread::sleep_until(next);
        if (animateMs > 0) backend.animate();
    }
    server.requestShutdown("Server shutdown", std::chrono::milliseconds(200));
    for (int i = 0; i < 100 && !server.shutdownComplete(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    server.stop();
    return 0;
}
