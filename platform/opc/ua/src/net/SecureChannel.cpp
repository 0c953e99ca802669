#include "net/SecureChannel.h"

#include <algorithm>

#include "EngineInternal.h"

namespace orva::opcua {

using crypto::Bytes;
using crypto::ByteView;
using crypto::view;

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

StatusCode SecureChannel::unprotectOpen(std::span<const uint8_t> chunk, size_t headerEnd,
                                        ByteView senderCertificate, ByteView receiverThumbprint, Bytes& plain,
                                        std::string& reason)
{
    if (!crypto::equalConstantTime(receiverThumbprint, security_->own.thumbprint)) {
        reason = "the request is not for this server's certificate";
        return status::BadCertificateInvalid;
    }
    size_t used = 0;
    const crypto::CertPtr leaf = crypto::parseCertificate(senderCertificate, &used);
    crypto::KeyPtr key = crypto::publicKey(leaf.get());
    if (!leaf) {
        reason = "no usable client certificate";
        return status::BadCertificateInvalid;
    }
    AsymmetricParties parties;
    parties.policy = info_.policy;
    parties.ownKey = security_->own.key.get();
    parties.peerKey = key.get();
    if (const StatusCode s = decodeAsymmetricChunk(chunk, headerEnd, parties, plain, reason); isBad(s))
        return s;
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
        current_.clientKeys = deriveKeys(*policy, serverNonce, view(clientNonce));
        current_.serverKeys = deriveKeys(*policy, view(clientNonce), serverNonce);
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
    } else if (const StatusCode s = peekSymmetricHeader(chunk, sc, reason); isBad(s)) {
        return s;
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
        if (const StatusCode s =
                decodeSymmetricChunk(chunk, info_.mode, token->clientKeys, plain_, sc, reason);
            isBad(s))
            return s;
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
    AsymmetricParties parties;
    parties.policy = info_.policy;
    parties.ownCertificate = security_->own.der;
    parties.ownKey = security_->own.key.get();
    parties.peerKey = clientKey_.get();
    parties.peerThumbprint = clientThumbprint_;
    return encodeAsymmetricChunk(id_, parties, requestId, body, peer.bufferSize, sendSequence_, out);
}

StatusCode SecureChannel::encodeSymmetric(MessageType type, uint32_t requestId, std::span<const uint8_t> body,
                                          const ChunkLimits& peer, std::vector<uint8_t>& out)
{
    // Until the client uses a renewed token, the server keeps sending with the one it knows.
    const Token& token = previous_.valid ? previous_ : current_;
    const ChunkHeaderFields fields{type, id_, token.id, requestId};
    return encodeSymmetricChunks(fields, info_.mode, token.serverKeys, body, peer, sendSequence_, out);
}

}  // namespace orva::opcua
