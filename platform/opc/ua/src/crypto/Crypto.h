#pragma once
// The cryptographic primitives of the secure channel and the session, over OpenSSL 3: random
// bytes, digests, HMAC, the P_SHA256 key derivation, AES-CBC without padding and RSA encryption
// and signatures in the paddings the security policies use. Every function reports failure by
// its result; none throws.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

using evp_pkey_st = struct evp_pkey_st;
using x509_st = struct x509_st;

namespace orva::opcua::crypto {

using Bytes = std::vector<uint8_t>;
using ByteView = std::span<const uint8_t>;

// The bytes of a string (OPC UA ByteStrings travel as std::string) and back.
inline ByteView view(const std::string& s)
{
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}
inline std::string text(ByteView b)
{
    return {reinterpret_cast<const char*>(b.data()), b.size()};
}

struct KeyFree {
    void operator()(evp_pkey_st* key) const;
};
struct CertFree {
    void operator()(x509_st* cert) const;
};
using KeyPtr = std::unique_ptr<evp_pkey_st, KeyFree>;
using CertPtr = std::unique_ptr<x509_st, CertFree>;

enum class RsaEncryption { OaepSha1, OaepSha256 };
enum class RsaSignature { Pkcs1Sha256, PssSha256 };

Bytes randomBytes(size_t n);
Bytes sha1(ByteView data);
Bytes hmacSha256(ByteView key, ByteView data);
// P_SHA256(secret, seed) cut to length bytes.
Bytes pSha256(ByteView secret, ByteView seed, size_t length);
// AES-CBC over whole blocks; key of 16 or 32 bytes, iv of 16. False on a bad size or failure.
bool aesCbc(bool encrypt, ByteView key, ByteView iv, ByteView in, Bytes& out);
// Compares without a time that depends on where the first difference is.
bool equalConstantTime(ByteView a, ByteView b);

// The size of an RSA key's modulus in bytes (0 for no key).
size_t rsaSize(evp_pkey_st* key);
// Plain text bytes one RSA block carries under the padding.
size_t rsaPlainBlock(evp_pkey_st* key, RsaEncryption padding);
// Encrypts block by block with the public key.
bool rsaEncrypt(evp_pkey_st* key, RsaEncryption padding, ByteView in, Bytes& out);
// Decrypts block by block with the private key; in must be whole blocks.
bool rsaDecrypt(evp_pkey_st* key, RsaEncryption padding, ByteView in, Bytes& out);
bool rsaSign(evp_pkey_st* key, RsaSignature scheme, ByteView data, Bytes& signature);
bool rsaVerify(evp_pkey_st* key, RsaSignature scheme, ByteView data, ByteView signature);

// A DER certificate (the first of a chain), or null when the bytes are no certificate.
CertPtr parseCertificate(ByteView der, size_t* used = nullptr);
Bytes certificateDer(x509_st* cert);
// The certificate's public key (a new reference).
KeyPtr publicKey(x509_st* cert);
// The URIs among the certificate's subject alternative names.
std::vector<std::string> certificateUris(x509_st* cert);
// Upper-case hex of bytes.
std::string hex(ByteView bytes);

}  // namespace orva::opcua::crypto
