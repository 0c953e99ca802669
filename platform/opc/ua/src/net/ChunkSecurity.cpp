#include "net/ChunkSecurity.h"

#include <algorithm>

#include "opcua/Binary.h"

namespace orva::opcua {

using crypto::Bytes;
using crypto::ByteView;

namespace {
// Checks "PaddingSize, PaddingSize bytes of PaddingSize[, ExtraPaddingSize]" that ends at end
// (exclusive) and returns its length, 0 when it is malformed.
size_t paddingLength(ByteView plain, size_t end, bool extra, size_t minStart)
{
    if (end < minStart + 1 + (extra ? 1 : 0)) return 0;
    size_t size = plain[end - 1];
    size_t last = end - 1;  // index of the low byte
    if (extra) {
        size = (size << 8) | plain[end - 2];
        last = end - 2;
    }
    const size_t total = size + 1 + (extra ? 1 : 0);
    if (end < minStart + total) return 0;
    const uint8_t low = static_cast<uint8_t>(size & 0xFF);
    uint8_t differs = 0;
    for (size_t i = last - size; i <= last; ++i)
        differs |= static_cast<uint8_t>(plain[i] ^ low);
    return differs == 0 ? total : 0;
}

void appendPadding(Bytes& plain, size_t padding, bool extra)
{
    const uint8_t low = static_cast<uint8_t>(padding & 0xFF);
    plain.insert(plain.end(), padding + 1, low);
    if (extra) plain.push_back(static_cast<uint8_t>(padding >> 8));
}

void putU32(Bytes& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

void putHeader(Bytes& out, MessageType type, char chunkType)
{
    const char* tag = type == MessageType::Open ? "OPN" : type == MessageType::Close ? "CLO" : "MSG";
    out.insert(out.end(), tag, tag + 3);
    out.push_back(static_cast<uint8_t>(chunkType));
    out.insert(out.end(), 4, 0);  // size, patched
}

std::string_view asText(ByteView b)
{
    return {reinterpret_cast<const char*>(b.data()), b.size()};
}
}  // namespace

SymmetricKeys deriveKeys(const SecurityPolicy& p, ByteView secret, ByteView seed)
{
    const Bytes all = crypto::pSha256(
        secret, seed, p.signingKeyLength + p.encryptingKeyLength + SecurityPolicy::kBlockSize);
    SymmetricKeys k;
    const auto at = [&](size_t n) { return all.begin() + static_cast<ptrdiff_t>(n); };
    k.signing.assign(at(0), at(p.signingKeyLength));
    k.encrypting.assign(at(p.signingKeyLength), at(p.signingKeyLength + p.encryptingKeyLength));
    k.iv.assign(at(p.signingKeyLength + p.encryptingKeyLength), all.end());
    return k;
}

StatusCode encodeAsymmetricChunk(uint32_t channelId, const AsymmetricParties& parties, uint32_t requestId,
                                 std::span<const uint8_t> body, size_t bufferSize, uint32_t& sequence,
                                 std::vector<uint8_t>& out)
{
    const SecurityPolicy& p = *parties.policy;
    Bytes chunk;
    putHeader(chunk, MessageType::Open, 'F');
    {
        Writer w(chunk);
        w.u32(channelId);
        w.string(p.uri);
        w.byteString(asText(parties.ownCertificate));
        w.byteString(asText(parties.peerThumbprint));
    }
    const size_t headerEnd = chunk.size();
    const size_t plainBlock = crypto::rsaPlainBlock(parties.peerKey, p.asymmetricEncryption);
    const size_t cipherBlock = crypto::rsaSize(parties.peerKey);
    const size_t signatureSize = crypto::rsaSize(parties.ownKey);
    if (plainBlock == 0 || cipherBlock == 0 || signatureSize == 0) return status::BadSecurityChecksFailed;
    const bool extra = cipherBlock > 256;
    Bytes plain;
    {
        Writer w(plain);
        w.u32(sequence);
        w.u32(requestId);
        w.bytes(body);
    }
    sequence = nextSequenceNumber(sequence);
    const size_t unpadded = plain.size() + 1 + (extra ? 1 : 0) + signatureSize;
    const size_t padding = (plainBlock - unpadded % plainBlock) % plainBlock;
    appendPadding(plain, padding, extra);
    const size_t total = headerEnd + (plain.size() + signatureSize) / plainBlock * cipherBlock;
    if (total > std::max<size_t>(bufferSize, kMinBufferSize)) return status::BadResponseTooLarge;
    putU32(chunk, 4, static_cast<uint32_t>(total));
    Bytes signedData = chunk;
    signedData.insert(signedData.end(), plain.begin(), plain.end());
    Bytes signature;
    if (!crypto::rsaSign(parties.ownKey, p.asymmetricSignature, signedData, signature))
        return status::BadInternalError;
    plain.insert(plain.end(), signature.begin(), signature.end());
    Bytes encrypted;
    if (!crypto::rsaEncrypt(parties.peerKey, p.asymmetricEncryption, plain, encrypted))
        return status::BadInternalError;
    out.insert(out.end(), chunk.begin(), chunk.end());
    out.insert(out.end(), encrypted.begin(), encrypted.end());
    return status::Good;
}

StatusCode decodeAsymmetricChunk(std::span<const uint8_t> chunk, size_t headerEnd,
                                 const AsymmetricParties& parties, Bytes& plain, std::string& reason)
{
    const SecurityPolicy& p = *parties.policy;
    const size_t signatureSize = crypto::rsaSize(parties.peerKey);
    if (signatureSize < 128 || signatureSize > 512) {
        reason = "no usable peer certificate";
        return status::BadCertificateInvalid;
    }
    if (headerEnd > chunk.size() ||
        !crypto::rsaDecrypt(parties.ownKey, p.asymmetricEncryption, chunk.subspan(headerEnd), plain)) {
        reason = "cannot decrypt OpenSecureChannel";
        return status::BadSecurityChecksFailed;
    }
    if (plain.size() < kSequenceHeaderSize + signatureSize + 1) {
        reason = "OpenSecureChannel too short";
        return status::BadSecurityChecksFailed;
    }
    const size_t signedEnd = plain.size() - signatureSize;
    Bytes signedData(chunk.begin(), chunk.begin() + static_cast<ptrdiff_t>(headerEnd));
    signedData.insert(signedData.end(), plain.begin(), plain.begin() + static_cast<ptrdiff_t>(signedEnd));
    if (!crypto::rsaVerify(parties.peerKey, p.asymmetricSignature, signedData,
                           ByteView(plain).subspan(signedEnd, signatureSize))) {
        reason = "OpenSecureChannel signature invalid";
        return status::BadSecurityChecksFailed;
    }
    const bool extra = crypto::rsaSize(parties.ownKey) > 256;
    const size_t padding = paddingLength(plain, signedEnd, extra, kSequenceHeaderSize);
    if (padding == 0) {
        reason = "OpenSecureChannel padding invalid";
        return status::BadSecurityChecksFailed;
    }
    plain.resize(signedEnd - padding);
    return status::Good;
}

StatusCode peekSymmetricHeader(std::span<const uint8_t> chunk, SecureChunk& sc, std::string& reason)
{
    MessageHeader h;
    if (isBad(parseHeader(chunk, h)) || h.size != chunk.size() || chunk.size() < kSymmetricHeaderSize) {
        reason = "malformed secure channel chunk";
        return status::BadDecodingError;
    }
    Reader hr(chunk.subspan(kHeaderSize));
    sc.type = h.type;
    sc.chunkType = h.chunkType;
    sc.channelId = hr.u32();
    sc.tokenId = hr.u32();
    return status::Good;
}

StatusCode decodeSymmetricChunk(std::span<const uint8_t> chunk, SecurityMode mode, const SymmetricKeys& keys,
                                Bytes& plain, SecureChunk& sc, std::string& reason)
{
    const auto protectedPart = chunk.subspan(kSymmetricHeaderSize);
    const bool encrypted = mode == SecurityMode::SignAndEncrypt;
    if (encrypted) {
        if (!crypto::aesCbc(false, keys.encrypting, keys.iv, protectedPart, plain)) {
            reason = "cannot decrypt the chunk";
            return status::BadSecurityChecksFailed;
        }
    } else {
        plain.assign(protectedPart.begin(), protectedPart.end());
    }
    constexpr size_t sig = SecurityPolicy::kSignatureSize;
    if (plain.size() < kSequenceHeaderSize + sig) {
        reason = "chunk too short";
        return status::BadSecurityChecksFailed;
    }
    const size_t signedEnd = plain.size() - sig;
    Bytes signedData(chunk.begin(), chunk.begin() + kSymmetricHeaderSize);
    signedData.insert(signedData.end(), plain.begin(), plain.begin() + static_cast<ptrdiff_t>(signedEnd));
    if (!crypto::equalConstantTime(crypto::hmacSha256(keys.signing, signedData),
                                   ByteView(plain).subspan(signedEnd))) {
        reason = "chunk signature invalid";
        return status::BadSecurityChecksFailed;
    }
    size_t bodyEnd = signedEnd;
    if (encrypted) {
        const size_t padding = paddingLength(plain, signedEnd, false, kSequenceHeaderSize);
        if (padding == 0) {
            reason = "chunk padding invalid";
            return status::BadSecurityChecksFailed;
        }
        bodyEnd -= padding;
    }
    Reader r(plain);
    sc.sequenceNumber = r.u32();
    sc.requestId = r.u32();
    sc.body = ByteView(plain).subspan(kSequenceHeaderSize, bodyEnd - kSequenceHeaderSize);
    return status::Good;
}

StatusCode encodeSymmetricChunks(const ChunkHeaderFields& fields, SecurityMode mode,
                                 const SymmetricKeys& keys, std::span<const uint8_t> body,
                                 const ChunkLimits& peer, uint32_t& sequence, std::vector<uint8_t>& out)
{
    const bool encrypt = mode == SecurityMode::SignAndEncrypt;
    constexpr size_t block = SecurityPolicy::kBlockSize;
    constexpr size_t sig = SecurityPolicy::kSignatureSize;
    const size_t bufferSize = std::max<size_t>(peer.bufferSize, kMinBufferSize);
    const size_t room =
        encrypt ? (bufferSize - kSymmetricHeaderSize) / block * block : bufferSize - kSymmetricHeaderSize;
    const size_t perChunk = room - kSequenceHeaderSize - sig - (encrypt ? 1 : 0);
    const size_t chunks = body.empty() ? 1 : (body.size() + perChunk - 1) / perChunk;
    if (peer.maxMessageSize != 0 && body.size() > peer.maxMessageSize) return status::BadResponseTooLarge;
    if (peer.maxChunkCount != 0 && chunks > peer.maxChunkCount) return status::BadResponseTooLarge;

    Bytes chunk;
    Bytes plain;
    Bytes encrypted;
    for (size_t i = 0; i < chunks; ++i) {
        const size_t from = i * perChunk;
        const size_t n = std::min(perChunk, body.size() - from);
        plain.clear();
        {
            Writer w(plain);
            w.u32(sequence);
            w.u32(fields.requestId);
            w.bytes(body.subspan(from, n));
        }
        sequence = nextSequenceNumber(sequence);
        if (encrypt) appendPadding(plain, (block - (plain.size() + 1 + sig) % block) % block, false);
        chunk.clear();
        putHeader(chunk, fields.type, i + 1 == chunks ? 'F' : 'C');
        {
            Writer w(chunk);
            w.u32(fields.channelId);
            w.u32(fields.tokenId);
        }
        putU32(chunk, 4, static_cast<uint32_t>(chunk.size() + plain.size() + sig));
        Bytes signedData = chunk;
        signedData.insert(signedData.end(), plain.begin(), plain.end());
        const Bytes signature = crypto::hmacSha256(keys.signing, signedData);
        plain.insert(plain.end(), signature.begin(), signature.end());
        out.insert(out.end(), chunk.begin(), chunk.end());
        if (encrypt) {
            if (!crypto::aesCbc(true, keys.encrypting, keys.iv, plain, encrypted))
                return status::BadInternalError;
            out.insert(out.end(), encrypted.begin(), encrypted.end());
        } else {
            out.insert(out.end(), plain.begin(), plain.end());
        }
    }
    return status::Good;
}

}  // namespace orva::opcua
