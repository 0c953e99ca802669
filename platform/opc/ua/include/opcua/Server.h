#pragma once
// The opc.tcp endpoint: listens on one address and port, runs every connection on one network
// thread with a poll() loop (no client waits on another), and hands complete requests to the
// service engine. SecurityPolicy None, anonymous sessions.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "opcua/Backend.h"
#include "opcua/Engine.h"
#include "opcua/Limits.h"
#include "opcua/Security.h"

namespace orva::opcua {

struct ServerOptions {
    std::string address = "127.0.0.1";  // never beyond loopback unless told to
    uint16_t port = 4840;               // 0: an ephemeral port, see Server::port()
    ServerInfo info;                    // info.endpointUrl is filled in from address and port when empty
    ServerLimits limits;
    SecuritySettings security;
    // The endpoint's log lines: security events (refused channels, accepted certificates, failed
    // logons) and refused clients. Called on the network thread; stderr when empty.
    std::function<void(const std::string&)> log;
};

class Server {
public:
    Server(Backend& backend, ServerOptions options);
    ~Server();  // stops
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and starts the network thread. On failure returns false and error() says why.
    bool start();
    // Closes every session and connection and joins the network thread. Never call it from the
    // last-session hook (it runs on the network thread).
    void stop();

    uint16_t port() const;
    std::string endpointUrl() const;
    const std::string& error() const;
    size_t sessionCount() const;

    // Asks the clients to go: the server state becomes Shutdown with the reason (clients see it in
    // Server.ServerStatus), new sessions are refused, and after the grace time every session ends
    // and every connection is closed. Callable from any thread.
    void requestShutdown(const std::string& reason,
                         std::chrono::milliseconds grace = std::chrono::seconds(1));
    // True once a requested shutdown has closed every session and connection.
    bool shutdownComplete() const;

    // Reports an event through the Server object (see Engine::reportEvent). Callable from any thread
    // and never waits for the network thread; dropped while the server is not running.
    void reportEvent(Event event);

    // Called on the network thread each time the last open session has closed (for a process that
    // was started for its clients and ends when they are gone). Set before start().
    void setLastSessionClosedHook(std::function<void()> hook);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orva::opcua
