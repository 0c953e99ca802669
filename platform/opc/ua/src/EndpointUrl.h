#pragma once
// The endpoint URL a client is told: the server's own URL with the host the client used, so that a
// client that connected to "localhost" or the machine's name finds its endpoint among those offered.

#include <string>
#include <string_view>

namespace orva::opcua {

// own: "opc.tcp://HOST:PORT[/path]"; requested: the URL from the client's Hello or request. The
// requested host replaces own's host when it is a plain host name, IPv4 or bracketed IPv6 address;
// anything else (another scheme, no host, odd characters) leaves own as it is. The port and path
// always stay the server's own.
std::string endpointUrlFor(std::string_view own, std::string_view requested);

}  // namespace orva::opcua
