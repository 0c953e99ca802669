#include "EdgeNode.h"

namespace orva::process {

std::unique_ptr<EdgeNode> startEdgeNode(const ServerIdentity& identity, const registry::Registry& registry,
                                        opc::SODaSEntry&, LogSink& log)
{
    std::string broker;
    if (registry.readString(identity.registryKey, "MqttBroker", broker) == registry::Status::Ok)
        log.log(LogPriority::Warning, "MQTT: this build has no MQTT support; MqttBroker is ignored");
    return nullptr;
}

}  // namespace orva::process
