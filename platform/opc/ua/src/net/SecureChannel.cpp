#include "net/SecureChannel.h"

#include <algorithm>

#include "EngineInternal.h"

namespace orva::opcua {

using crypto::Bytes;
using crypto::ByteView;

namespace {
constexpr size_t kSymmetricHeader = kHeaderSize + 8;  // message header, channel id, token id
constexpr size_t kSequenceHeader = 8;

ByteView view(const std::string& s)
{
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

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
}  // namespace

bool SecureChannel::checkSequence(uint32_t sequence)
{
    if (!sequenceStarted_) {
        sequenceStarted_ = true;
        receiveSequence_ = sequence;
        return true;
    }
    const bool wrapped = receiveSequence_ > 4294966271u && sequence < 1024;
    if (sequence != receiveSequence_ + 1 && !wrapped) return false;
    receiveSequence_ = sequence;
    return true;
}

SecureChannel::Keys SecureChannel::deriveKeys(ByteView secret, ByteView seed) const
{
    const SecurityPolicy& p = *info_.policy;
    const Bytes all = crypto::pSha256(
        secret, seed, p.signingKeyLength + p.encryptingKeyLength + SecurityPolicy::kBlockSize);
    Keys k;
    const auto at = [&](size_t n) { return all.begin() + static_cast<ptrdiff_t>(n); };
    k.signing.assign(at(0), at(p.signingKeyLength));
    k.encrypting.assign(at(p.signingKeyLength), at(p.signingKeyLength + p.encryptingKeyLength));
    k.iv.assign(at(p.signingKeyLength + p.encryptingKeyLength), all.end());
    return k;
}

StatusCode SecureChannel::unprotectOpen(std::span<const uint8_t> chunk, size_t headerEnd,
                                        ByteView senderCertificate, ByteView receiverThumbprint, Bytes& plain,
                                        std::string& reason)
{
    const SecurityPolicy& p = *info_.policy;
    if (!crypto::equalConstantTime(receiverThumbprint, security_->own.thumbprint)) {
        reason = "the request is not for this server's certificate";
        return status::BadCertificateInvalid;
    }
    size_t used = 0;
    const crypto::CertPtr leaf = crypto::parseCertificate(senderCertificate, &used);
    crypto::KeyPtr key = crypto::publicKey(leaf.get());
    const size_t signatureSize = crypto::rsaSize(key.get());
    if (!leaf || signatureSize < 128 || signatureSize > 512) {
        reason = "no usable client certificate";
        return status::BadCertificateInvalid;
    }
    if (!crypto::rsaDecrypt(security_->own.key.get(), p.asymmetricEncryption, chunk.subspan(headerEnd),
                            plain)) {
        reason = "cannot decrypt OpenSecureChannel";
        return status::BadSecurityChecksFailed;
    }
    if (plain.size() < kSequenceHeader + signatureSize + 1) {
        reason = "OpenSecureChannel too short";
        return status::BadSecurityChecksFailed;
    }
    const size_t signedEnd = plain.size() - signatureSize;
    Bytes signedData(chunk.begin(), chunk.begin() + static_cast<ptrdiff_t>(headerEnd));
    signedData.insert(signedData.end(), plain.begin(), plain.begin() + static_cast<ptrdiff_t>(signedEnd));
    if (!crypto::rsaVerify(key.get(), p.asymmetricSignature, signedData,
                           ByteView(plain).subspan(signedEnd, signatureSize))) {
        reason = "OpenSecureChannel signature invalid";
        return status::BadSecurityChecksFailed;
    }
    const bool extra = crypto::rsaSize(security_->own.key.get()) > 256;
    const size_t padding = paddingLength(plain, signedEnd, extra, kSequenceHeader);
    if (padding == 0) {
        reason = "OpenSecureChannel padding invalid";
        return status::BadSecurityChecksFailed;
    }
    const Bytes leafDer(senderCertificate.begin(), senderCertificate.begin() + static_cast<ptrdiff_t>(used));
    if (isOpen()) {
        if (leafDer != info_.clientCertificate) {
            reason = "renewal with another certificate";
            return status::BadSecurityChecksFailed;
        }
    } else {
        std::string detail;
        const StatusCode trust = security_->pki->validate(senderCertificate, security_->autoAccept, detail);
        if (!detail.empty() && security_->log) security_->log("client certificate " + detail);
        if (isBad(trust)) {
            reason = "client certificate refused";
            return trust;
        }
        info_.clientCertificate = leafDer;
        clientKey_ = std::move(key);
        clientThumbprint_ = crypto::sha1(leafDer);
    }
    plain.resize(signedEnd - padding);
    return status::Good;
}

StatusCode SecureChannel::open(std::span<const uint8_t> chunk, const ServerLimits& limits,
                               ChannelNumbers& numbers, Clock::time_point now, std::vector<uint8_t>& response,
                               uint32_t& requestId, std::string& reason)
{
    MessageHeader h;
    if (isBad(parseHeader(chunk, h)) || h.size != chunk.size()) {
        reason = "malformed OpenSecureChannel chunk";
        return status::BadDecodingError;
    }
    if (h.chunkType != 'F') {
        reason = "OpenSecureChannel must fit one chunk";
        return status::BadTcpMessageTooLarge;
    }
    Reader hr(chunk.subspan(kHeaderSize));
    const uint32_t channelId = hr.u32();
    const std::string policyUri = hr.string();
    const std::string senderCertificate = hr.byteString();
    const std::string receiverThumbprint = hr.byteString();
    if (!hr.ok()) {
        reason = "malformed security header";
        return status::BadDecodingError;
    }
    const SecurityPolicy* policy = policyByUri(policyUri);
    // None is always open for discovery (clients ask for the endpoints before they choose one);
    // the session services refuse sessions on it when no None endpoint is offered.
    const bool offered =
        policy != nullptr && (!policy->secure || (security_ != nullptr && security_->offers(*policy)));
    if (!offered || (isOpen() && policy != info_.policy)) {
        reason = "security policy not offered";
        return status::BadSecurityPolicyRejected;
    }
    const size_t headerEnd = kHeaderSize + hr.position();
    if (!isOpen()) info_.policy = policy;
    Bytes plain;
    if (policy->secure) {
        if (const StatusCode s = unprotectOpen(chunk, headerEnd, view(senderCertificate),
                                               view(receiverThumbprint), plain, reason);
            isBad(s))
            return s;
    } else {
        plain.assign(chunk.begin() + static_cast<ptrdiff_t>(headerEnd), chunk.end());
    }

    Reader r(plain);
    const uint32_t sequence = r.u32();
    requestId = r.u32();
    const NodeId type = r.nodeId();
    r.nodeId();
    r.dateTime();
    const uint32_t requestHandle = r.u32();
    r.u32();
    r.string();
    r.u32();
    r.extensionObject();
    r.u32();  // client protocol version
    const uint32_t requestType = r.u32();
    const auto mode = static_cast<SecurityMode>(r.u32());
    const std::string clientNonce = r.byteString();
    const uint32_t requestedLifetime = r.u32();
    if (!r.ok() || !type.isNumeric(svc::OpenSecureChannel)) {
        reason = "malformed OpenSecureChannel request";
        return status::BadDecodingError;
    }
    const bool modeOffered = policy->secure ? security_->offers(*policy, mode) : mode == SecurityMode::None;
    if (!modeOffered || (isOpen() && mode != info_.mode)) {
        reason = "security mode not offered";
        return status::BadSecurityModeRejected;
    }
    if (policy->secure && clientNonce.size() != policy->nonceLength) {
        reason = "client nonce of the wrong length";
        return status::BadNonceInvalid;
    }
    const bool renew = requestType == 1;
    if (requestType > 1 || renew != isOpen() || (renew && channelId != id_)) {
        reason = renew ? "renewal of an unknown channel" : "channel already open";
        return status::BadTcpSecureChannelUnknown;
    }
    if (!checkSequence(sequence)) {
        reason = "sequence number out of order";
        return status::BadSequenceNumberInvalid;
    }
    info_.mode = mode;
    if (renew) {
        previous_ = current_;
    } else {
        id_ = numbers.nextChannelId++;
    }
    current_.id = numbers.nextTokenId++;
    current_.created = now;
    current_.lifetimeMs = std::clamp(requestedLifetime, limits.minTokenLifetime, limits.maxTokenLifetime);
    current_.valid = true;
    Bytes serverNonce;
    if (policy->secure) {
        serverNonce = crypto::randomBytes(policy->nonceLength);
        current_.clientKeys = deriveKeys(serverNonce, view(clientNonce));
        current_.serverKeys = deriveKeys(view(clientNonce), serverNonce);
    }

    Writer w(response);
    w.nodeId(NodeId::num(svc::OpenSecureChannel + 3));
    writeResponseHeader(w, requestHandle, status::Good);
    w.u32(0);  // server protocol version
    w.u32(id_);
    w.u32(current_.id);
    w.dateTime(opcua::now());
    w.u32(current_.lifetimeMs);
    w.byteString(std::string_view(reinterpret_cast<const char*>(serverNonce.data()), serverNonce.size()));
    return status::Good;
}

StatusCode SecureChannel::receive(std::span<const uint8_t> chunk, Clock::time_point now, SecureChunk& sc,
                                  std::string& reason)
{
    if (!secured()) {
        if (const StatusCode s = decodeSecureChunk(chunk, sc); isBad(s)) {
            reason = "malformed secure channel chunk";
            return s;
        }
    } else {
        MessageHeader h;
        if (isBad(parseHeader(chunk, h)) || h.size != chunk.size() || chunk.size() < kSymmetricHeader) {
            reason = "malformed secure channel chunk";
            return status::BadDecodingError;
        }
        Reader hr(chunk.subspan(kHeaderSize));
        sc.type = h.type;
        sc.chunkType = h.chunkType;
        sc.channelId = hr.u32();
        sc.tokenId = hr.u32();
    }
    if (!isOpen() || sc.channelId != id_) {
        reason = "unknown secure channel";
        return status::BadTcpSecureChannelUnknown;
    }
    const Token* token = nullptr;
    if (sc.tokenId == current_.id && !current_.expired(now)) {
        token = &current_;
    } else if (previous_.valid && sc.tokenId == previous_.id && !previous_.expired(now)) {
        token = &previous_;
    } else {
        reason = "unknown or expired security token";
        return status::BadSecureChannelTokenUnknown;
    }
    if (secured()) {
        const Keys& keys = token->clientKeys;
        const auto protectedPart = chunk.subspan(kSymmetricHeader);
        if (info_.mode == SecurityMode::SignAndEncrypt) {
            if (!crypto::aesCbc(false, keys.encrypting, keys.iv, protectedPart, plain_)) {
                reason = "cannot decrypt the chunk";
                return status::BadSecurityChecksFailed;
            }
        } else {
            plain_.assign(protectedPart.begin(), protectedPart.end());
        }
        constexpr size_t sig = SecurityPolicy::kSignatureSize;
        if (plain_.size() < kSequenceHeader + sig) {
            reason = "chunk too short";
            return status::BadSecurityChecksFailed;
        }
        const size_t signedEnd = plain_.size() - sig;
        Bytes signedData(chunk.begin(), chunk.begin() + kSymmetricHeader);
        signedData.insert(signedData.end(), plain_.begin(),
                          plain_.begin() + static_cast<ptrdiff_t>(signedEnd));
        if (!crypto::equalConstantTime(crypto::hmacSha256(keys.signing, signedData),
                                       ByteView(plain_).subspan(signedEnd))) {
            reason = "chunk signature invalid";
            return status::BadSecurityChecksFailed;
        }
        size_t bodyEnd = signedEnd;
        if (info_.mode == SecurityMode::SignAndEncrypt) {
            const size_t padding = paddingLength(plain_, signedEnd, false, kSequenceHeader);
            if (padding == 0) {
                reason = "chunk padding invalid";
                return status::BadSecurityChecksFailed;
            }
            bodyEnd -= padding;
        }
        Reader r(plain_);
        sc.sequenceNumber = r.u32();
        sc.requestId = r.u32();
        sc.body = ByteView(plain_).subspan(kSequenceHeader, bodyEnd - kSequenceHeader);
    }
    // The client moved to the renewed token: the old one and its keys are done.
    if (token == &current_) previous_.valid = false;
    if (!checkSequence(sc.sequenceNumber)) {
        reason = "sequence number out of order";
        return status::BadSequenceNumberInvalid;
    }
    return status::Good;
}

bool SecureChannel::expired(Clock::time_point now) const
{
    return isOpen() && current_.expired(now) && !(previous_.valid && !previous_.expired(now));
}

StatusCode SecureChannel::encode(MessageType type, uint32_t requestId, std::span<const uint8_t> body,
                                 const ChunkLimits& peer, std::vector<uint8_t>& out)
{
    if (secured()) {
        if (type == MessageType::Open) return encodeOpen(requestId, body, peer, out);
        return encodeSymmetric(type, requestId, body, peer, out);
    }
    const ChunkHeaderFields fields{type, id_, current_.id, requestId};
    return encodeChunks(fields, body, peer, sendSequence_, out);
}

StatusCode SecureChannel::encodeOpen(uint32_t requestId, std::span<const uint8_t> body,
                                     const ChunkLimits& peer, std::vector<uint8_t>& out)
{
    const SecurityPolicy& p = *info_.policy;
    Bytes chunk;
    putHeader(chunk, MessageType::Open, 'F');
    {
        Writer w(chunk);
        w.u32(id_);
        w.string(p.uri);
        w.byteString(std::string_view(reinterpret_cast<const char*>(security_->own.der.data()),
                                      security_->own.der.size()));
        w.byteString(std::string_view(reinterpret_cast<const char*>(clientThumbprint_.data()),
                                      clientThumbprint_.size()));
    }
    const size_t headerEnd = chunk.size();
    const size_t plainBlock = crypto::rsaPlainBlock(clientKey_.get(), p.asymmetricEncryption);
    const size_t cipherBlock = crypto::rsaSize(clientKey_.get());
    const size_t signatureSize = crypto::rsaSize(security_->own.key.get());
    const bool extra = cipherBlock > 256;
    Bytes plain;
    {
        Writer w(plain);
        w.u32(sendSequence_);
        w.u32(requestId);
        w.bytes(body);
    }
    sendSequence_ = nextSequenceNumber(sendSequence_);
    const size_t unpadded = plain.size() + 1 + (extra ? 1 : 0) + signatureSize;
    const size_t padding = (plainBlock - unpadded % plainBlock) % plainBlock;
    appendPadding(plain, padding, extra);
    const size_t total = headerEnd + (plain.size() + signatureSize) / plainBlock * cipherBlock;
    if (total > std::max<size_t>(peer.bufferSize, kMinBufferSize)) return status::BadResponseTooLarge;
    putU32(chunk, 4, static_cast<uint32_t>(total));
    Bytes signedData = chunk;
    signedData.insert(signedData.end(), plain.begin(), plain.end());
    Bytes signature;
    if (!crypto::rsaSign(security_->own.key.get(), p.asymmetricSignature, signedData, signature))
        return status::BadInternalError;
    plain.insert(plain.end(), signature.begin(), signature.end());
    Bytes encrypted;
    if (!crypto::rsaEncrypt(clientKey_.get(), p.asymmetricEncryption, plain, encrypted))
        return status::BadInternalError;
    out.insert(out.end(), chunk.begin(), chunk.end());
    out.insert(out.end(), encrypted.begin(), encrypted.end());
    return status::Good;
}

StatusCode SecureChannel::encodeSymmetric(MessageType type, uint32_t requestId, std::span<const uint8_t> body,
                                          const ChunkLimits& peer, std::vector<uint8_t>& out)
{
    // Until the client uses a renewed token, the server keeps sending with the one it knows.
    const Token& token = previous_.valid ? previous_ : current_;
    const Keys& keys = token.serverKeys;
    const bool encrypt = info_.mode == SecurityMode::SignAndEncrypt;
    constexpr size_t block = SecurityPolicy::kBlockSize;
    constexpr size_t sig = SecurityPolicy::kSignatureSize;
    const size_t bufferSize = std::max<size_t>(peer.bufferSize, kMinBufferSize);
    const size_t room =
        encrypt ? (bufferSize - kSymmetricHeader) / block * block : bufferSize - kSymmetricHeader;
    const size_t perChunk = room - kSequenceHeader - sig - (encrypt ? 1 : 0);
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
            w.u32(sendSequence_);
            w.u32(requestId);
            w.bytes(body.subspan(from, n));
        }
        sendSequence_ = nextSequenceNumber(sendSequence_);
        if (encrypt) appendPadding(plain, (block - (plain.size() + 1 + sig) % block) % block, false);
        chunk.clear();
        putHeader(chunk, type, i + 1 == chunks ? 'F' : 'C');
        {
            Writer w(chunk);
            w.u32(id_);
            w.u32(token.id);
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
