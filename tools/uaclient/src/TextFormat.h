#pragma once
// Text forms of node ids, values and status codes for the command line.

#include <optional>
#include <string>

#include "opcua/Types.h"

namespace orva::uaclient {

// "i=85", "ns=0;i=2258", "ns=1;s=Line1.Drives.Speed"; any other text is an item ID in namespace 1.
opcua::NodeId parseNodeId(const std::string& text);

struct Endpoint {
    std::string host;
    uint16_t port = 4840;
};
// "opc.tcp://host:port[/path]"; only loopback hosts are accepted.
std::optional<Endpoint> parseEndpoint(const std::string& url, std::string& error);

std::string formatValue(const opcua::Variant& v);
std::string formatStatus(opcua::StatusCode s);
std::string formatTime(opcua::DateTime t);

// Converts text to a value of the given built-in type; arrays take comma-separated elements.
std::optional<opcua::Variant> parseValue(const std::string& text, opcua::BuiltinType type, bool isArray);

}  // namespace orva::uaclient
