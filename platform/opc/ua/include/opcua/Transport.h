#pragma once
// The opc.tcp framing: message headers, Hello / Acknowledge / Error, secure-conversation chunks
// (SecurityPolicy None) and the assembly of chunks into messages and back.

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "opcua/StatusCodes.h"

namespace orva::opcua {

inline constexpr size_t kHeaderSize = 8;
inline constexpr uint32_t kMinBufferSize = 8192;
inline constexpr const char* kSecurityPolicyNone = "http://opcfoundation.org/UA/SecurityPolicy#None";

enum class MessageType : uint8_t { Hello, Acknowledge, Error, ReverseHello, Message, Open, Close, Invalid };

struct MessageHeader {
    MessageType type = MessageType::Invalid;
    char chunkType = 0;  // 'F' final, 'C' intermediate, 'A' abort
    uint32_t size = 0;   // whole chunk including the header
};

// Parses the 8-byte header; fails on unknown message or chunk types and sizes below the header.
StatusCode parseHeader(std::span<const uint8_t> bytes, MessageHeader& out);

struct Hello {
    uint32_t protocolVersion = 0;
    uint32_t receiveBufferSize = 0;
    uint32_t sendBufferSize = 0;
    uint32_t maxMessageSize = 0;
    uint32_t maxChunkCount = 0;
    std::string endpointUrl;
};
StatusCode decodeHello(std::span<const uint8_t> chunk, Hello& out);  // the whole chunk, header included

struct Acknowledge {
    uint32_t protocolVersion = 0;
    uint32_t receiveBufferSize = 0;
    uint32_t sendBufferSize = 0;
    uint32_t maxMessageSize = 0;
    uint32_t maxChunkCount = 0;
};
std::vector<uint8_t> encodeAcknowledge(const Acknowledge& ack);
std::vector<uint8_t> encodeError(StatusCode error, const std::string& reason);

// The limits one side of a connection has agreed to.
struct ChunkLimits {
    uint32_t bufferSize = 65536;  // largest chunk
    uint32_t maxMessageSize = 0;  // largest message body, 0 = no limit
    uint32_t maxChunkCount = 0;   // 0 = no limit
};

// One decoded secure-conversation chunk (OPN, MSG or CLO) with SecurityPolicy None.
struct SecureChunk {
    MessageType type = MessageType::Invalid;
    char chunkType = 0;
    uint32_t channelId = 0;
    uint32_t tokenId = 0;           // MSG and CLO
    std::string securityPolicyUri;  // OPN
    uint32_t sequenceNumber = 0;
    uint32_t requestId = 0;
    std::span<const uint8_t> body;
};
StatusCode decodeSecureChunk(std::span<const uint8_t> chunk, SecureChunk& out);

// Splits a message body into chunks within the peer's limits. Sequence numbers are taken from
// and advanced in nextSequence (wrapping as the protocol prescribes). Returns BadResponseTooLarge
// when the body needs more chunks or bytes than the peer accepts.
struct ChunkHeaderFields {
    MessageType type = MessageType::Message;
    uint32_t channelId = 0;
    uint32_t tokenId = 0;
    uint32_t requestId = 0;
};
StatusCode encodeChunks(const ChunkHeaderFields& fields, std::span<const uint8_t> body,
                        const ChunkLimits& peer, uint32_t& nextSequence, std::vector<uint8_t>& out);
uint32_t nextSequenceNumber(uint32_t current);

// Collects the chunks of the messages of one connection until each is final.
class ChunkAssembler {
public:
    explicit ChunkAssembler(ChunkLimits own) : limits_(own) {}

    enum class Result { Incomplete, Complete, Aborted, TooLarge, Error };
    // Adds a chunk; on Complete, message holds the body of the whole message.
    Result add(const SecureChunk& chunk, std::vector<uint8_t>& message);
    size_t pending() const { return partial_.size(); }

private:
    struct Partial {
        std::vector<uint8_t> body;
        uint32_t chunks = 0;
        bool tooLarge = false;
    };
    ChunkLimits limits_;
    std::map<uint32_t, Partial> partial_;
};

}  // namespace orva::opcua
