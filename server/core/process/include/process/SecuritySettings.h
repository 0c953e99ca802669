#pragma once
// How a server's OPC UA endpoint is secured, from the values of its registry key:
// "SecurityPolicies" (a list such as "Basic256Sha256,Aes256_Sha256_RsaPss"; without it the
// secure policies, plus None on loopback only), "PkiFolder" (its certificates, default
// /etc/orva/pki/<Server>), "UsersFile" (default /etc/orva/users; both below ORVA_CONFIG_DIR when set),
// "AnonymousAccess" (none, read or write; default read) and "AutoAcceptUntrusted" (1 to accept unknown client
// certificates while commissioning; default off).

#include <string>
#include <string_view>

#include "opcua/Security.h"
#include "process/ServerIdentity.h"
#include "registry/Registry.h"

namespace orva::process {

inline constexpr std::string_view kSecurityPoliciesValueName = "SecurityPolicies";
inline constexpr std::string_view kPkiFolderValueName = "PkiFolder";
inline constexpr std::string_view kUsersFileValueName = "UsersFile";
inline constexpr std::string_view kAnonymousAccessValueName = "AnonymousAccess";
inline constexpr std::string_view kAutoAcceptUntrustedValueName = "AutoAcceptUntrusted";

// A value that cannot be used is replaced by its safe default; `problem` then says which and why.
opcua::SecuritySettings readSecuritySettings(const ServerIdentity& identity,
                                             const registry::Registry& registry,
                                             std::string* problem = nullptr);

// The application URI of a server on this host: urn:<host>:ORVA:<Server>.
std::string applicationUri(const ServerIdentity& identity);

}  // namespace orva::process
