#include "opcua/Engine.h"

#include <algorithm>
#include <random>

#include "EngineInternal.h"
#include "config/VarType.h"

namespace opcua {

namespace {
constexpr const char* kTransportProfile = "http://opcfoundation.org/UA-Profile/Transport/uatcp-uasc-uabinary";
constexpr const char* kAnonymousPolicyId = "anonymous";

std::string randomBytes(size_t n)
{
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    std::string out(n, '\0');
    for (auto& c : out)
        c = static_cast<char>(rng() & 0xFF);
    return out;
}

// Skips a request's trailing fields that the server does not use, such as localeIds arrays.
void skipStringArray(Reader& r)
{
    r.array<std::string>([](Reader& x) { return x.string(); }, 4);
}
}  // namespace

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
      space_(backend),
      inbox_(std::make_shared<Inbox>()),
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

void Engine::handleMessage(uint32_t channelId, uint32_t requestId, std::span<const uint8_t> body)
{
    Reader r(body);
    RequestContext ctx;
    ctx.channelId = channelId;
    ctx.requestId = requestId;
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
    if (type.ns != 0 || type.kind != NodeId::Kind::Numeric) {
        sendFault(ctx, status::BadServiceUnsupported);
        return;
    }
    dispatch(type.numeric, ctx, r);
}

void Engine::dispatch(uint32_t typeId, RequestContext& ctx, Reader& r)
{
    switch (typeId) {
        case svc::FindServers:
            return findServers(ctx, r);
        case svc::GetEndpoints:
            return getEndpoints(ctx, r);
        case svc::CreateSession:
            return createSession(ctx, r);
        case svc::ActivateSession:
            return activateSession(ctx, r);
        case svc::CloseSession:
            return closeSession(ctx, r);
        case svc::Browse:
            return browse(ctx, r);
        case svc::BrowseNext:
            return browseNext(ctx, r);
        case svc::Translate:
            return translate(ctx, r);
        case svc::RegisterNodes:
            return registerNodes(ctx, r, false);
        case svc::UnregisterNodes:
            return registerNodes(ctx, r, true);
        case svc::Read:
            return read(ctx, r);
        case svc::Write:
            return write(ctx, r);
        case svc::CreateSubscription:
            return createSubscription(ctx, r);
        case svc::ModifySubscription:
            return modifySubscription(ctx, r);
        case svc::SetPublishingMode:
            return setPublishingMode(ctx, r);
        case svc::DeleteSubscriptions:
            return deleteSubscriptions(ctx, r);
        case svc::CreateMonitoredItems:
            return createMonitoredItems(ctx, r);
        case svc::ModifyMonitoredItems:
            return modifyMonitoredItems(ctx, r);
        case svc::SetMonitoringMode:
            return setMonitoringMode(ctx, r);
        case svc::DeleteMonitoredItems:
            return deleteMonitoredItems(ctx, r);
        case svc::Publish:
            return publish(ctx, r);
        case svc::Republish:
            return republish(ctx, r);
        default:
            return sendFault(ctx, status::BadServiceUnsupported);
    }
}

Engine::Session* Engine::sessionFor(RequestContext& ctx, bool requireActivated)
{
    for (auto& [key, s] : sessions_) {
        if (!(s->authenticationToken == ctx.authenticationToken)) continue;
        if (s->activated && s->channelId != ctx.channelId) {
            sendFault(ctx, status::BadSecureChannelIdInvalid);
            return nullptr;
        }
        if (requireActivated && !s->activated) {
            sendFault(ctx, status::BadSessionNotActivated);
            return nullptr;
        }
        s->lastActivity = Clock::now();
        return s.get();
    }
    sendFault(ctx, status::BadSessionIdInvalid);
    return nullptr;
}

// ---- Discovery -------------------------------------------------------------------------------

void Engine::writeApplicationDescription(Writer& w) const
{
    w.string(info_.applicationUri);
    w.string(info_.productUri);
    w.localizedText(LocalizedText{"", info_.applicationName});
    w.i32(0);  // server
    w.nullString();
    w.nullString();
    w.arrayLength(1);
    w.string(info_.endpointUrl);
}

void Engine::writeEndpoint(Writer& w) const
{
    w.string(info_.endpointUrl);
    writeApplicationDescription(w);
    w.nullString();  // server certificate
    w.i32(1);        // MessageSecurityMode None
    w.string(kSecurityPolicyNone);
    w.arrayLength(1);  // user token policies
    w.string(kAnonymousPolicyId);
    w.i32(0);  // anonymous
    w.nullString();
    w.nullString();
    w.nullString();
    w.string(kTransportProfile);
    w.u8(0);  // security level
}

void Engine::findServers(RequestContext& ctx, Reader& r)
{
    r.string();
    skipStringArray(r);
    skipStringArray(r);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    sendResponse(ctx, svc::FindServers, [&](Writer& w) {
        w.arrayLength(1);
        writeApplicationDescription(w);
    });
}

void Engine::getEndpoints(RequestContext& ctx, Reader& r)
{
    r.string();
    skipStringArray(r);
    const auto profiles = r.array<std::string>([](Reader& x) { return x.string(); }, 4);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    const bool offered =
        profiles.empty() || std::find(profiles.begin(), profiles.end(), kTransportProfile) != profiles.end();
    sendResponse(ctx, svc::GetEndpoints, [&](Writer& w) {
        w.arrayLength(offered ? 1 : 0);
        if (offered) writeEndpoint(w);
    });
}

// ---- Sessions --------------------------------------------------------------------------------

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
    r.string();  // endpoint url
    std::string name = r.string();
    r.byteString();  // client nonce
    r.byteString();  // client certificate
    const double requestedTimeout = r.f64();
    r.u32();  // max response message size: the channel's limits already cap responses
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    if (state_ == ServerState::Shutdown) return sendFault(ctx, status::BadShutdown);
    if (sessions_.size() >= limits_.maxSessions) return sendFault(ctx, status::BadTooManySessions);

