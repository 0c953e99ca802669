// Method service: Call. The Server object's GetMonitoredItems hands a client the server and client
// handles of one of its subscriptions' monitored items, so that it can resynchronise.
#include "EngineInternal.h"

namespace orva::opcua {

namespace {
struct CallMethodRequest {
    NodeId objectId;
    NodeId methodId;
    std::vector<Variant> inputArguments;
};

struct CallMethodResult {
    StatusCode status = status::Good;
    std::vector<StatusCode> inputArgumentResults;
    std::vector<Variant> outputArguments;
};

Variant uint32Array(const std::vector<uint32_t>& values)
{
    std::vector<Scalar> out;
    out.reserve(values.size());
    for (const uint32_t v : values)
        out.emplace_back(uint64_t{v});
    return Variant::arrayOf(BuiltinType::UInt32, std::move(out));
}
}  // namespace

void Engine::call(RequestContext& ctx, Reader& r)
{
    const auto requests = r.array<CallMethodRequest>(
        [](Reader& x) {
            CallMethodRequest c;
            c.objectId = x.nodeId();
            c.methodId = x.nodeId();
            c.inputArguments = x.array<Variant>([](Reader& y) { return y.variant(); }, 1);
            return c;
        },
        8);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    if (!admitOperations(ctx, requests.size())) return;
    Session& session = *ctx.session;

    std::vector<CallMethodResult> results(requests.size());
    for (size_t i = 0; i < requests.size(); ++i) {
        const CallMethodRequest& c = requests[i];
        CallMethodResult& res = results[i];
        const auto object = space_.find(c.objectId);
        if (!object || object->nodeClass != NodeClass::Object) {
            res.status = status::BadNodeIdUnknown;
            continue;
        }
        if (!c.objectId.isNumeric(id::Server) || !c.methodId.isNumeric(id::GetMonitoredItems)) {
            res.status =
                status::BadMethodInvalid;  // the Server object's GetMonitoredItems is the only method
            continue;
        }
        if (c.inputArguments.empty()) {
            res.status = status::BadArgumentsMissing;
            continue;
        }
        if (c.inputArguments.size() > 1) {
            res.status = status::BadTooManyArguments;
            continue;
        }
        const Variant& arg = c.inputArguments.front();
        const auto* subscriptionId = std::get_if<uint64_t>(&arg.scalar);
        if (arg.type != BuiltinType::UInt32 || arg.isArray || subscriptionId == nullptr) {
            res.status = status::BadInvalidArgument;
            res.inputArgumentResults = {status::BadTypeMismatch};
            continue;
        }
        res.inputArgumentResults = {status::Good};
        res.status = getMonitoredItems(session, static_cast<uint32_t>(*subscriptionId), res.outputArguments);
    }
    sendResponse(ctx, svc::Call, [&](Writer& w) {
        w.arrayLength(results.size());
        for (const auto& res : results) {
            w.statusCode(res.status);
            w.arrayLength(res.inputArgumentResults.size());
            for (const StatusCode s : res.inputArgumentResults)
                w.statusCode(s);
            w.emptyArray();  // input argument diagnostics
            w.arrayLength(res.outputArguments.size());
            for (const auto& v : res.outputArguments)
                w.variant(v);
        }
        w.emptyArray();
    });
}

StatusCode Engine::getMonitoredItems(const Session& session, uint32_t subscriptionId,
                                     std::vector<Variant>& out)
{
    const auto it = session.subscriptions.find(subscriptionId);
    if (it == session.subscriptions.end()) {
        // Another session's subscription stays hidden from this one.
        for (auto& [key, other] : *sessions_)
            if (other->subscriptions.contains(subscriptionId)) return status::BadUserAccessDenied;
        return status::BadSubscriptionIdInvalid;
    }
    std::vector<uint32_t> serverHandles;
    std::vector<uint32_t> clientHandles;
    for (const auto& [itemId, item] : it->second->items) {
        serverHandles.push_back(item.id);
        clientHandles.push_back(item.clientHandle);
    }
    out = {uint32Array(serverHandles), uint32Array(clientHandles)};
    return status::Good;
}

}  // namespace orva::opcua
