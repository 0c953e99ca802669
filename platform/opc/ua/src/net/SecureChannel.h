#pragma once
// One secure channel (SecurityPolicy None): its id, its security tokens (the current one and,
// after a renewal, the previous one until the client moves on), the sequence numbers in both
// directions and the assembly of request chunks into messages. The connection it runs on owns it;
// signing and encryption will live here.

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "opcua/Limits.h"
#include "opcua/Transport.h"

namespace opcua {

// Server-wide numbering of channels and tokens.
struct ChannelNumbers {
    uint32_t nextChannelId = 1;
    uint32_t nextTokenId = 1;
};

class SecureChannel {
public:
    using Clock = std::chrono::steady_clock;

    // own: the chunk limits this side acknowledged in its Acknowledge.
    explicit SecureChannel(ChunkLimits own) : assembler_(own) {}

    bool isOpen() const { return id_ != 0; }
    uint32_t id() const { return id_; }
    uint32_t tokenId() const { return current_.id; }
    void close() { id_ = 0; }

    // An OpenSecureChannel request (issue or renew). Good: response holds the response body to
    // send as OPN. Otherwise the status that ends the connection, and why.
    StatusCode open(const SecureChunk& chunk, const ServerLimits& limits, ChannelNumbers& numbers,
                    Clock::time_point now, std::vector<uint8_t>& response, std::string& reason);
    // Checks the token and sequence number of a MSG or CLO chunk on this channel.
    StatusCode accept(const SecureChunk& chunk, Clock::time_point now, std::string& reason);
    // Collects a MSG chunk; on Complete, message holds the request.
    ChunkAssembler::Result assemble(const SecureChunk& chunk, std::vector<uint8_t>& message)
    {
        return assembler_.add(chunk, message);
    }
    // True when the client let every token it may use run out.
    bool expired(Clock::time_point now) const;
    // Appends the chunks of a message to out within the peer's limits.
    StatusCode encode(MessageType type, uint32_t requestId, std::span<const uint8_t> body,
                      const ChunkLimits& peer, std::vector<uint8_t>& out);

private:
    struct Token {
        uint32_t id = 0;
        Clock::time_point created;
        uint32_t lifetimeMs = 0;
        bool valid = false;
        // A token may be used until its lifetime plus a quarter has passed.
        bool expired(Clock::time_point t) const
        {
            return t > created + std::chrono::milliseconds(static_cast<uint64_t>(lifetimeMs) * 5 / 4);
        }
    };
    bool checkSequence(uint32_t sequence);

    uint32_t id_ = 0;
    Token current_;
    Token previous_;
    uint32_t sendSequence_ = 1;
    uint32_t receiveSequence_ = 0;
    bool sequenceStarted_ = false;
    ChunkAssembler assembler_;
};

}  // namespace opcua
