#pragma once
// The connection database of the SAPI-S7 library, kept in the machine-wide registry:
//
//   key   SOFTWARE\ORVAAutomation\SapiS7\<interface name>
//   value "Device"      the interface's device name (default "ISO-on-TCP")
//   value <connection>  "ADDRESS[:PORT] [rack=R] [slot=S] [source=IP]", one per connection
//
// PORT defaults to 102, rack to 0, slot to 2; source binds the local end of the connection.
#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/Registry.h"

namespace orva::sapis7 {

inline constexpr std::string_view kDatabaseKeyPrefix = "SOFTWARE\\ORVAAutomation\\SapiS7\\";
inline constexpr std::string_view kDeviceValueName = "Device";
inline constexpr std::string_view kDefaultDeviceName = "ISO-on-TCP";

struct ConnectionTarget {
    sockaddr_in remote{};
    std::optional<sockaddr_in> source;
    uint8_t rack = 0;
    uint8_t slot = 2;
};

struct ConnectionEntry {
    std::string name;
    std::string text;  // the value as stored
    std::optional<ConnectionTarget> target;
    int error = 0;        // why target is missing: 6 bad address, 7 bad source
    std::string problem;  // ... in words
};

// Parses one connection value; on failure error and problem say what is wrong.
ConnectionEntry parseConnectionEntry(std::string_view name, std::string_view text);

struct InterfaceDatabase {
    std::string device;
    std::vector<ConnectionEntry> connections;  // in the key's value order
};

enum class DatabaseStatus { Ok, NoInterface, Unreadable };

// Reads the interface's key. NoInterface for a missing key and for names that cannot be a key
// (empty, or holding a backslash); Unreadable for a key that exists but cannot be read.
DatabaseStatus readInterface(const orva::registry::Registry& registry, std::string_view interfaceName,
                             InterfaceDatabase& out, std::string* detail = nullptr);

}  // namespace orva::sapis7
