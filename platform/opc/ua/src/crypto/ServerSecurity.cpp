#include "crypto/ServerSecurity.h"

#include <arpa/inet.h>

#include <algorithm>

namespace orva::opcua {

bool isLoopbackAddress(const std::string& address)
{
    in_addr v4{};
    if (inet_pton(AF_INET, address.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, address.c_str(), &v6) == 1) return IN6_IS_ADDR_LOOPBACK(&v6);
    return address == "localhost";
}

std::vector<std::string> offeredPolicies(const SecuritySettings& settings, const std::string& address)
{
    if (!settings.policies.empty()) return settings.policies;
    std::vector<std::string> out;
    if (isLoopbackAddress(address)) out.emplace_back("None");
    if (!settings.pkiFolder.empty())
        for (const auto& p : allPolicies())
            if (p.secure) out.emplace_back(p.name);
    return out;
}

bool ServerSecurity::offers(const SecurityPolicy& policy) const
{
    return std::find(policies.begin(), policies.end(), &policy) != policies.end();
}

bool ServerSecurity::offers(const SecurityPolicy& policy, SecurityMode mode) const
{
    if (!offers(policy)) return false;
    return policy.secure ? mode == SecurityMode::Sign || mode == SecurityMode::SignAndEncrypt
                         : mode == SecurityMode::None;
}

bool ServerSecurity::hasSecurePolicy() const
{
    return std::any_of(policies.begin(), policies.end(), [](const SecurityPolicy* p) { return p->secure; });
}

bool ServerSecurity::build(const SecuritySettings& settings, const std::string& address,
                           const CertificateSubject& subject, ServerSecurity& out, std::string& error,
                           std::string& warning)
{
    out.policies.clear();
    for (const auto& name : offeredPolicies(settings, address)) {
        const SecurityPolicy* p = policyByName(name);
        if (p == nullptr) {
            error = "unknown security policy \"" + name + "\"";
            return false;
        }
        if (!out.offers(*p)) out.policies.push_back(p);
    }
    if (out.policies.empty()) {
        error = "no security policy is offered";
        return false;
    }
    out.autoAccept = settings.autoAcceptUntrusted;
    out.anonymous = settings.anonymousAccess;
    if (out.hasSecurePolicy() || !settings.pkiFolder.empty()) {
        if (settings.pkiFolder.empty()) {
            error = "secure policies need a certificate folder";
            return false;
        }
        out.pki = std::make_unique<Pki>(settings.pkiFolder);
        if (!out.pki->loadOrCreateOwn(subject, out.own, error)) {
            // On loopback with the default policies the endpoint still serves None, as it did
            // before certificates existed; anywhere else it must not start unsecured.
            const bool fallBack = settings.policies.empty() && isLoopbackAddress(address);
            if (!fallBack) return false;
            warning = error + "; only SecurityPolicy None is offered";
            error.clear();
            out.pki.reset();
            out.own = {};
            out.policies = {&policyNone()};
        }
    }
    if (!settings.usersFile.empty()) out.users = UserStore(settings.usersFile);
    return true;
}

}  // namespace orva::opcua
