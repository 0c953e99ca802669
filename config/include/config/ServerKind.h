#pragma once
// The four server kinds and the root element of each kind's configuration file.

#include <optional>
#include <string_view>

namespace orva::config {

enum class ServerKind { Tornel, Vardel, Lorvik, Pennat };

inline constexpr ServerKind allServerKinds[] = {ServerKind::Tornel, ServerKind::Vardel, ServerKind::Lorvik,
                                                ServerKind::Pennat};

// "Tornel", "Vardel", "Lorvik", "Pennat": the server's name, registry key and default file name.
std::string_view serverKindName(ServerKind kind);
std::optional<ServerKind> serverKindFromName(std::string_view name);  // exact comparison

// ORVATcpIpS7Cfg, ORVAS7Cfg, ORVAMpiECfg, ORVAMPICfg.
std::string_view rootElementName(ServerKind kind);
std::optional<ServerKind> serverKindFromRootElement(std::string_view element);  // exact
std::optional<ServerKind> serverKindFromRootElementNoCase(std::string_view element);

// Which PLC fields a kind's file carries.
constexpr bool hasInterfaceElement(ServerKind k) { return k == ServerKind::Tornel || k == ServerKind::Vardel; }
constexpr bool hasPlcAddress(ServerKind k) { return k != ServerKind::Vardel; }
constexpr bool hasNumericPlcAddress(ServerKind k) { return k == ServerKind::Lorvik || k == ServerKind::Pennat; }
constexpr bool hasRack(ServerKind k) { return k == ServerKind::Tornel; }
constexpr bool hasRedundancy(ServerKind k) { return k == ServerKind::Tornel; }
constexpr bool hasSerialSettings(ServerKind k) { return k == ServerKind::Lorvik; }

}  // namespace orva::config
