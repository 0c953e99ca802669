#include "process/SecuritySettings.h"

#include "process/SystemFolders.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>

namespace orva::process {

namespace {
std::string trimmed(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return std::string(text);
}

constexpr std::string_view kKnownPolicies[] = {"None", "Basic256Sha256", "Aes128_Sha256_RsaOaep",
                                               "Aes256_Sha256_RsaPss"};
}  // namespace

std::string applicationUri(const ServerIdentity& identity)
{
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == 0) std::string("localhost").copy(host, 9);
    return "urn:" + std::string(host) + ":ORVA:" + std::string(identity.name);
}

opcua::SecuritySettings readSecuritySettings(const ServerIdentity& identity,
                                             const registry::Registry& registry, std::string* problem)
{
    opcua::SecuritySettings settings;
    // Below the settings folder (/etc/orva unless ORVA_CONFIG_DIR moves it).
    const std::string folder = configFolder();
    settings.pkiFolder = folder + "/pki/" + std::string(identity.name);
    settings.usersFile = folder + "/users";
    settings.anonymousAccess = opcua::Access::Read;
    std::string problems;
    const std::string_view key = identity.registryKey;
    std::string text;

    if (registry.readString(key, kSecurityPoliciesValueName, text) == registry::Status::Ok) {
        std::string_view rest = text;
        while (!rest.empty()) {
            const size_t comma = std::min(rest.find(','), rest.size());
            const std::string name = trimmed(rest.substr(0, comma));
            rest.remove_prefix(std::min(comma + 1, rest.size()));
            if (name.empty()) continue;
            if (std::find(std::begin(kKnownPolicies), std::end(kKnownPolicies), name) ==
                std::end(kKnownPolicies))
                problems += "SecurityPolicies names an unknown policy \"" + name + "\"; ";
            else if (std::find(settings.policies.begin(), settings.policies.end(), name) ==
                     settings.policies.end())
                settings.policies.push_back(name);
        }
    }
    if (registry.readString(key, kPkiFolderValueName, text) == registry::Status::Ok && !trimmed(text).empty())
        settings.pkiFolder = trimmed(text);
    if (registry.readString(key, kUsersFileValueName, text) == registry::Status::Ok && !trimmed(text).empty())
        settings.usersFile = trimmed(text);
    if (registry.readString(key, kAnonymousAccessValueName, text) == registry::Status::Ok) {
        const std::string value = trimmed(text);
        if (value == "none")
            settings.anonymousAccess = opcua::Access::None;
        else if (value == "read")
            settings.anonymousAccess = opcua::Access::Read;
        else if (value == "write")
            settings.anonymousAccess = opcua::Access::Write;
        else
            problems +=
                "AnonymousAccess \"" + value + "\" is not none, read or write, so anonymous users read; ";
    }
    if (registry.readString(key, kAutoAcceptUntrustedValueName, text) == registry::Status::Ok) {
        const std::string value = trimmed(text);
        settings.autoAcceptUntrusted = value == "1" || value == "true" || value == "yes";
    }
    if (problem != nullptr) *problem = problems;
    return settings;
}

}  // namespace orva::process
