// The engine's core: request headers, the service table's checks before a handler runs, responses
// and faults, and the inbox that brings the backend's completions onto the engine's thread.
#include "opcua/Engine.h"

#include <algorithm>

#include "EngineInternal.h"
#include "crypto/Crypto.h"
#include "crypto/ServerSecurity.h"

namespace orva::opcua {

std::string randomBytes(size_t n)
{
    // Authentication tokens and nonces: from the system's cryptographic generator, never from a
    // predictable one.
    const crypto::Bytes bytes = crypto::randomBytes(n);
    return std::string(bytes.begin(), bytes.end());
}

void skipStringArray(Reader& r)
{
    r.array<std::string>([](Reader& x) { return x.string(); }, 4);
}

void writeResponseHeader(Writer& w, uint32_t requestHandle, StatusCode serviceResult)
{
    w.dateTime(now());
    w.u32(requestHandle);
    w.statusCode(serviceResult);
    w.emptyDiagnosticInfo();
    w.emptyArray();  // string table
    w.extensionObject(ExtensionObject{});
}

void writeReferenceDescription(Writer& w, const ReferenceDescription& r, uint32_t mask)
{
    w.nodeId((mask & 0x01) ? r.referenceType : NodeId{});
    w.boolean((mask & 0x02) ? r.isForward : true);
    w.expandedNodeId(ExpandedNodeId{r.target, {}, 0});
    w.qualifiedName((mask & 0x08) ? r.browseName : QualifiedName{});
    w.localizedText((mask & 0x10) ? r.displayName : LocalizedText{});
    w.i32((mask & 0x04) ? static_cast<int32_t>(r.nodeClass) : 0);
    w.expandedNodeId(ExpandedNodeId{(mask & 0x20) ? r.typeDefinition : NodeId{}, {}, 0});
}

void applyTimestamps(DataValue& v, TimestampsToReturn which)
{
    if (which == TimestampsToReturn::Server || which == TimestampsToReturn::Neither) v.sourceTimestamp = 0;
    if (which == TimestampsToReturn::Source || which == TimestampsToReturn::Neither) v.serverTimestamp = 0;
}

Engine::Engine(Backend& backend, ServerInfo info, ServerLimits limits, SendFn send)
    : backend_(backend),
      info_(std::move(info)),
      limits_(limits),
      send_(std::move(send)),
      space_(backend, info_.eventTypes),
      inbox_(std::make_shared<Inbox>()),
      sessions_(std::make_unique<SessionTable>()),
      startTime_(now())
{
}

Engine::~Engine()
{
    closeAllSessions();
    std::lock_guard lock(inbox_->lock);
    inbox_->closed = true;
    inbox_->work.clear();
    inbox_->wake = nullptr;
}

void Engine::setWakeup(std::function<void()> wakeup)
{
    std::lock_guard lock(inbox_->lock);
    inbox_->wake = std::move(wakeup);
}

void Engine::Inbox::post(std::function<void()> w)
{
    // Completions may arrive from any thread; they are applied on the engine's thread.
    std::function<void()> wakeNow;
    {
        std::lock_guard guard(lock);
        if (closed) return;
        work.push_back(std::move(w));
        wakeNow = wake;
    }
    if (wakeNow) wakeNow();
}

void Engine::processInbox()
{
    std::vector<std::function<void()>> work;
    {
        std::lock_guard lock(inbox_->lock);
        work.swap(inbox_->work);
    }
    for (auto& w : work)
        w();
}

void Engine::sendResponse(const RequestContext& ctx, uint32_t typeId,
                          const std::function<void(Writer&)>& body, StatusCode serviceResult)
{
    std::vector<uint8_t> out;
    out.reserve(256);
    Writer w(out);
    w.nodeId(NodeId::num(typeId + 3));
    writeResponseHeader(w, ctx.requestHandle, serviceResult);
    body(w);
    send_(ctx.channelId, ctx.requestId, std::move(out));
}

void Engine::sendFault(const RequestContext& ctx, StatusCode s)
{
    std::vector<uint8_t> out;
    Writer w(out);
    w.nodeId(NodeId::num(svc::ServiceFault));
    writeResponseHeader(w, ctx.requestHandle, s);
    send_(ctx.channelId, ctx.requestId, std::move(out));
}

void Engine::handleMessage(uint32_t channelId, uint32_t requestId, std::span<const uint8_t> body,
                           std::string_view endpointUrl, const ChannelSecurity* security)
{
    Reader r(body);
    RequestContext ctx;
    ctx.channelId = channelId;
    ctx.requestId = requestId;
    ctx.endpointUrl = endpointUrl;
    ctx.security = security;
    const NodeId type = r.nodeId();
    ctx.authenticationToken = r.nodeId();
    r.dateTime();
    ctx.requestHandle = r.u32();
    r.u32();     // return diagnostics
    r.string();  // audit entry id
    ctx.timeoutHint = r.u32();
    r.extensionObject();  // additional header
    if (!r.ok()) {
        sendFault(ctx, status::BadDecodingError);
        return;
    }
    const Service* service =
        type.ns == 0 && type.kind == NodeId::Kind::Numeric ? findService(type.numeric) : nullptr;
    if (service == nullptr) {
        sendFault(ctx, status::BadServiceUnsupported);
        return;
    }
    ctx.service = service;
    if (!attachSession(ctx, service->session)) return;
    (this->*service->handler)(ctx, r);
}

void Engine::setSecurity(std::shared_ptr<const ServerSecurity> security)
{
    security_ = std::move(security);
}

bool Engine::attachSession(RequestContext& ctx, SessionUse use)
{
    if (use == SessionUse::None) return true;
    Session* s = sessions_->byToken(ctx.authenticationToken);
    if (s == nullptr) {
        sendFault(ctx, status::BadSessionIdInvalid);
        return false;
    }
    ctx.session = s;
    // ActivateSession may come from another channel (a client that reconnected); it decides itself.
    if (use == SessionUse::Attach) return true;
    if (s->activated && s->channelId != ctx.channelId) {
        sendFault(ctx, status::BadSecureChannelIdInvalid);
        return false;
    }
    if (use == SessionUse::Activated && !s->activated) {
        sendFault(ctx, status::BadSessionNotActivated);
        return false;
    }
    s->lastActivity = Clock::now();
    return true;
}

bool Engine::admitOperations(RequestContext& ctx, size_t count)
{
    if (count == 0) {
        sendFault(ctx, status::BadNothingToDo);
        return false;
    }
    const uint32_t ServerLimits::*limit = ctx.service != nullptr ? ctx.service->operationLimit : nullptr;
    if (limit != nullptr && count > limits_.*limit) {
        sendFault(ctx, status::BadTooManyOperations);
        return false;
    }
    return true;
}

size_t Engine::sessionCount() const
{
    return sessions_->size();
}

void Engine::closeAllSessions()
{
    while (!sessions_->empty())
        closeSession(sessions_->firstKey());
}

void Engine::channelClosed(uint32_t channelId)
{
    for (auto& [key, s] : *sessions_) {
        if (s->channelId != channelId) continue;
        std::erase_if(s->publishQueue, [&](const PendingPublish& p) { return p.channelId == channelId; });
    }
}

void Engine::beginShutdown(const std::string& reason, std::chrono::milliseconds grace)
{
    state_ = ServerState::Shutdown;
    shutdownReason_ = reason;
    shutdownAt_ = Clock::now() + grace;
}

}  // namespace orva::opcua
