#pragma once
// Where a server's OPC UA endpoint listens: loopback and the server's own port unless the values
// "OpcUaAddress" and "OpcUaPort" of its registry key say otherwise.

#include <cstdint>
#include <string>
#include <string_view>

#include "process/ServerIdentity.h"
#include "registry/Registry.h"

namespace orva::process {

inline constexpr std::string_view kOpcUaAddressValueName = "OpcUaAddress";
inline constexpr std::string_view kOpcUaPortValueName = "OpcUaPort";
inline constexpr std::string_view kDefaultOpcUaAddress = "127.0.0.1";

struct OpcUaEndpoint {
    std::string address;
    std::uint16_t port = 0;
};

// A value that cannot be used is ignored; `problem` then says which and why, for the log.
OpcUaEndpoint readOpcUaEndpoint(const ServerIdentity& identity, const registry::Registry& registry,
                                std::string* problem = nullptr);

}  // namespace orva::process
