// Session services: CreateSession, ActivateSession, CloseSession.
#include <algorithm>

#include "EngineInternal.h"
#include "crypto/Crypto.h"
#include "crypto/ServerSecurity.h"

namespace orva::opcua {

void Engine::createSession(RequestContext& ctx, Reader& r)
{
    // Client description: application description.
    const std::string applicationUri = r.string();
    r.string();
    r.localizedText();
    r.i32();
    r.string();
    r.string();
    skipStringArray(r);
    r.string();  // server uri
    const std::string requestedUrl = r.string();
    std::string name = r.string();
    const std::string clientNonce = r.byteString();
    const std::string clientCertificate = r.byteString();
    const double requestedTimeout = r.f64();
    r.u32();  // max response message size: the channel's limits already cap responses
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    if (state_ == ServerState::Shutdown) return sendFault(ctx, status::BadShutdown);
    if (sessions_->size() >= limits_.maxSessions) return sendFault(ctx, status::BadTooManySessions);
    const std::string clientAddress = ctx.security != nullptr ? ctx.security->peerAddress : std::string();
    if (!clientAddress.empty()) {
        // Sessions whose client vanished count until they time out: that is what the limit is for.
        const auto fromClient = std::count_if(sessions_->begin(), sessions_->end(), [&](const auto& entry) {
            return entry.second->clientAddress == clientAddress;
        });
        if (static_cast<uint32_t>(fromClient) >= limits_.maxSessionsPerAddress)
            return sendFault(ctx, status::BadTooManySessions);
    }
    if (const StatusCode s = checkCreateSession(ctx, applicationUri, clientNonce, clientCertificate);
        isBad(s))
        return sendFault(ctx, s);

    Session* s = &sessions_->create();
    s->sessionId = NodeId::num(s->key, 1);
    s->sessionId.kind = NodeId::Kind::Guid;
    const std::string g = randomBytes(16);
    std::copy(g.begin() + 8, g.end(), s->sessionId.guid.data4.begin());
    s->sessionId.guid.data1 = s->key;
    s->authenticationToken.kind = NodeId::Kind::Opaque;
    s->authenticationToken.ns = 1;
    s->authenticationToken.text = randomBytes(32);
    s->channelId = ctx.channelId;
    s->clientAddress = clientAddress;
    double timeout = requestedTimeout;
    if (!(timeout >= limits_.minSessionTimeout)) timeout = limits_.minSessionTimeout;  // also NaN
    s->timeoutMs = std::min(timeout, limits_.maxSessionTimeout);
    s->lastActivity = Clock::now();
    s->name = std::move(name);
    s->client = backend_.openClient();
    s->serverNonce = randomBytes(32);
    if (ctx.security != nullptr && ctx.security->policy->secure) {
        const auto& c = ctx.security->clientCertificate;
        s->clientCertificate.assign(c.begin(), c.end());
    }
    const Session& session = *s;
    // A secured session proves the server holds its certificate's key: it signs the client's
    // certificate and nonce.
    std::string signatureAlgorithm;
    crypto::Bytes signature;
    if (ctx.security != nullptr && ctx.security->policy->secure) {
        std::string data = clientCertificate + clientNonce;
        const SecurityPolicy& p = *ctx.security->policy;
        if (crypto::rsaSign(security_->own.key.get(), p.asymmetricSignature,
                            crypto::ByteView(reinterpret_cast<const uint8_t*>(data.data()), data.size()),
                            signature))
            signatureAlgorithm = p.asymmetricSignatureUri;
    }
    const std::string serverCertificate =
        security_ && !security_->own.der.empty()
            ? std::string(security_->own.der.begin(), security_->own.der.end())
            : std::string();

    sendResponse(ctx, svc::CreateSession, [&](Writer& w) {
        w.nodeId(session.sessionId);
        w.nodeId(session.authenticationToken);
        w.f64(session.timeoutMs);
        w.byteString(session.serverNonce);
        if (serverCertificate.empty())
            w.nullString();
        else
            w.byteString(serverCertificate);
        writeEndpoints(w, endpointUrlFor(ctx, requestedUrl));
        w.emptyArray();  // server software certificates
        w.signatureData(signatureAlgorithm, signature);
        w.u32(limits_.maxMessageSize);
    });
}

void Engine::activateSession(RequestContext& ctx, Reader& r)
{
    const std::string signatureAlgorithm = r.string();
    const std::string signature = r.byteString();
    skipSoftwareCertificates(r);
    skipStringArray(r);
    const ExtensionObject token = r.extensionObject();
    std::pair<std::string, std::string> tokenSignature;
    tokenSignature.first = r.string();
    tokenSignature.second = r.byteString();
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);

    Session* s = ctx.session;
    if (const StatusCode st = checkClientSignature(ctx, *s, signatureAlgorithm, signature); isBad(st))
        return sendFault(ctx, st);
    if (const StatusCode st = logon(ctx, *s, token, tokenSignature); isBad(st)) {
        s->serverNonce = randomBytes(32);  // a retry signs a fresh nonce
        return sendFault(ctx, st);
    }
    // A session may move to another secure channel, for instance after a reconnect.
    if (s->channelId != ctx.channelId) {
        for (auto& p : s->publishQueue)
            sendFault(replyContext(p), status::BadSecureChannelClosed);
        s->publishQueue.clear();
    }
    s->channelId = ctx.channelId;
    s->activated = true;
    s->lastActivity = Clock::now();
    s->serverNonce = randomBytes(32);
    sendResponse(ctx, svc::ActivateSession, [&](Writer& w) {
        w.byteString(s->serverNonce);
        w.emptyArray();
        w.emptyArray();
    });
}

void Engine::closeSession(RequestContext& ctx, Reader& r)
{
    r.boolean();  // delete subscriptions: subscriptions never outlive their session here
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    Session* s = ctx.session;
    // The session is gone before the client hears so, so that whoever waits for the response sees
    // its effects (the backend client closed, the last-session hook run).
    closeSession(s->key);
    sendResponse(ctx, svc::CloseSession, [](Writer&) {});
}

void Engine::closeSession(uint32_t key)
{
    Session* found = sessions_->find(key);
    if (found == nullptr) return;
    Session& s = *found;
    for (auto& p : s.publishQueue)
        sendFault(replyContext(p), status::BadSessionClosed);
    s.publishQueue.clear();
    while (!s.subscriptions.empty())
        deleteSubscription(s, s.subscriptions.begin()->first);
    backend_.closeClient(s.client);
    sessions_->erase(key);
    if (sessions_->empty() && lastSessionClosed_) lastSessionClosed_();
}

}  // namespace orva::opcua
