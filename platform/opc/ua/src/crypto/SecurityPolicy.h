#pragma once
// The security policies the endpoint offers: their URIs and the algorithms and key lengths each
// one uses for the asymmetric OpenSecureChannel, the symmetric messages and the session.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "crypto/Crypto.h"

namespace orva::opcua {

struct SecurityPolicy {
    std::string_view name;  // as administrators write it: "Basic256Sha256"
    std::string_view uri;
    bool secure = false;
    crypto::RsaEncryption asymmetricEncryption = crypto::RsaEncryption::OaepSha1;
    crypto::RsaSignature asymmetricSignature = crypto::RsaSignature::Pkcs1Sha256;
    std::string_view asymmetricSignatureUri;   // CreateSession / ActivateSession signatures
    std::string_view asymmetricEncryptionUri;  // encrypted user name tokens
    size_t signingKeyLength = 0;               // HMAC-SHA256 key
    size_t encryptingKeyLength = 0;            // AES-128 or AES-256
    size_t nonceLength = 0;
    static constexpr size_t kBlockSize = 16;      // AES block and IV
    static constexpr size_t kSignatureSize = 32;  // HMAC-SHA256
};

enum class SecurityMode : int32_t { Invalid = 0, None = 1, Sign = 2, SignAndEncrypt = 3 };

const SecurityPolicy& policyNone();
const SecurityPolicy* policyByUri(std::string_view uri);
const SecurityPolicy* policyByName(std::string_view name);
// Every policy, None first.
std::span<const SecurityPolicy> allPolicies();

}  // namespace orva::opcua
