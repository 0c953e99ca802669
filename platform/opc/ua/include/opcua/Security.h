#pragma once
// The endpoint's security settings: which security policies it offers, where its certificates
// live, who may log on and what anonymous clients may do.

#include <string>
#include <vector>

namespace orva::opcua {

// What a session's user may do: Read covers browse, read and subscribe; Write adds writes.
enum class Access { None, Read, Write };

struct SecuritySettings {
    // Names such as "None", "Basic256Sha256", "Aes128_Sha256_RsaOaep", "Aes256_Sha256_RsaPss".
    // Empty: the secure policies, plus None when the server listens on loopback only.
    std::vector<std::string> policies;
    // The certificate store; empty: no certificate, so only None can be offered.
    std::string pkiFolder;
    bool autoAcceptUntrusted = false;  // commissioning only; every certificate accepted is logged
    std::string usersFile;             // empty: no user names
    Access anonymousAccess = Access::Write;
};

// The policy names the settings offer on an address: an explicit list as it stands, else the
// secure policies (when a store exists) and None on loopback only.
std::vector<std::string> offeredPolicies(const SecuritySettings& settings, const std::string& address);
bool isLoopbackAddress(const std::string& address);

}  // namespace orva::opcua
