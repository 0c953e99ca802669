#include "opcua/Transport.h"

#include <algorithm>
#include <cstring>

#include "opcua/Binary.h"

namespace orva::opcua {

namespace {
constexpr size_t kMaxEndpointUrlLength = 4096;
constexpr size_t kMaxConcurrentMessages = 8;  // messages being assembled at once per connection
// Symmetric chunk: header 8 + channel id 4 + token id 4 + sequence header 8.
constexpr size_t kSymmetricOverhead = 24;

MessageType typeFromTag(const uint8_t* t)
{
    const std::string_view tag(reinterpret_cast<const char*>(t), 3);
    if (tag == "HEL") return MessageType::Hello;
    if (tag == "ACK") return MessageType::Acknowledge;
    if (tag == "ERR") return MessageType::Error;
    if (tag == "RHE") return MessageType::ReverseHello;
    if (tag == "MSG") return MessageType::Message;
    if (tag == "OPN") return MessageType::Open;
    if (tag == "CLO") return MessageType::Close;
    return MessageType::Invalid;
}

const char* tagOf(MessageType t)
{
    switch (t) {
        case MessageType::Hello:
            return "HEL";
        case MessageType::Acknowledge:
            return "ACK";
        case MessageType::Error:
            return "ERR";
        case MessageType::ReverseHello:
            return "RHE";
        case MessageType::Open:
            return "OPN";
        case MessageType::Close:
            return "CLO";
        default:
            return "MSG";
    }
}

void writeHeader(Writer& w, MessageType t, char chunkType)
{
    const char* tag = tagOf(t);
    w.u8(static_cast<uint8_t>(tag[0]));
    w.u8(static_cast<uint8_t>(tag[1]));
    w.u8(static_cast<uint8_t>(tag[2]));
    w.u8(static_cast<uint8_t>(chunkType));
    w.u32(0);  // size, patched once known
}
}  // namespace

StatusCode parseHeader(std::span<const uint8_t> bytes, MessageHeader& out)
{
    if (bytes.size() < kHeaderSize) return status::BadDecodingError;
    out.type = typeFromTag(bytes.data());
    out.chunkType = static_cast<char>(bytes[3]);
    Reader r(bytes.subspan(4, 4));
    out.size = r.u32();
    if (out.type == MessageType::Invalid) return status::BadTcpMessageTypeInvalid;
    const bool secure =
        out.type == MessageType::Message || out.type == MessageType::Open || out.type == MessageType::Close;
    if (secure ? (out.chunkType != 'F' && out.chunkType != 'C' && out.chunkType != 'A')
               : out.chunkType != 'F')
        return status::BadTcpMessageTypeInvalid;
    if (out.size < kHeaderSize) return status::BadDecodingError;
    return status::Good;
}

StatusCode decodeHello(std::span<const uint8_t> chunk, Hello& out)
{
    if (chunk.size() < kHeaderSize) return status::BadDecodingError;
    Reader r(chunk.subspan(kHeaderSize));
    out.protocolVersion = r.u32();
    out.receiveBufferSize = r.u32();
    out.sendBufferSize = r.u32();
    out.maxMessageSize = r.u32();
    out.maxChunkCount = r.u32();
    const int32_t urlLength = r.i32();
    if (!r.ok() || urlLength < -1 || urlLength > static_cast<int32_t>(kMaxEndpointUrlLength))
        return urlLength > static_cast<int32_t>(kMaxEndpointUrlLength) ? status::BadTcpEndpointUrlInvalid
                                                                       : status::BadDecodingError;
    if (urlLength > 0) {
        const auto b = r.take(static_cast<size_t>(urlLength));
        if (!r.ok()) return status::BadDecodingError;
        out.endpointUrl.assign(reinterpret_cast<const char*>(b.data()), b.size());
    }
    if (!r.atEnd()) return status::BadDecodingError;
    return status::Good;
}

std::vector<uint8_t> encodeAcknowledge(const Acknowledge& ack)
{
    std::vector<uint8_t> out;
    Writer w(out);
    writeHeader(w, MessageType::Acknowledge, 'F');
    w.u32(ack.protocolVersion);
    w.u32(ack.receiveBufferSize);
    w.u32(ack.sendBufferSize);
    w.u32(ack.maxMessageSize);
    w.u32(ack.maxChunkCount);
    w.patchU32(4, static_cast<uint32_t>(out.size()));
    return out;
}

std::vector<uint8_t> encodeError(StatusCode error, const std::string& reason)
{
    std::vector<uint8_t> out;
    Writer w(out);
    writeHeader(w, MessageType::Error, 'F');
    w.u32(error);
    w.string(reason.substr(0, 4096));
    w.patchU32(4, static_cast<uint32_t>(out.size()));
    return out;
}

StatusCode decodeSecureChunk(std::span<const uint8_t> chunk, SecureChunk& out)
{
    MessageHeader h;
    if (const StatusCode s = parseHeader(chunk, h); isBad(s)) return s;
    if (h.size != chunk.size()) return status::BadDecodingError;
    if (h.type != MessageType::Message && h.type != MessageType::Open && h.type != MessageType::Close)
        return status::BadTcpMessageTypeInvalid;
    out.type = h.type;
    out.chunkType = h.chunkType;
    Reader r(chunk.subspan(kHeaderSize));
    out.channelId = r.u32();
    if (h.type == MessageType::Open) {
        const int32_t uriLength = r.i32();
        if (uriLength > 255) return status::BadSecurityPolicyRejected;
        if (uriLength > 0) {
            const auto b = r.take(static_cast<size_t>(uriLength));
            out.securityPolicyUri.assign(reinterpret_cast<const char*>(b.data()), b.size());
        } else if (uriLength < -1) {
            return status::BadDecodingError;
        }
        // Sender certificate and receiver thumbprint: must be null under SecurityPolicy None but
        // clients send empty ones too; both are skipped.
        r.byteString();
        r.byteString();
    } else {
        out.tokenId = r.u32();
    }
    out.sequenceNumber = r.u32();
    out.requestId = r.u32();
    if (!r.ok()) return status::BadDecodingError;
    out.body = chunk.subspan(kHeaderSize + r.position());
    return status::Good;
}

uint32_t nextSequenceNumber(uint32_t current)
{
    // Sequence numbers wrap before they reach UInt32 max - 1024, and restart below 1024.
    return current >= 4294966271u ? 1 : current + 1;
}

StatusCode encodeChunks(const ChunkHeaderFields& fields, std::span<const uint8_t> body,
                        const ChunkLimits& peer, uint32_t& nextSequence, std::vector<uint8_t>& out)
{
    size_t overhead = kSymmetricOverhead;
    if (fields.type == MessageType::Open)
        overhead = kHeaderSize + 4 + 4 + std::strlen(kSecurityPolicyNone) + 4 + 4 + 8;
    const size_t bufferSize = std::max<size_t>(peer.bufferSize, kMinBufferSize);
    const size_t perChunk = bufferSize - overhead;
    const size_t chunks = body.empty() ? 1 : (body.size() + perChunk - 1) / perChunk;
    if (peer.maxMessageSize != 0 && body.size() > peer.maxMessageSize) return status::BadResponseTooLarge;
    if (peer.maxChunkCount != 0 && chunks > peer.maxChunkCount) return status::BadResponseTooLarge;

    out.reserve(out.size() + body.size() + chunks * overhead);
    Writer w(out);
    for (size_t i = 0; i < chunks; ++i) {
        const size_t start = out.size();
        writeHeader(w, fields.type, i + 1 == chunks ? 'F' : 'C');
        w.u32(fields.channelId);
        if (fields.type == MessageType::Open) {
            w.string(kSecurityPolicyNone);
            w.nullString();  // sender certificate
            w.nullString();  // receiver certificate thumbprint
        } else {
            w.u32(fields.tokenId);
        }
        w.u32(nextSequence);
        nextSequence = nextSequenceNumber(nextSequence);
        w.u32(fields.requestId);
        const size_t from = i * perChunk;
        const size_t n = std::min(perChunk, body.size() - from);
        w.bytes(body.subspan(from, n));
        w.patchU32(start + 4, static_cast<uint32_t>(out.size() - start));
    }
    return status::Good;
}

ChunkAssembler::Result ChunkAssembler::add(const SecureChunk& chunk, std::vector<uint8_t>& message)
{
    auto it = partial_.find(chunk.requestId);
    if (chunk.chunkType == 'A') {
        if (it != partial_.end()) partial_.erase(it);
        return Result::Aborted;
    }
    if (it == partial_.end()) {
        if (chunk.chunkType == 'F') {  // the common case: a message in one chunk
            if (limits_.maxMessageSize != 0 && chunk.body.size() > limits_.maxMessageSize)
                return Result::TooLarge;
            message.assign(chunk.body.begin(), chunk.body.end());
            return Result::Complete;
        }
        if (partial_.size() >= kMaxConcurrentMessages) return Result::Error;
        it = partial_.emplace(chunk.requestId, Partial{}).first;
    }
    Partial& p = it->second;
    ++p.chunks;
    if ((limits_.maxChunkCount != 0 && p.chunks > limits_.maxChunkCount) ||
        (limits_.maxMessageSize != 0 && p.body.size() + chunk.body.size() > limits_.maxMessageSize)) {
        p.tooLarge = true;
        p.body.clear();
        p.body.shrink_to_fit();
    }
    if (!p.tooLarge) p.body.insert(p.body.end(), chunk.body.begin(), chunk.body.end());
    if (chunk.chunkType == 'C') return Result::Incomplete;
    const bool tooLarge = p.tooLarge;
    message = std::move(p.body);
    partial_.erase(it);
    return tooLarge ? Result::TooLarge : Result::Complete;
}

}  // namespace orva::opcua
