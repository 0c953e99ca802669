#pragma once
// One secure channel: its security policy and mode, the client's certificate, its security
// tokens (the current one and, after a renewal, the previous one until the client moves on) with
// the keys each one derived, the sequence numbers in both directions and the assembly of request
// chunks into messages. OpenSecureChannel is protected with the certificates' RSA keys, every other
// message with the token's symmetric keys (HMAC-SHA256 signature, AES-CBC encryption). The
// connection it runs on owns it.

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "crypto/SecurityPolicy.h"
#include "crypto/ServerSecurity.h"
#include "opcua/Limits.h"
#include "opcua/Transport.h"

namespace orva::opcua {

// Server-wide numbering of channels and tokens.
struct ChannelNumbers {
    uint32_t nextChannelId = 1;
    uint32_t nextTokenId = 1;
};

class SecureChannel {
public:
    using Clock = std::chrono::steady_clock;

    // own: the chunk limits this side acknowledged in its Acknowledge. security: the server's
    // certificate, store and offered policies (null: SecurityPolicy None only).
    SecureChannel(ChunkLimits own, const ServerSecurity* security) : security_(security), assembler_(own) {}

    bool isOpen() const { return id_ != 0; }
    uint32_t id() const { return id_; }
    uint32_t tokenId() const { return current_.id; }
    void close() { id_ = 0; }
    const ChannelSecurity& security() const { return info_; }
    void setPeerAddress(std::string address) { info_.peerAddress = std::move(address); }

    // An OpenSecureChannel chunk (issue or renew), whole and as received. Good: response holds
    // the response body to send as OPN and requestId its request. Otherwise the status that ends
    // the connection, and why (the reason stays in the server's log where it would tell an
    // attacker which check failed).
    StatusCode open(std::span<const uint8_t> chunk, const ServerLimits& limits, ChannelNumbers& numbers,
                    Clock::time_point now, std::vector<uint8_t>& response, uint32_t& requestId,
                    std::string& reason);
    // Decodes a MSG or CLO chunk on this channel: checks its token, signature and sequence number
    // and decrypts it. The chunk's body stays valid until the next call.
    StatusCode receive(std::span<const uint8_t> chunk, Clock::time_point now, SecureChunk& out,
                       std::string& reason);
    // Collects a MSG chunk; on Complete, message holds the request.
    ChunkAssembler::Result assemble(const SecureChunk& chunk, std::vector<uint8_t>& message)
    {
        return assembler_.add(chunk, message);
    }
    // True when the client let every token it may use run out.
    bool expired(Clock::time_point now) const;
    // Appends the chunks of a message to out within the peer's limits, signed and encrypted as
    // the channel's mode says.
    StatusCode encode(MessageType type, uint32_t requestId, std::span<const uint8_t> body,
                      const ChunkLimits& peer, std::vector<uint8_t>& out);

private:
    struct Keys {
        crypto::Bytes signing;
        crypto::Bytes encrypting;
        crypto::Bytes iv;
    };
    struct Token {
        uint32_t id = 0;
        Clock::time_point created;
        uint32_t lifetimeMs = 0;
        bool valid = false;
        Keys clientKeys;  // protect what the client sends
        Keys serverKeys;  // protect what the server sends
        // A token may be used until its lifetime plus a quarter has passed.
        bool expired(Clock::time_point t) const
        {
            return t > created + std::chrono::milliseconds(static_cast<uint64_t>(lifetimeMs) * 5 / 4);
        }
    };
    bool checkSequence(uint32_t sequence);
    bool secured() const { return info_.policy->secure; }
    // Decrypts and verifies the asymmetric part of an OPN chunk into plain (sequence header and
    // body).
    StatusCode unprotectOpen(std::span<const uint8_t> chunk, size_t headerEnd,
                             crypto::ByteView senderCertificate, crypto::ByteView receiverThumbprint,
                             crypto::Bytes& plain, std::string& reason);
    StatusCode encodeOpen(uint32_t requestId, std::span<const uint8_t> body, const ChunkLimits& peer,
                          std::vector<uint8_t>& out);
    StatusCode encodeSymmetric(MessageType type, uint32_t requestId, std::span<const uint8_t> body,
                               const ChunkLimits& peer, std::vector<uint8_t>& out);
    Keys deriveKeys(crypto::ByteView secret, crypto::ByteView seed) const;

    const ServerSecurity* security_;
    ChannelSecurity info_;
    crypto::KeyPtr clientKey_;
    crypto::Bytes clientThumbprint_;
    uint32_t id_ = 0;
    Token current_;
    Token previous_;
    uint32_t sendSequence_ = 1;
    uint32_t receiveSequence_ = 0;
    bool sequenceStarted_ = false;
    crypto::Bytes plain_;  // the decrypted chunk receive() returned last
    ChunkAssembler assembler_;
};

}  // namespace orva::opcua
