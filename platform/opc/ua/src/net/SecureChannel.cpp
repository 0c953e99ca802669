#include "net/SecureChannel.h"

#include <algorithm>

#include "EngineInternal.h"

namespace opcua {

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

StatusCode SecureChannel::open(const SecureChunk& sc, const ServerLimits& limits, ChannelNumbers& numbers,
                               Clock::time_point now, std::vector<uint8_t>& response, std::string& reason)
{
    if (sc.chunkType != 'F') {
        reason = "OpenSecureChannel must fit one chunk";
        return status::BadTcpMessageTooLarge;
    }
    if (sc.securityPolicyUri != kSecurityPolicyNone) {
        reason = "only SecurityPolicy None is offered";
        return status::BadSecurityPolicyRejected;
    }
    Reader r(sc.body);
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
    const uint32_t securityMode = r.u32();
    r.byteString();
    const uint32_t requestedLifetime = r.u32();
    if (!r.ok() || !type.isNumeric(svc::OpenSecureChannel)) {
        reason = "malformed OpenSecureChannel request";
        return status::BadDecodingError;
    }
    if (securityMode != 1) {
        reason = "only security mode None is offered";
        return status::BadSecurityModeRejected;
    }
    const bool renew = requestType == 1;
    if (requestType > 1 || renew != isOpen() || (renew && sc.channelId != id_)) {
        reason = renew ? "renewal of an unknown channel" : "channel already open";
        return status::BadTcpSecureChannelUnknown;
    }
    if (!checkSequence(sc.sequenceNumber)) {
        reason = "sequence number out of order";
        return status::BadSequenceNumberInvalid;
    }
    if (renew)
        previous_ = current_;
    else
        id_ = numbers.nextChannelId++;
    current_.id = numbers.nextTokenId++;
    current_.created = now;
    current_.lifetimeMs = std::clamp(requestedLifetime, limits.minTokenLifetime, limits.maxTokenLifetime);
    current_.valid = true;

    Writer w(response);
    w.nodeId(NodeId::num(svc::OpenSecureChannel + 3));
    writeResponseHeader(w, requestHandle, status::Good);
    w.u32(0);  // server protocol version
    w.u32(id_);
    w.u32(current_.id);
    w.dateTime(opcua::now());
    w.u32(current_.lifetimeMs);
    w.byteString("");  // server nonce: empty under None
    return status::Good;
}

StatusCode SecureChannel::accept(const SecureChunk& sc, Clock::time_point now, std::string& reason)
{
    if (!isOpen() || sc.channelId != id_) {
        reason = "unknown secure channel";
        return status::BadTcpSecureChannelUnknown;
    }
    if (sc.tokenId == current_.id && !current_.expired(now)) {
        previous_.valid = false;  // the client moved to the renewed token
    } else if (!(previous_.valid && sc.tokenId == previous_.id && !previous_.expired(now))) {
        reason = "unknown or expired security token";
        return status::BadSecureChannelTokenUnknown;
    }
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
    const ChunkHeaderFields fields{type, id_, current_.id, requestId};
    return encodeChunks(fields, body, peer, sendSequence_, out);
}

}  // namespace opcua
