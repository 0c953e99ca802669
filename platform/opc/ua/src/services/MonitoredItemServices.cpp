// Monitored item services: CreateMonitoredItems, ModifyMonitoredItems, SetMonitoringMode,
// DeleteMonitoredItems. A monitored item on a tag's value is one item of the subscription's group,
// active while it samples or reports, with a sampling interval of its own (Sampling.cpp); other
// monitored values are sampled by the engine at each publishing cycle.
#include <algorithm>

#include "EngineInternal.h"

namespace orva::opcua {

namespace {

struct MonitoringParameters {
    uint32_t clientHandle = 0;
    double samplingInterval = 0;
    ExtensionObject filter;
    uint32_t queueSize = 0;
    bool discardOldest = true;
};

MonitoringParameters readParameters(Reader& r)
{
    MonitoringParameters p;
    p.clientHandle = r.u32();
    p.samplingInterval = r.f64();
    p.filter = r.extensionObject();
    p.queueSize = r.u32();
    p.discardOldest = r.boolean();
    return p;
}

// The filter an item asks for, checked against what it monitors.
StatusCode filterFor(const ExtensionObject& filter, uint32_t attributeId, const Node& node,
                     DataChangeRule& out)
{
    const StatusCode decoded = decodeDataChangeFilter(filter, out);
    if (isBad(decoded)) return decoded;
    return checkRuleFor(out, attributeId == attr::Value, builtinOfDataType(node.dataType));
}
StatusCode timestampsStatus(int32_t timestamps)
{
    return timestamps < 0 || timestamps > 3 ? status::BadTimestampsToReturnInvalid : status::Good;
}
}  // namespace

Engine::Subscription* Engine::itemSubscription(RequestContext& ctx, uint32_t subscriptionId,
                                               StatusCode argumentStatus, size_t operations)
{
    const auto it = ctx.session->subscriptions.find(subscriptionId);
    if (it == ctx.session->subscriptions.end()) {
        sendFault(ctx, status::BadSubscriptionIdInvalid);
        return nullptr;
    }
    if (isBad(argumentStatus)) {
        sendFault(ctx, argumentStatus);
        return nullptr;
    }
    return admitOperations(ctx, operations) ? it->second.get() : nullptr;
}

void Engine::deleteMonitoredItem(Subscription& sub, uint32_t itemId)
{
    const auto it = sub.items.find(itemId);
    if (it == sub.items.end()) return;
    MonitoredItem& item = it->second;
    if (item.handle != kNoHandle) {
        backend_.removeItem(sub.group, item.handle);  // deactivates an active item first
        sub.byHandle.erase(item.handle);
    } else if (item.events) {
        --sub.eventItems;
    } else {
        --sub.sampledItems;
    }
    if (item.dirty) std::erase(sub.dirty, itemId);
    if (item.listedAsHeld) std::erase(sub.held, itemId);
    sub.items.erase(it);
}

void Engine::setItemMode(Subscription& sub, MonitoredItem& item, int32_t mode)
{
    item.mode = static_cast<MonitoringMode>(mode);
    if (item.handle != kNoHandle) {
        const bool active = item.mode != MonitoringMode::Disabled;
        if (active != item.active) {
            // The group's first delivery after activation is the cached value: wait for a fresh one.
            if (active) startFreshWait(sub, item);
            backend_.setItemActive(sub.group, item.handle, active);
            item.active = active;
        }
    }
    if (item.mode == MonitoringMode::Disabled) {
        item.queue.clear();
        item.lastSample.clear();
        item.lastReported.reset();
        item.held.reset();
        item.awaitingFresh = false;
        if (item.events) {
            item.events->events.clear();
            item.events->overflowQueued = false;
        }
    }
    const bool queued = !item.queue.empty() || (item.events && !item.events->events.empty());
    if (item.mode == MonitoringMode::Reporting && queued && !item.dirty) {
        item.dirty = true;
        sub.dirty.push_back(item.id);
    }
}

void Engine::createMonitoredItems(RequestContext& ctx, Reader& r)
{
    struct CreateRequest {
        NodeId nodeId;
        uint32_t attributeId = 0;
        std::string indexRange;
        QualifiedName dataEncoding;
        int32_t mode = 0;
        MonitoringParameters params;
    };
    const uint32_t subId = r.u32();
    const int32_t timestamps = r.i32();
    const auto requests = r.array<CreateRequest>(
        [](Reader& x) {
            CreateRequest c;
            c.nodeId = x.nodeId();
            c.attributeId = x.u32();
            c.indexRange = x.string();
            c.dataEncoding = x.qualifiedName();
            c.mode = x.i32();
            c.params = readParameters(x);
            return c;
        },
        32);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    Session* s = ctx.session;
    Subscription* const found = itemSubscription(ctx, subId, timestampsStatus(timestamps), requests.size());
    if (found == nullptr) return;
    Subscription& sub = *found;

    struct Result {
        StatusCode status = status::Good;
        uint32_t id = 0;
        double sampling = 0;
        uint32_t queueSize = 0;
        ExtensionObject filterResult;
    };
    std::vector<Result> results(requests.size());
    std::vector<MonitoredItem*> toActivate;
    for (size_t i = 0; i < requests.size(); ++i) {
        const auto& c = requests[i];
        Result& res = results[i];
        const auto node = space_.find(c.nodeId);
        NumericRange range;
        DataChangeRule filter;
        std::shared_ptr<const EventFilter> eventFilter;
        if (s->monitoredItems >= limits_.maxMonitoredItemsPerSession) {
            res.status = status::BadTooManyMonitoredItems;
        } else if (!node) {
            res.status = status::BadNodeIdUnknown;
        } else if (c.mode < 0 || c.mode > 2) {
            res.status = status::BadMonitoringModeInvalid;
        } else if (c.attributeId == attr::Value && node->nodeClass != NodeClass::Variable) {
            res.status = status::BadAttributeIdInvalid;
        } else if (isBad(space_.readAttribute(*node, c.attributeId).status) && c.attributeId != attr::Value) {
            res.status = status::BadAttributeIdInvalid;
        } else if (isBad(parseNumericRange(c.indexRange, range))) {
            res.status = status::BadIndexRangeInvalid;
        } else if (!c.dataEncoding.name.empty()) {
            res.status = status::BadDataEncodingInvalid;
        } else if (node->isTag && c.attributeId == attr::Value && (node->accessLevel & 0x01) == 0) {
            res.status = status::BadNotReadable;
        } else if (const auto events = prepareEventItem(*node, c.attributeId, c.params.filter, eventFilter,
                                                        res.filterResult)) {
            res.status = *events;
        } else if (const StatusCode f = filterFor(c.params.filter, c.attributeId, *node, filter); isBad(f)) {
            res.status = f;
        }
        if (isBad(res.status)) continue;

        MonitoredItem item;
        item.id = nextMonitoredItemId_++;
        item.clientHandle = c.params.clientHandle;
        item.nodeId = c.nodeId;
        item.attributeId = c.attributeId;
        item.timestamps = static_cast<TimestampsToReturn>(timestamps);
        item.queue.configure(std::clamp<uint32_t>(c.params.queueSize, 1, limits_.maxQueueSize),
                             c.params.discardOldest);
        item.samplingInterval = reviseSamplingInterval(c.params.samplingInterval, sub, *node);
        item.followsPublishing = !(c.params.samplingInterval >= 0);
        item.filter = filter;
        item.range = std::move(range);
        item.mode = MonitoringMode::Disabled;
        if (eventFilter) {
            item.events = std::make_unique<EventQueue>();
            item.events->filter = std::move(eventFilter);
            item.queueSize = reviseEventQueueSize(c.params.queueSize);
            item.discardOldest = c.params.discardOldest;
            item.samplingInterval = 0;  // events are reported as they come
            ++sub.eventItems;
        } else if (node->isTag && c.attributeId == attr::Value) {
            item.handle = backend_.addItem(sub.group, node->itemId);
            if (item.handle == kNoHandle) {
                res.status = status::BadNodeIdUnknown;
                continue;
            }
            sub.byHandle[item.handle] = item.id;
        } else {
            ++sub.sampledItems;
        }
        res.id = item.id;
        res.sampling = item.samplingInterval;
        res.queueSize = item.events ? item.queueSize : item.queue.capacity();
        auto& stored = sub.items.emplace(item.id, std::move(item)).first->second;
        ++s->monitoredItems;
        stored.mode = static_cast<MonitoringMode>(c.mode);
        if (stored.mode != MonitoringMode::Disabled) toActivate.push_back(&stored);
    }
    sendResponse(ctx, svc::CreateMonitoredItems, [&](Writer& w) {
        w.arrayLength(results.size());
        for (const auto& res : results) {
            w.statusCode(res.status);
            w.u32(res.id);
            w.f64(res.sampling);
            w.u32(res.queueSize);
            w.extensionObject(res.filterResult);
        }
        w.emptyArray();
    });
    // The group polls at the fastest sampling interval before the new items are activated at it.
    updateGroupRate(sub);
    // Activation after the response, so the first data changes follow the item ids the client knows.
    for (MonitoredItem* item : toActivate)
        setItemMode(sub, *item, static_cast<int32_t>(item->mode));
}

void Engine::modifyMonitoredItems(RequestContext& ctx, Reader& r)
{
    struct ModifyRequest {
        uint32_t id = 0;
        MonitoringParameters params;
    };
    const uint32_t subId = r.u32();
    const int32_t timestamps = r.i32();
    const auto requests = r.array<ModifyRequest>(
        [](Reader& x) {
            ModifyRequest m;
            m.id = x.u32();
            m.params = readParameters(x);
            return m;
        },
        24);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    Subscription* const found = itemSubscription(ctx, subId, timestampsStatus(timestamps), requests.size());
    if (found == nullptr) return;
    Subscription& sub = *found;
    sendResponse(ctx, svc::ModifyMonitoredItems, [&](Writer& w) {
        w.arrayLength(requests.size());
        for (const auto& m : requests) {
            const auto it = sub.items.find(m.id);
            StatusCode result = status::BadMonitoredItemIdInvalid;
            std::shared_ptr<const EventFilter> eventFilter;
            ExtensionObject filterResult;
            DataChangeRule filter;
            const auto node = it == sub.items.end() ? std::nullopt : space_.find(it->second.nodeId);
            if (node) {
                const auto events = prepareEventItem(*node, it->second.attributeId, m.params.filter,
                                                     eventFilter, filterResult);
                result = events ? *events : filterFor(m.params.filter, it->second.attributeId, *node, filter);
            }
            if (isBad(result)) {
                w.statusCode(result);
                w.u32(0);
                w.f64(0);
                w.u32(0);
                w.extensionObject(filterResult);
                continue;
            }
            MonitoredItem& item = it->second;
            item.clientHandle = m.params.clientHandle;
            item.timestamps = static_cast<TimestampsToReturn>(timestamps);
            if (item.events) {
                if (eventFilter) item.events->filter = std::move(eventFilter);
                item.discardOldest = m.params.discardOldest;
                item.queueSize = reviseEventQueueSize(m.params.queueSize);
                while (item.events->events.size() > item.queueSize)
                    item.events->events.pop_front();
            } else {
                item.queue.configure(std::clamp<uint32_t>(m.params.queueSize, 1, limits_.maxQueueSize),
                                     m.params.discardOldest);
                item.samplingInterval = reviseSamplingInterval(m.params.samplingInterval, sub, *node);
                item.followsPublishing = !(m.params.samplingInterval >= 0);
                item.filter = filter;
            }
            w.statusCode(status::Good);
            w.f64(item.samplingInterval);
            w.u32(item.events ? item.queueSize : item.queue.capacity());
            w.extensionObject(filterResult);
        }
        w.emptyArray();
    });
    updateGroupRate(sub);
}

void Engine::setMonitoringMode(RequestContext& ctx, Reader& r)
{
    const uint32_t subId = r.u32();
    const int32_t mode = r.i32();
    const auto ids = r.array<uint32_t>([](Reader& x) { return x.u32(); }, 4);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    const StatusCode modeStatus = mode < 0 || mode > 2 ? status::BadMonitoringModeInvalid : status::Good;
    Subscription* const found = itemSubscription(ctx, subId, modeStatus, ids.size());
    if (found == nullptr) return;
    Subscription& sub = *found;
    std::vector<StatusCode> results;
    for (const uint32_t id : ids) {
        const auto it = sub.items.find(id);
        if (it == sub.items.end()) {
            results.push_back(status::BadMonitoredItemIdInvalid);
            continue;
        }
        setItemMode(sub, it->second, mode);
        results.push_back(status::Good);
    }
    sendResponse(ctx, svc::SetMonitoringMode, [&](Writer& w) {
        w.arrayLength(results.size());
        for (const StatusCode c : results)
            w.statusCode(c);
        w.emptyArray();
    });
}

void Engine::deleteMonitoredItems(RequestContext& ctx, Reader& r)
{
    const uint32_t subId = r.u32();
    const auto ids = r.array<uint32_t>([](Reader& x) { return x.u32(); }, 4);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    Subscription* const found = itemSubscription(ctx, subId, status::Good, ids.size());
    if (found == nullptr) return;
    Subscription& sub = *found;
    std::vector<StatusCode> results;
    for (const uint32_t id : ids) {
        if (!sub.items.contains(id)) {
            results.push_back(status::BadMonitoredItemIdInvalid);
            continue;
        }
        deleteMonitoredItem(sub, id);
        --ctx.session->monitoredItems;
        results.push_back(status::Good);
    }
    updateGroupRate(sub);
    sendResponse(ctx, svc::DeleteMonitoredItems, [&](Writer& w) {
        w.arrayLength(results.size());
        for (const StatusCode c : results)
            w.statusCode(c);
        w.emptyArray();
    });
}

}  // namespace orva::opcua
