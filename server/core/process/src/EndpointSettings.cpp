#include "process/EndpointSettings.h"

#include <charconv>

namespace orva::process {

OpcUaEndpoint readOpcUaEndpoint(const ServerIdentity& identity, const registry::Registry& registry,
                                std::string* problem)
{
    OpcUaEndpoint endpoint{std::string(kDefaultOpcUaAddress), identity.defaultOpcUaPort};
    std::string problems;

    std::string address;
    if (registry.readString(identity.registryKey, kOpcUaAddressValueName, address) == registry::Status::Ok) {
        if (address.empty())
            problems += "OpcUaAddress is empty; ";
        else
            endpoint.address = address;
    }

    std::string portText;
    if (registry.readString(identity.registryKey, kOpcUaPortValueName, portText) == registry::Status::Ok) {
        unsigned port = 0;
        const char* end = portText.data() + portText.size();
        const auto [last, error] = std::from_chars(portText.data(), end, port);
        if (error == std::errc() && last == end && port >= 1 && port <= 65535)
            endpoint.port = static_cast<std::uint16_t>(port);
        else
            problems += "OpcUaPort \"" + portText + "\" is not a port number (1 to 65535); ";
    }

    if (problem != nullptr) {
        if (!problems.empty()) problems += "using " + endpoint.address + ":" + std::to_string(endpoint.port);
        *problem = problems;
    }
    return endpoint;
}

}  // namespace orva::process