    auto s = std::make_unique<Session>();
    s->key = nextSessionKey_++;
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
    Session& session = *s;
    sessions_.emplace(s->key, std::move(s));

    sendResponse(ctx, svc::CreateSession, [&](Writer& w) {
        w.nodeId(session.sessionId);
        w.nodeId(session.authenticationToken);
        w.f64(session.timeoutMs);
        w.byteString(randomBytes(32));  // server nonce
        w.nullString();                 // server certificate
        w.arrayLength(1);
        writeEndpoint(w);
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

    Session* s = nullptr;
    for (auto& [key, candidate] : sessions_)
        if (candidate->authenticationToken == ctx.authenticationToken) s = candidate.get();
    if (s == nullptr) return sendFault(ctx, status::BadSessionIdInvalid);
    const bool anonymous = (token.typeId.isNull() && token.encoding == 0) ||
                           token.typeId.isNumeric(svc::AnonymousIdentityToken) ||
                           token.typeId.isNumeric(svc::AnonymousIdentityTokenType);
    if (!anonymous) return sendFault(ctx, status::BadIdentityTokenRejected);
    // An anonymous session may move to another secure channel, for instance after a reconnect.
    if (s->channelId != ctx.channelId) {
        for (auto& p : s->publishQueue) {
            RequestContext old{p.channelId, p.requestId, {}, p.requestHandle, 0};
            sendFault(old, status::BadSecureChannelClosed);
        }
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
    Session* s = sessionFor(ctx, false);
    if (s == nullptr) return;
    // The session is gone before the client hears so, so that whoever waits for the response sees
    // its effects (the backend client closed, the last-session hook run).
    closeSession(s->key);
    sendResponse(ctx, svc::CloseSession, [](Writer&) {});
}

void Engine::closeSession(uint32_t key)
{
    const auto it = sessions_.find(key);
    if (it == sessions_.end()) return;
    Session& s = *it->second;
    for (auto& p : s.publishQueue) {
        RequestContext old{p.channelId, p.requestId, {}, p.requestHandle, 0};
        sendFault(old, status::BadSessionClosed);
    }
    s.publishQueue.clear();
    while (!s.subscriptions.empty())
        deleteSubscription(s, s.subscriptions.begin()->first);
    backend_.closeClient(s.client);
    sessions_.erase(it);
    if (sessions_.empty() && lastSessionClosed_) lastSessionClosed_();
}

void Engine::closeAllSessions()
{
    while (!sessions_.empty())
        closeSession(sessions_.begin()->first);
}

void Engine::channelClosed(uint32_t channelId)
{
    for (auto& [key, s] : sessions_) {
        if (s->channelId != channelId) continue;
        std::erase_if(s->publishQueue, [&](const PendingPublish& p) { return p.channelId == channelId; });
    }
}

void Engine::beginShutdown(const std::string& reason)
{
    state_ = ServerState::Shutdown;
    shutdownReason_ = reason;
}

// ---- Browse ----------------------------------------------------------------------------------

namespace {
struct BrowseDescription {
    NodeId nodeId;
    int32_t direction = 0;
    NodeId referenceType;
    bool includeSubtypes = true;
    uint32_t nodeClassMask = 0;
    uint32_t resultMask = 0x3F;
};

void writeBrowseResult(Writer& w, StatusCode s, const std::string& continuationPoint,
                       std::span<const ReferenceDescription> refs, uint32_t mask)
{
    w.statusCode(s);
    if (continuationPoint.empty())
        w.nullString();
    else
        w.byteString(continuationPoint);
    w.arrayLength(refs.size());
    for (const auto& ref : refs)
        writeReferenceDescription(w, ref, mask);
}
}  // namespace

void Engine::browse(RequestContext& ctx, Reader& r)
{
    const NodeId view = r.nodeId();
    r.dateTime();
    r.u32();
    uint32_t maxRefs = r.u32();
    const auto nodes = r.array<BrowseDescription>(
        [](Reader& x) {
            BrowseDescription d;
            d.nodeId = x.nodeId();
            d.direction = x.i32();
            d.referenceType = x.nodeId();
            d.includeSubtypes = x.boolean();
            d.nodeClassMask = x.u32();
            d.resultMask = x.u32();
            return d;
        },
        13);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    Session* s = sessionFor(ctx, true);
    if (s == nullptr) return;
    if (!view.isNull()) return sendFault(ctx, status::BadViewIdUnknown);
    if (nodes.empty()) return sendFault(ctx, status::BadNothingToDo);
    if (nodes.size() > limits_.maxNodesPerBrowse) return sendFault(ctx, status::BadTooManyOperations);
    if (maxRefs == 0 || maxRefs > limits_.maxReferencesPerNode) maxRefs = limits_.maxReferencesPerNode;

    sendResponse(ctx, svc::Browse, [&](Writer& w) {
        w.arrayLength(nodes.size());
        for (const auto& d : nodes) {
            if (d.direction < 0 || d.direction > 2) {
                writeBrowseResult(w, status::BadBrowseDirectionInvalid, {}, {}, 0);
                continue;
            }
            if (!d.referenceType.isNull() && !space_.isReferenceType(d.referenceType)) {
                writeBrowseResult(w, status::BadReferenceTypeIdInvalid, {}, {}, 0);
                continue;
            }
            const auto refs = space_.references(d.nodeId);
            if (!refs) {
                writeBrowseResult(w, status::BadNodeIdUnknown, {}, {}, 0);
                continue;
            }
            std::vector<ReferenceDescription> out;
            for (const auto& ref : *refs) {
                if (d.direction == 0 && !ref.isForward) continue;
                if (d.direction == 1 && ref.isForward) continue;
                if (!d.referenceType.isNull() &&
                    !(d.includeSubtypes ? space_.isSubtypeOf(ref.referenceType, d.referenceType)
                                        : ref.referenceType == d.referenceType))
                    continue;
                const auto target = space_.find(ref.target);
                if (!target) continue;
                if (d.nodeClassMask != 0 && (d.nodeClassMask & static_cast<uint32_t>(target->nodeClass)) == 0)
                    continue;
                out.push_back(ReferenceDescription{ref.referenceType, ref.isForward, ref.target,
                                                   target->browseName, target->displayName, target->nodeClass,
                                                   target->typeDefinition});
            }
            if (out.size() <= maxRefs) {
                writeBrowseResult(w, status::Good, {}, out, d.resultMask);
                continue;
            }
            if (s->continuationPoints.size() >= limits_.maxBrowseContinuationPoints) {
                writeBrowseResult(w, status::BadNoContinuationPoints, {}, {}, 0);
                continue;
            }
            std::string cp = "cp" + std::to_string(s->nextContinuationPoint++);
            ContinuationPoint point{{out.begin() + maxRefs, out.end()}, maxRefs, d.resultMask};
            writeBrowseResult(w, status::Good, cp, std::span(out).first(maxRefs), d.resultMask);
            s->continuationPoints.emplace(std::move(cp), std::move(point));
        }
        w.emptyArray();
    });
}

void Engine::browseNext(RequestContext& ctx, Reader& r)
{
    const bool release = r.boolean();
    const auto points = r.array<std::string>([](Reader& x) { return x.byteString(); }, 4);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    Session* s = sessionFor(ctx, true);
    if (s == nullptr) return;
    if (points.empty()) return sendFault(ctx, status::BadNothingToDo);
    if (points.size() > limits_.maxNodesPerBrowse) return sendFault(ctx, status::BadTooManyOperations);
    sendResponse(ctx, svc::BrowseNext, [&](Writer& w) {
        w.arrayLength(points.size());
        for (const auto& name : points) {
            const auto it = s->continuationPoints.find(name);
            if (it == s->continuationPoints.end()) {
                writeBrowseResult(w, status::BadContinuationPointInvalid, {}, {}, 0);
                continue;
            }
            ContinuationPoint cp = std::move(it->second);
            s->continuationPoints.erase(it);
            if (release) {
                writeBrowseResult(w, status::Good, {}, {}, 0);
                continue;
            }
            const size_t n = std::min<size_t>(cp.maxReferences, cp.remaining.size());
            const std::span<const ReferenceDescription> now(cp.remaining.data(), n);
            if (n == cp.remaining.size()) {
                writeBrowseResult(w, status::Good, {}, now, cp.resultMask);
                continue;
            }
            std::string next = "cp" + std::to_string(s->nextContinuationPoint++);
            writeBrowseResult(w, status::Good, next, now, cp.resultMask);
            cp.remaining.erase(cp.remaining.begin(), cp.remaining.begin() + static_cast<ptrdiff_t>(n));
            s->continuationPoints.emplace(std::move(next), std::move(cp));
        }
        w.emptyArray();
    });
}

void Engine::translate(RequestContext& ctx, Reader& r)
{
    struct Element {
        NodeId referenceType;
        bool isInverse = false;
        bool includeSubtypes = true;
        QualifiedName target;
    };
    struct Path {
        NodeId start;
        std::vector<Element> elements;
    };
    const auto paths = r.array<Path>(
        [](Reader& x) {
            Path p;
            p.start = x.nodeId();
            p.elements = x.array<Element>(
                [](Reader& y) {
                    Element e;
                    e.referenceType = y.nodeId();
                    e.isInverse = y.boolean();
                    e.includeSubtypes = y.boolean();
                    e.target = y.qualifiedName();
                    return e;
                },
                10);
            return p;
        },
        6);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    if (sessionFor(ctx, true) == nullptr) return;
    if (paths.empty()) return sendFault(ctx, status::BadNothingToDo);
    if (paths.size() > limits_.maxNodesPerTranslate) return sendFault(ctx, status::BadTooManyOperations);

    sendResponse(ctx, svc::Translate, [&](Writer& w) {
        w.arrayLength(paths.size());
        for (const auto& p : paths) {
            StatusCode result = status::Good;
            std::vector<NodeId> current;
            if (!space_.find(p.start))
                result = status::BadNodeIdUnknown;
            else if (p.elements.empty())
                result = status::BadNothingToDo;
            else
                current.push_back(p.start);
            for (const auto& e : p.elements) {
                if (isBad(result)) break;
                if (e.target.name.empty()) {
                    result = status::BadBrowseNameInvalid;
                    break;
                }
                const NodeId refType =
                    e.referenceType.isNull() ? NodeId::num(id::HierarchicalReferences) : e.referenceType;
                std::vector<NodeId> next;
                for (const auto& node : current) {
                    const auto refs = space_.references(node);
                    if (!refs) continue;
                    for (const auto& ref : *refs) {
                        if (ref.isForward == e.isInverse) continue;
                        if (!(e.includeSubtypes ? space_.isSubtypeOf(ref.referenceType, refType)
                                                : ref.referenceType == refType))
                            continue;
                        const auto target = space_.find(ref.target);
                        if (target && target->browseName == e.target) next.push_back(ref.target);
                    }
                    if (next.size() > 100) break;  // enough matches; keeps a hostile path cheap
                }
                current = std::move(next);
                if (current.empty()) result = status::BadNoMatch;
            }
            w.statusCode(result);
            if (isBad(result)) {
                w.emptyArray();
                continue;
            }
            w.arrayLength(current.size());
            for (const auto& target : current) {
                w.expandedNodeId(ExpandedNodeId{target, {}, 0});
                w.u32(0xFFFFFFFF);
            }
        }
        w.emptyArray();
    });
}

void Engine::registerNodes(RequestContext& ctx, Reader& r, bool unregister)
{
    const auto nodes = r.array<NodeId>([](Reader& x) { return x.nodeId(); }, 2);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    if (sessionFor(ctx, true) == nullptr) return;
    if (nodes.empty()) return sendFault(ctx, status::BadNothingToDo);
    if (nodes.size() > limits_.maxNodesPerRegisterNodes) return sendFault(ctx, status::BadTooManyOperations);
    // Node ids are used as they are; registering hands the same ids back.
    sendResponse(ctx, unregister ? svc::UnregisterNodes : svc::RegisterNodes, [&](Writer& w) {
        if (unregister) return;
        w.arrayLength(nodes.size());
        for (const auto& n : nodes)
            w.nodeId(n);
    });
}

// ---- Read ------------------------------------------------------------------------------------

Variant Engine::serverValue(uint32_t nodeId) const
{
    const auto strings = [](std::initializer_list<std::string> list) {
        std::vector<Scalar> v;
        for (const auto& s : list)
            v.emplace_back(s);
        return Variant::arrayOf(BuiltinType::String, std::move(v));
    };
    const auto u32 = [](uint32_t v) { return Variant::uint32(v); };
    const auto buildInfo = [&](Writer& w) {
        w.string(info_.productUri);
        w.string(info_.manufacturerName);
        w.string(info_.applicationName);
        w.string(info_.softwareVersion);
        w.string(info_.buildNumber);
        w.dateTime(startTime_);
    };
    switch (nodeId) {
        case id::ServerArray:
            return strings({info_.applicationUri});
        case id::NamespaceArray: {
            // The server's own nodes, when it has any, are the namespace after the configured one.
            const std::string own = backend_.ownNamespaceUri();
            if (own.empty()) return strings({"http://opcfoundation.org/UA/", info_.namespaceUri});
            return strings({"http://opcfoundation.org/UA/", info_.namespaceUri, own});
        }
        case id::ServiceLevel:
            return Variant::of(BuiltinType::Byte, uint64_t{state_ == ServerState::Running ? 255u : 0u});
        case id::ServerStatus: {
            ExtensionObject e;
            e.typeId = NodeId::num(svc::ServerStatusDataType);
            e.encoding = 1;
            std::vector<uint8_t> body;
            Writer w(body);
            w.dateTime(startTime_);
            w.dateTime(now());
            w.i32(static_cast<int32_t>(state_));
            buildInfo(w);
            w.u32(0);
            w.localizedText(LocalizedText{"", shutdownReason_});
            e.body.assign(body.begin(), body.end());
            return Variant::of(BuiltinType::ExtensionObject, std::move(e));
        }
        case id::StartTime:
            return Variant::dateTime(startTime_);
        case id::CurrentTime:
            return Variant::dateTime(now());
        case id::State:
            return Variant::int32(static_cast<int32_t>(state_));
        case id::BuildInfo: {
            ExtensionObject e;
            e.typeId = NodeId::num(340);
            e.encoding = 1;
            std::vector<uint8_t> body;
            Writer w(body);
            buildInfo(w);
            e.body.assign(body.begin(), body.end());
            return Variant::of(BuiltinType::ExtensionObject, std::move(e));
        }
        case id::ProductUri:
            return Variant::string(info_.productUri);
        case id::ManufacturerName:
            return Variant::string(info_.manufacturerName);
        case id::ProductName:
            return Variant::string(info_.applicationName);
        case id::SoftwareVersion:
            return Variant::string(info_.softwareVersion);
        case id::BuildNumber:
            return Variant::string(info_.buildNumber);
        case id::BuildDate:
            return Variant::dateTime(startTime_);
        case id::SecondsTillShutdown:
            return u32(0);
        case id::ShutdownReason:
            return Variant::of(BuiltinType::LocalizedText, LocalizedText{"", shutdownReason_});
        case id::ServerProfileArray:
            return strings({"http://opcfoundation.org/UA-Profile/Server/StandardUA2017"});
        case id::LocaleIdArray:
            return strings({"en"});
        case id::MinSupportedSampleRate:
            return Variant::dbl(limits_.minPublishingInterval);
        case id::MaxBrowseContinuationPoints:
            return Variant::of(BuiltinType::UInt16, uint64_t{limits_.maxBrowseContinuationPoints});
        case id::MaxArrayLength:
            return u32(65535);
        case id::MaxStringLength:
            return u32(65535);
        case id::MaxNodesPerRead:
            return u32(limits_.maxNodesPerRead);
        case id::MaxNodesPerWrite:
            return u32(limits_.maxNodesPerWrite);
        case id::MaxNodesPerBrowse:
            return u32(limits_.maxNodesPerBrowse);
        case id::MaxNodesPerRegisterNodes:
            return u32(limits_.maxNodesPerRegisterNodes);
        case id::MaxNodesPerTranslateBrowsePathsToNodeIds:
            return u32(limits_.maxNodesPerTranslate);
        case id::MaxMonitoredItemsPerCall:
            return u32(limits_.maxMonitoredItemsPerCall);
        default:
            return {};
    }
}

DataValue Engine::readNonTagValue(const Node& node) const
{
    if (node.nodeClass != NodeClass::Variable && node.nodeClass != NodeClass::VariableType)
        return DataValue::ofStatus(status::BadAttributeIdInvalid);
    if (node.nodeClass == NodeClass::VariableType) return DataValue::ofValue(Variant{});
    const DateTime t = now();
    if (node.nodeId.ns == kOwnNamespace) return DataValue::ofValue(backend_.ownValue(node.nodeId.text), t, t);
    return DataValue::ofValue(serverValue(node.nodeId.numeric), t, t);
}

namespace {
struct ReadValueId {
    NodeId nodeId;
    uint32_t attributeId = 0;
    std::string indexRange;
    QualifiedName dataEncoding;
};

ReadValueId readReadValueId(Reader& x)
{
    ReadValueId v;
    v.nodeId = x.nodeId();
    v.attributeId = x.u32();
    v.indexRange = x.string();
    v.dataEncoding = x.qualifiedName();
    return v;
}

DataValue valueOfItem(const ItemValue& v, DateTime serverTime)
{
    DataValue d = DataValue::ofValue(v.value, v.timestamp, serverTime);
    d.status = statusFromQuality(v.quality);
    return d;
}
}  // namespace

void Engine::read(RequestContext& ctx, Reader& r)
{
    const double maxAge = r.f64();
    const int32_t timestamps = r.i32();
    const auto nodes = r.array<ReadValueId>(readReadValueId, 13);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    Session* s = sessionFor(ctx, true);
    if (s == nullptr) return;
    if (nodes.empty()) return sendFault(ctx, status::BadNothingToDo);
    if (nodes.size() > limits_.maxNodesPerRead) return sendFault(ctx, status::BadTooManyOperations);
    if (!(maxAge >= 0)) return sendFault(ctx, status::BadMaxAgeInvalid);
    if (timestamps < 0 || timestamps > 3) return sendFault(ctx, status::BadTimestampsToReturnInvalid);

    auto pending = std::make_shared<PendingRead>();
    pending->ctx = ctx;
    pending->sessionKey = s->key;
    pending->client = s->client;
    pending->maxAge = maxAge;
    pending->timestamps = static_cast<TimestampsToReturn>(timestamps);
    pending->results.resize(nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i) {
        const auto& rv = nodes[i];
        const auto node = space_.find(rv.nodeId);
        DataValue& out = pending->results[i];
        if (!node) {
            out = DataValue::ofStatus(status::BadNodeIdUnknown);
        } else if (rv.attributeId != attr::Value) {
            out = rv.indexRange.empty() ? space_.readAttribute(*node, rv.attributeId)
                                        : DataValue::ofStatus(status::BadIndexRangeInvalid);
        } else if (!rv.indexRange.empty()) {
            out = DataValue::ofStatus(status::BadIndexRangeInvalid);
        } else if (!rv.dataEncoding.name.empty()) {
            out = DataValue::ofStatus(status::BadDataEncodingInvalid);
        } else if (!node->isTag) {
            out = readNonTagValue(*node);
        } else if ((node->accessLevel & 0x01) == 0) {
            out = DataValue::ofStatus(status::BadNotReadable);
        } else {
            pending->slots.push_back(i);
            pending->itemIds.push_back(node->itemId);
        }
    }
    if (pending->slots.empty()) return finishRead(pending);

    const bool fromDevice = maxAge == 0;
    backend_.read(s->client, pending->itemIds, fromDevice,
                  [this, inbox = inbox_, pending, fromDevice](std::vector<ItemValue> values) {
                      inbox->post([this, pending, fromDevice, values = std::move(values)]() mutable {
                          const DateTime t = now();
                          std::vector<size_t> staleSlots;
                          std::vector<std::string> staleIds;
                          for (size_t k = 0; k < pending->slots.size(); ++k) {
                              const size_t slot = pending->slots[k];
                              if (k >= values.size()) {
                                  pending->results[slot] = DataValue::ofStatus(status::BadInternalError);
                                  continue;
                              }
                              const bool stale =
                                  !fromDevice &&
                                  (values[k].timestamp == 0 ||
                                   static_cast<double>(t - values[k].timestamp) / 10000.0 > pending->maxAge);
                              if (stale) {
                                  staleSlots.push_back(slot);
                                  staleIds.push_back(pending->itemIds[k]);
                                  continue;
                              }
                              pending->results[slot] = valueOfItem(values[k], t);
                          }
                          // A cached value older than MaxAge is read again from the device.
                          if (staleSlots.empty() || !sessions_.contains(pending->sessionKey))
                              return finishRead(pending);
                          pending->slots = std::move(staleSlots);
                          pending->itemIds = std::move(staleIds);
                          backend_.read(pending->client, pending->itemIds, true,
                                        [this, inbox = inbox_, pending](std::vector<ItemValue> again) {
                                            inbox->post([this, pending, again = std::move(again)] {
                                                const DateTime t2 = now();
                                                for (size_t k = 0; k < pending->slots.size(); ++k)
                                                    pending->results[pending->slots[k]] =
                                                        k < again.size()
                                                            ? valueOfItem(again[k], t2)
                                                            : DataValue::ofStatus(status::BadInternalError);
                                                finishRead(pending);
                                            });
                                        });
                      });
                  });
}

void Engine::finishRead(const std::shared_ptr<PendingRead>& pending)
{
    sendResponse(pending->ctx, svc::Read, [&](Writer& w) {
        w.arrayLength(pending->results.size());
        for (auto& v : pending->results) {
            applyTimestamps(v, pending->timestamps);
            w.dataValue(v);
        }
        w.emptyArray();
    });
}

// ---- Write -----------------------------------------------------------------------------------

void Engine::write(RequestContext& ctx, Reader& r)
{
    struct WriteValue {
        NodeId nodeId;
        uint32_t attributeId = 0;
        std::string indexRange;
        DataValue value;
    };
    auto nodes = r.array<WriteValue>(
        [](Reader& x) {
            WriteValue v;
            v.nodeId = x.nodeId();
            v.attributeId = x.u32();
            v.indexRange = x.string();
            v.value = x.dataValue();
            return v;
        },
        12);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    Session* s = sessionFor(ctx, true);
    if (s == nullptr) return;
    if (nodes.empty()) return sendFault(ctx, status::BadNothingToDo);
    if (nodes.size() > limits_.maxNodesPerWrite) return sendFault(ctx, status::BadTooManyOperations);

    struct PendingWrite {
        RequestContext ctx;
        std::vector<StatusCode> results;
        size_t outstanding = 0;
    };
    auto pending = std::make_shared<PendingWrite>();
    pending->ctx = ctx;
    pending->results.resize(nodes.size(), status::Good);
    auto finish = [this](const std::shared_ptr<PendingWrite>& p) {
        sendResponse(p->ctx, svc::Write, [&](Writer& w) {
            w.arrayLength(p->results.size());
            for (const StatusCode c : p->results)
                w.statusCode(c);
            w.emptyArray();
        });
    };
    std::vector<std::pair<size_t, std::string>> toWrite;
    for (size_t i = 0; i < nodes.size(); ++i) {
        const auto& wv = nodes[i];
        StatusCode& result = pending->results[i];
        const auto node = space_.find(wv.nodeId);
        if (!node) {
            result = status::BadNodeIdUnknown;
        } else if (wv.attributeId < attr::NodeId || wv.attributeId > 27) {
            result = status::BadAttributeIdInvalid;
        } else if (wv.attributeId != attr::Value || !node->isTag || (node->accessLevel & 0x02) == 0) {
            result = status::BadNotWritable;
        } else if (!wv.indexRange.empty()) {
            result = status::BadIndexRangeInvalid;
        } else if (!wv.value.hasValue || wv.value.value.type != builtinOfVarType(node->varType) ||
                   wv.value.value.isArray != orva::isArrayType(node->varType) ||
                   !wv.value.value.dimensions.empty()) {
            result = status::BadTypeMismatch;
        } else {
            toWrite.emplace_back(i, node->itemId);
        }
    }
    if (toWrite.empty()) return finish(pending);
    pending->outstanding = toWrite.size();
    for (const auto& entry : toWrite) {
        const size_t index = entry.first;
        backend_.write(s->client, entry.second, nodes[index].value.value,
                       [inbox = inbox_, pending, index, finish](bool ok, uint8_t quality) {
                           inbox->post([pending, index, ok, quality, finish] {
                               StatusCode result = status::Good;
                               if (!ok) {
                                   result = statusFromQuality(quality);
                                   if (!isBad(result)) result = status::Bad;
                               }
                               pending->results[index] = result;
                               if (--pending->outstanding == 0) finish(pending);
                           });
                       });
    }
}

}  // namespace opcua
