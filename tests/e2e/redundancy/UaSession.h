#pragma once
// An OPC UA session of a test client over opc.tcp (SecurityPolicy None, anonymous): synchronous
// reads and writes, and a watcher that keeps a subscription running in its own thread and holds
// the latest notification of every monitored node.

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "opcua/Client.h"

namespace orva::e2e {

class UaSession {
public:
    ~UaSession();
    // Connects to 127.0.0.1:port and activates an anonymous session.
    bool open(uint16_t port);
    // The attributes of the nodes; maxAge 0 asks for device values, a large one for cached values.
    // Empty when the server did not answer.
    std::vector<opcua::DataValue> read(const std::vector<std::pair<opcua::NodeId, uint32_t>>& nodes,
                                       double maxAgeMs);
    std::optional<opcua::DataValue> readValue(const opcua::NodeId& node, double maxAgeMs);
    // The result of writing the node's value; nullopt when the server did not answer.
    std::optional<opcua::StatusCode> write(const opcua::NodeId& node, const opcua::Variant& value);
    // The results of one Write call for several nodes' values; empty when the server did not answer.
    std::vector<opcua::StatusCode> write(const std::vector<std::pair<opcua::NodeId, opcua::Variant>>& values);

    opcua::TcpClient& client() { return client_; }
    const opcua::NodeId& token() const { return token_; }
    uint32_t nextHandle() { return ++handle_; }
    // One request and its response, or nullopt (no answer, a fault or a bad service result).
    std::optional<opcua::Response> call(uint32_t typeId, const std::function<void(opcua::Writer&)>& fields);

private:
    opcua::TcpClient client_;
    opcua::NodeId token_;
    uint32_t handle_ = 1000;
};

// A subscription on its own session, served by a thread that keeps publish requests outstanding.
class UaWatcher {
public:
    ~UaWatcher();
    // Opens the session, subscribes to the values of the nodes at the publishing interval and
    // starts the thread; false when any step fails.
    bool start(uint16_t port, const std::vector<opcua::NodeId>& nodes, double intervalMs);
    // The latest notified value of nodes[index]; nullopt before the first.
    std::optional<opcua::DataValue> latest(size_t index) const;
    // The number of notifications received for nodes[index].
    size_t notifications(size_t index) const;

private:
    void run();

    UaSession session_;
    uint32_t subscriptionId_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::map<size_t, opcua::DataValue> latest_;
    std::map<size_t, size_t> counts_;
};

}  // namespace orva::e2e
