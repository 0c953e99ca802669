// Session services: CreateSession, ActivateSession, CloseSession.
#include <algorithm>

#include "EngineInternal.h"

namespace opcua {

void Engine::createSession(RequestContext& ctx, Reader& r)
{
    // Client description: application description.
    r.string();
    r.string();
    r.localizedText();
    r.i32();
    r.string();
    r.string();
    skipStringArray(r);
    r.string();  // server uri
    const std::string requestedUrl = r.string();
    std::string name = r.string();
    r.byteString();  // client nonce
    r.byteString();  // client certificate
    const double requestedTimeout = r.f64();
    r.u32();  // max response message size: the channel's limits already cap responses
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    if (state_ == ServerState::Shutdown) return sendFault(ctx, status::BadShutdown);
    if (sessions_->size() >= limits_.maxSessions) return sendFault(ctx, status::BadTooManySessions);

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
    double timeout = requestedTimeout;
    if (!(timeout >= limits_.minSessionTimeout)) timeout = limits_.minSessionTimeout;  // also NaN
    s->timeoutMs = std::min(timeout, limits_.maxSessionTimeout);
    s->lastActivity = Clock::now();
    s->name = std::move(name);
    s->client = backend_.openClient();
    const Session& session = *s;

    sendResponse(ctx, svc::CreateSession, [&](Writer& w) {
        w.nodeId(session.sessionId);
        w.nodeId(session.authenticationToken);
        w.f64(session.timeoutMs);
        w.byteString(randomBytes(32));  // server nonce
        w.nullString();                 // server certificate
        w.arrayLength(1);
        writeEndpoint(w, endpointUrlFor(ctx, requestedUrl));
        w.emptyArray();  // server software certificates
        w.nullString();  // signature: algorithm
        w.nullString();  //            signature
        w.u32(limits_.maxMessageSize);
    });
}

void Engine::activateSession(RequestContext& ctx, Reader& r)
{
    r.string();      // client signature algorithm
    r.byteString();  // signature
    r.array<int>(
        [](Reader& x) {
            x.byteString();
            x.byteString();
            return 0;
        },
        8);
    skipStringArray(r);
    const ExtensionObject token = r.extensionObject();
    r.string();
    r.byteString();
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);

    Session* s = ctx.session;
    const bool anonymous = (token.typeId.isNull() && token.encoding == 0) ||
                           token.typeId.isNumeric(svc::AnonymousIdentityToken) ||
                           token.typeId.isNumeric(svc::AnonymousIdentityTokenType);
    if (!anonymous) return sendFault(ctx, status::BadIdentityTokenRejected);
    // An anonymous session may move to another secure channel, for instance after a reconnect.
    if (s->channelId != ctx.channelId) {
        for (auto& p : s->publishQueue)
            sendFault(replyContext(p), status::BadSecureChannelClosed);
        s->publishQueue.clear();
    }
    s->channelId = ctx.channelId;
    s->activated = true;
    s->lastActivity = Clock::now();
    sendResponse(ctx, svc::ActivateSession, [&](Writer& w) {
        w.byteString(randomBytes(32));
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

}  // namespace opcua
