#include "crypto/SecurityPolicy.h"

#include <array>

namespace orva::opcua {

namespace {
using crypto::RsaEncryption;
using crypto::RsaSignature;
constexpr std::string_view kRsaSha256 = "http://www.w3.org/2001/04/xmldsig-more#rsa-sha256";
constexpr std::string_view kRsaPssSha256 = "http://opcfoundation.org/UA/security/rsa-pss-sha2-256";
constexpr std::string_view kRsaOaep = "http://www.w3.org/2001/04/xmlenc#rsa-oaep";
constexpr std::string_view kRsaOaepSha256 = "http://opcfoundation.org/UA/security/rsa-oaep-sha2-256";

const std::array<SecurityPolicy, 4> kPolicies{{
    {"None", "http://opcfoundation.org/UA/SecurityPolicy#None", false, RsaEncryption::OaepSha1,
     RsaSignature::Pkcs1Sha256, "", "", 0, 0, 0},
    {"Basic256Sha256", "http://opcfoundation.org/UA/SecurityPolicy#Basic256Sha256", true,
     RsaEncryption::OaepSha1, RsaSignature::Pkcs1Sha256, kRsaSha256, kRsaOaep, 32, 32, 32},
    {"Aes128_Sha256_RsaOaep", "http://opcfoundation.org/UA/SecurityPolicy#Aes128_Sha256_RsaOaep", true,
     RsaEncryption::OaepSha1, RsaSignature::Pkcs1Sha256, kRsaSha256, kRsaOaep, 32, 16, 32},
    {"Aes256_Sha256_RsaPss", "http://opcfoundation.org/UA/SecurityPolicy#Aes256_Sha256_RsaPss", true,
     RsaEncryption::OaepSha256, RsaSignature::PssSha256, kRsaPssSha256, kRsaOaepSha256, 32, 32, 32},
}};
}  // namespace

const SecurityPolicy& policyNone()
{
    return kPolicies[0];
}

const SecurityPolicy* policyByUri(std::string_view uri)
{
    for (const auto& p : kPolicies)
        if (p.uri == uri) return &p;
    return nullptr;
}

const SecurityPolicy* policyByName(std::string_view name)
{
    for (const auto& p : kPolicies)
        if (p.name == name) return &p;
    return nullptr;
}

std::span<const SecurityPolicy> allPolicies()
{
    return kPolicies;
}

}  // namespace orva::opcua
