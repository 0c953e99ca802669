// ua-testserver: the OPC UA front end over the in-memory backend, for interop tests and manual
// checks. Prints "listening on <url>" once ready; ends on SIGINT/SIGTERM, or after
// --exit-when-idle when the last session has closed.
//
//   ua-testserver [--port N] [--address A] [--animate MS] [--bench-tags N] [--exit-when-idle]
//                 [--pki DIR] [--policies LIST] [--users FILE] [--anonymous none|read|write]
//                 [--auto-accept] [--token-lifetime-max MS]

#include <algorithm>
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
    orva::opcua::ServerOptions options;
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
        } else if (arg == "--pki" && hasValue) {
            options.security.pkiFolder = argv[++i];
        } else if (arg == "--policies" && hasValue) {
            options.security.policies.clear();
            std::string list = argv[++i];
            for (size_t at = 0; at <= list.size();) {
                const size_t comma = std::min(list.find(',', at), list.size());
                if (comma > at) options.security.policies.push_back(list.substr(at, comma - at));
                at = comma + 1;
            }
        } else if (arg == "--users" && hasValue) {
            options.security.usersFile = argv[++i];
        } else if (arg == "--anonymous" && hasValue) {
            const std::string a = argv[++i];
            options.security.anonymousAccess = a == "none"   ? orva::opcua::Access::None
                                               : a == "read" ? orva::opcua::Access::Read
                                                             : orva::opcua::Access::Write;
        } else if (arg == "--auto-accept") {
            options.security.autoAcceptUntrusted = true;
        } else if (arg == "--token-lifetime-max" && hasValue) {
            options.limits.maxTokenLifetime = static_cast<uint32_t>(std::atol(argv[++i]));
            options.limits.minTokenLifetime =
                std::min(options.limits.minTokenLifetime, options.limits.maxTokenLifetime);
        } else if (arg == "--exit-when-idle") {
            exitWhenIdle = true;
        } else {
            std::fprintf(stderr,
                         "usage: ua-testserver [--port N] [--address A] [--animate MS] [--bench-tags N] "
                         "[--exit-when-idle] [--pki DIR] [--policies LIST] [--users FILE] "
                         "[--anonymous none|read|write] [--auto-accept] [--token-lifetime-max MS]\n");
            return 2;
        }
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    options.log = [](const std::string& line) { std::fprintf(stderr, "ua-testserver: %s\n", line.c_str()); };
    orva::opcua::test::FakeBackend backend(benchTags);
    orva::opcua::Server server(backend, options);
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
