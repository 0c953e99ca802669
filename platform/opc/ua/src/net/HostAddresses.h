#pragma once
// The addresses a server listening on a wildcard address (0.0.0.0 or ::) is reached at, for the
// alternative names of its certificate: clients check the host they connected to against them.

#include <string>
#include <vector>

namespace orva::opcua {

// The numeric addresses of the host's interfaces that are up, loopback first: IPv4 for
// "0.0.0.0", IPv4 and IPv6 for "::" (a dual-stack socket takes both). Any other listening
// address is returned as it stands.
std::vector<std::string> certificateAddresses(const std::string& listeningAddress);

}  // namespace orva::opcua
