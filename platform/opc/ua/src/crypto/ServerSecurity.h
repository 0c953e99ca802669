#pragma once
// What the secure channels and sessions of one server share: its certificate and key, its
// certificate store, the endpoints (policy and mode) it offers, its users and what anonymous
// clients may do. Built once when the server starts; read-only afterwards except for the store's
// folders, which are read at every check.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "crypto/Pki.h"
#include "crypto/SecurityPolicy.h"
#include "crypto/Users.h"
#include "opcua/Security.h"

namespace orva::opcua {

class ServerSecurity {
public:
    OwnCertificate own;
    std::unique_ptr<Pki> pki;  // null when no secure policy is offered
    bool autoAccept = false;
    std::vector<const SecurityPolicy*> policies;
    Access anonymous = Access::Write;
    UserStore users;
    std::function<void(const std::string&)> log;

    bool offers(const SecurityPolicy& policy) const;
    bool offers(const SecurityPolicy& policy, SecurityMode mode) const;
    bool hasSecurePolicy() const;

    // Loads (or creates) the certificate and the store from the settings. False with why; a
    // warning when it had to offer less than the settings asked for.
    static bool build(const SecuritySettings& settings, const std::string& address,
                      const CertificateSubject& subject, ServerSecurity& out, std::string& error,
                      std::string& warning);
};

// The security of one secure channel, as the session services see it.
struct ChannelSecurity {
    const SecurityPolicy* policy = &policyNone();
    SecurityMode mode = SecurityMode::None;
    crypto::Bytes clientCertificate;  // the leaf, DER
    std::string peerAddress;
};

}  // namespace orva::opcua
