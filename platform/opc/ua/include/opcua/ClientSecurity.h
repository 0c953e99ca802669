#pragma once
// What a client needs for a secured endpoint: its application instance certificate and key, the
// endpoints a server describes (policy, mode, certificate, user token policies) and the identity
// a session logs on with.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "opcua/Binary.h"

using evp_pkey_st = struct evp_pkey_st;

namespace orva::opcua {

struct ClientCertificate {
    std::vector<uint8_t> der;
    std::shared_ptr<evp_pkey_st> key;  // private
    std::string applicationUri;        // the URI among its alternative names
    bool valid() const { return !der.empty() && key != nullptr; }
};

// A certificate (DER or PEM) and its PEM private key. False with why.
bool loadClientCertificate(const std::string& certificateFile, const std::string& keyFile,
                           ClientCertificate& out, std::string& error);
// The certificate of a client's certificate folder (own/certs/<name>.der with its key in
// own/private/<name>.pem, mode 0600), made self-signed for applicationUri when there is none.
bool loadOrCreateClientCertificate(const std::string& folder, const std::string& name,
                                   const std::string& applicationUri, ClientCertificate& out,
                                   std::string& error);

// What a client decides about a server's certificate against its own certificate folder:
// Good when trusted/certs (or an issuer) vouches for it; otherwise the verdict, the certificate
// copied into rejected/certs, and detail says why. With trustOnFirstUse an untrusted certificate
// is moved to trusted/certs and accepted.
StatusCode checkServerCertificate(const std::string& folder, const std::vector<uint8_t>& certificate,
                                  bool trustOnFirstUse, std::string& detail);

// A certificate's SHA-1 thumbprint in upper-case hex, as certificate folders name their files.
std::string certificateThumbprint(const std::vector<uint8_t>& der);

enum class UserTokenType : int32_t { Anonymous = 0, UserName = 1, Certificate = 2, IssuedToken = 3 };

struct UserTokenPolicy {
    std::string policyId;
    UserTokenType type = UserTokenType::Anonymous;
    std::string securityPolicyUri;  // empty: the endpoint's
};

struct EndpointDescription {
    std::string url;
    std::vector<uint8_t> serverCertificate;
    int32_t securityMode = 0;  // 1 None, 2 Sign, 3 SignAndEncrypt
    std::string securityPolicyUri;
    std::vector<UserTokenPolicy> userTokens;
};
// An array of EndpointDescription (GetEndpoints and CreateSession responses).
std::vector<EndpointDescription> readEndpointDescriptions(Reader& r);
// The short name of a policy URI ("Basic256Sha256"), the URI itself when unknown.
std::string securityPolicyName(const std::string& uri);
// The URI of a policy name, empty when unknown.
std::string securityPolicyUri(const std::string& name);

struct UserIdentity {
    UserTokenType type = UserTokenType::Anonymous;
    std::string userName;
    std::string password;
};

}  // namespace orva::opcua
