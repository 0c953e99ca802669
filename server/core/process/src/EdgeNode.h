#pragma once
// The server as an MQTT edge node beside its OPC UA endpoint, when its registry key names a
// broker (see platform/mqtt).

#include <memory>
#include <string>

#include "opc/SODaSEntry.h"
#include "process/LogSink.h"
#include "process/ServerIdentity.h"
#include "registry/Registry.h"

namespace orva::process {

class EdgeNode {
public:
    virtual ~EdgeNode() = default;
    // The broker link in one line, for the status window; any thread.
    virtual std::string linkState() const = 0;
    // Says goodbye to the broker and leaves the toolkit; before the clients are asked to go.
    virtual void stop() = 0;
};

// Null when no broker is configured (or the process was built without MQTT); the entry runs.
std::unique_ptr<EdgeNode> startEdgeNode(const ServerIdentity& identity, const registry::Registry& registry,
                                        opc::SODaSEntry& entry, LogSink& log);

}  // namespace orva::process
