#pragma once
// The protection of secure-channel chunks, the same on both ends of a channel: the RSA-protected
// OpenSecureChannel chunk (signed with the sender's key, encrypted for the receiver's) and the
// symmetric MSG and CLO chunks (HMAC-SHA256 signature, AES-CBC encryption with the token's keys).
// The server's channel and the client use these, each with its own and the peer's keys.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "crypto/SecurityPolicy.h"
#include "opcua/StatusCodes.h"
#include "opcua/Transport.h"

namespace orva::opcua {

inline constexpr size_t kSymmetricHeaderSize = kHeaderSize + 8;  // message header, channel id, token id
inline constexpr size_t kSequenceHeaderSize = 8;

// The keys that protect one direction of a channel under one token.
struct SymmetricKeys {
    crypto::Bytes signing;
    crypto::Bytes encrypting;
    crypto::Bytes iv;
};

// P_SHA256(secret, seed) cut into signing key, encrypting key and IV as the policy sizes them.
SymmetricKeys deriveKeys(const SecurityPolicy& policy, crypto::ByteView secret, crypto::ByteView seed);

// Who signs and who decrypts an OpenSecureChannel chunk.
struct AsymmetricParties {
    const SecurityPolicy* policy = nullptr;
    crypto::ByteView ownCertificate;  // DER, sent in the security header
    evp_pkey_st* ownKey = nullptr;    // private: signs what is sent, decrypts what is received
    evp_pkey_st* peerKey = nullptr;   // public: encrypts what is sent, verifies what is received
    crypto::ByteView peerThumbprint;  // SHA-1 of the peer's certificate
};

// Appends one signed and encrypted OPN chunk carrying body; sequence is the sender's next
// sequence number and advances. BadResponseTooLarge when it exceeds bufferSize.
StatusCode encodeAsymmetricChunk(uint32_t channelId, const AsymmetricParties& parties, uint32_t requestId,
                                 std::span<const uint8_t> body, size_t bufferSize, uint32_t& sequence,
                                 std::vector<uint8_t>& out);
// Decrypts the protected part of an OPN chunk (from headerEnd, the end of its security header)
// and checks its signature and padding; plain then holds the sequence header and the body.
StatusCode decodeAsymmetricChunk(std::span<const uint8_t> chunk, size_t headerEnd,
                                 const AsymmetricParties& parties, crypto::Bytes& plain, std::string& reason);

// The fields of a symmetric chunk's header (type, chunk type, channel and token id) without
// touching its protected part; the token id says which keys decode it.
StatusCode peekSymmetricHeader(std::span<const uint8_t> chunk, SecureChunk& out, std::string& reason);
// Verifies (and with SignAndEncrypt decrypts) a symmetric chunk whose header peekSymmetricHeader
// read into out. out.body then points into plain.
StatusCode decodeSymmetricChunk(std::span<const uint8_t> chunk, SecurityMode mode, const SymmetricKeys& keys,
                                crypto::Bytes& plain, SecureChunk& out, std::string& reason);
// Appends the chunks of a message within the peer's limits, signed (and encrypted) with keys.
StatusCode encodeSymmetricChunks(const ChunkHeaderFields& fields, SecurityMode mode,
                                 const SymmetricKeys& keys, std::span<const uint8_t> body,
                                 const ChunkLimits& peer, uint32_t& sequence, std::vector<uint8_t>& out);

}  // namespace orva::opcua
