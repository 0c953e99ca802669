#pragma once
// A server's MQTT edge-node settings, from the values "Mqtt..." of its registry key. Without
// "MqttBroker" the server publishes nothing.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "registry/Registry.h"

namespace orva::mqtt {

enum class PayloadFormat { Json, Sparkplug };

struct MqttSettings {
    std::string brokerUrl;  // as configured, for the log and the status window
    std::string host;
    std::uint16_t port = 1883;
    bool tls = false;
    PayloadFormat format = PayloadFormat::Json;
    std::string topicPrefix = "orva";
    std::string groupId = "ORVA";
    std::string clientId;
    std::uint32_t updateRateMs = 1000;
    std::string user;
    std::string password;  // read from MqttPasswordFile
    std::string caFile;
    bool writes = false;
};

struct BrokerAddress {
    std::string host;
    std::uint16_t port = 0;
    bool tls = false;
};

// "mqtt://host:port" or "mqtts://host:port" (port optional: 1883, 8883; IPv6 hosts in brackets).
std::optional<BrokerAddress> parseBrokerUrl(std::string_view url);

// Nothing when MqttBroker is absent or unusable; `problem` then says why (empty when simply
// absent). Other unusable values fall back to their defaults and are named in `problem` too.
std::optional<MqttSettings> readMqttSettings(const registry::Registry& registry, std::string_view keyPath,
                                             std::string_view serverName, std::string* problem = nullptr);

}  // namespace orva::mqtt
