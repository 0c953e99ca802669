// Subscriptions and monitored items. A subscription is one backend group whose update rate is the
// publishing interval; a monitored item on a tag's value is one item of that group, active while
// the item is sampling or reporting. Other monitored values (server status, attributes) are
// sampled here once per publishing cycle.

#include <algorithm>
#include <cmath>

#include "EngineInternal.h"

namespace opcua {

namespace {
constexpr size_t kMaxPublishRepeat = 64;  // messages sent back to back for one late subscription

uint32_t toRateMs(double interval)
{
    return static_cast<uint32_t>(std::llround(interval));
}

std::vector<uint8_t> sampleKey(const DataValue& v)
{
    std::vector<uint8_t> out;
    Writer w(out);
    w.statusCode(v.status);
    if (v.hasValue) w.variant(v.value);
    return out;
}

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

// Only a data-change filter without deadband is supported: the backend reports changes already.
StatusCode checkFilter(const ExtensionObject& filter)
{
    if (filter.typeId.isNull() && filter.encoding == 0) return status::Good;
    if (!filter.typeId.isNumeric(svc::DataChangeFilter) || filter.encoding != 1)
        return status::BadMonitoredItemFilterUnsupported;
    Reader r(std::span(reinterpret_cast<const uint8_t*>(filter.body.data()), filter.body.size()));
    const int32_t trigger = r.i32();
    const uint32_t deadbandType = r.u32();
    r.f64();
    if (!r.ok() || trigger < 0 || trigger > 2) return status::BadMonitoredItemFilterUnsupported;
    return deadbandType == 0 ? status::Good : status::BadMonitoredItemFilterUnsupported;
}
}  // namespace

double Engine::revisePublishingInterval(double requested) const
{
    if (!(requested >= limits_.minPublishingInterval)) return limits_.minPublishingInterval;  // also NaN
    return std::min(requested, limits_.maxPublishingInterval);
}

namespace {
// Lifetime at least three keep-alive periods; keep-alive at least 1.
void reviseCounts(uint32_t& lifetime, uint32_t& keepAlive)
{
    keepAlive = std::clamp<uint32_t>(keepAlive, 1, 10000);
    lifetime = std::clamp<uint32_t>(lifetime, keepAlive * 3, 100000);
}
}  // namespace

void Engine::createSubscription(RequestContext& ctx, Reader& r)
{
    const double interval = r.f64();
    uint32_t lifetime = r.u32();
    uint32_t keepAlive = r.u32();
    uint32_t maxNotifications = r.u32();
    const bool enabled = r.boolean();
    const uint8_t priority = r.u8();
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    Session* s = sessionFor(ctx, true);
    if (s == nullptr) return;
    if (s->subscriptions.size() >= limits_.maxSubscriptionsPerSession)
        return sendFault(ctx, status::BadTooManySubscriptions);

    auto sub = std::make_unique<Subscription>();
    sub->id = nextSubscriptionId_++;
    reviseCounts(lifetime, keepAlive);
    sub->lifetimeCount = lifetime;
    sub->maxKeepAlive = keepAlive;
    if (maxNotifications == 0 || maxNotifications > limits_.maxNotificationsPerPublish)
        maxNotifications = limits_.maxNotificationsPerPublish;
    sub->maxNotifications = maxNotifications;
    sub->enabled = enabled;
    sub->priority = priority;
    uint32_t revisedRate = toRateMs(revisePublishingInterval(interval));
    const uint32_t key = s->key;
    const uint32_t subId = sub->id;
    sub->group =
        backend_.createGroup(s->client, revisedRate, revisedRate,
                             [this, inbox = inbox_, key, subId](std::vector<ItemChange> changes) {
                                 inbox->post([this, key, subId, changes = std::move(changes)]() mutable {
                                     onDataChange(key, subId, std::move(changes));
                                 });
                             });
    if (sub->group == kNoHandle) return sendFault(ctx, status::BadInternalError);
    sub->interval = revisePublishingInterval(revisedRate);
    // The first cycle without data sends a keep-alive at once, so the client learns the
    // subscription is alive.
    sub->keepAliveCounter = sub->maxKeepAlive - 1;
    sub->nextCycle = Clock::now() + std::chrono::microseconds(static_cast<int64_t>(sub->interval * 1000));
    Subscription& created = *sub;
    s->subscriptions.emplace(sub->id, std::move(sub));
    sendResponse(ctx, svc::CreateSubscription, [&](Writer& w) {
        w.u32(created.id);
        w.f64(created.interval);
        w.u32(created.lifetimeCount);
        w.u32(created.maxKeepAlive);
    });
}

void Engine::modifySubscription(RequestContext& ctx, Reader& r)
{
    const uint32_t subId = r.u32();
    const double interval = r.f64();
    uint32_t lifetime = r.u32();
    uint32_t keepAlive = r.u32();
    uint32_t maxNotifications = r.u32();
    const uint8_t priority = r.u8();
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    Session* s = sessionFor(ctx, true);
    if (s == nullptr) return;
    const auto it = s->subscriptions.find(subId);
    if (it == s->subscriptions.end()) return sendFault(ctx, status::BadSubscriptionIdInvalid);
    Subscription& sub = *it->second;
    const double revised = revisePublishingInterval(interval);
    if (toRateMs(revised) != toRateMs(sub.interval))
        sub.interval = revisePublishingInterval(backend_.setGroupRate(sub.group, toRateMs(revised)));
    for (auto& [itemId, item] : sub.items)
        item.samplingInterval = sub.interval;
    reviseCounts(lifetime, keepAlive);
    sub.lifetimeCount = lifetime;
    sub.maxKeepAlive = keepAlive;
    if (maxNotifications == 0 || maxNotifications > limits_.maxNotificationsPerPublish)
        maxNotifications = limits_.maxNotificationsPerPublish;
    sub.maxNotifications = maxNotifications;
    sub.priority = priority;
    sub.nextCycle = std::min(
        sub.nextCycle, Clock::now() + std::chrono::microseconds(static_cast<int64_t>(sub.interval * 1000)));
    sendResponse(ctx, svc::ModifySubscription, [&](Writer& w) {
        w.f64(sub.interval);
        w.u32(sub.lifetimeCount);
        w.u32(sub.maxKeepAlive);
    });
}

void Engine::setPublishingMode(RequestContext& ctx, Reader& r)
{
    const bool enabled = r.boolean();
    const auto ids = r.array<uint32_t>([](Reader& x) { return x.u32(); }, 4);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    Session* s = sessionFor(ctx, true);
    if (s == nullptr) return;
    if (ids.empty()) return sendFault(ctx, status::BadNothingToDo);
    sendResponse(ctx, svc::SetPublishingMode, [&](Writer& w) {
        w.arrayLength(ids.size());
        for (const uint32_t id : ids) {
            const auto it = s->subscriptions.find(id);
            if (it == s->subscriptions.end()) {
                w.statusCode(status::BadSubscriptionIdInvalid);
                continue;
            }
            it->second->enabled = enabled;
            w.statusCode(status::Good);
        }
        w.emptyArray();
    });
}

void Engine::deleteSubscriptions(RequestContext& ctx, Reader& r)
{
    const auto ids = r.array<uint32_t>([](Reader& x) { return x.u32(); }, 4);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    Session* s = sessionFor(ctx, true);
    if (s == nullptr) return;
    if (ids.empty()) return sendFault(ctx, status::BadNothingToDo);
    std::vector<StatusCode> results;
    for (const uint32_t id : ids) {
        if (!s->subscriptions.contains(id)) {
            results.push_back(status::BadSubscriptionIdInvalid);
            continue;
        }
        deleteSubscription(*s, id);
        results.push_back(status::Good);
    }
    sendResponse(ctx, svc::DeleteSubscriptions, [&](Writer& w) {
        w.arrayLength(results.size());
        for (const StatusCode c : results)
            w.statusCode(c);
        w.emptyArray();
    });
    // Publish requests left waiting with no subscription to serve are answered now.
    if (s->subscriptions.empty()) {
        for (auto& p : s->publishQueue) {
            RequestContext old{p.channelId, p.requestId, {}, p.requestHandle, 0};
            sendFault(old, status::BadNoSubscription);
        }
        s->publishQueue.clear();
    }
}

void Engine::deleteSubscription(Session& s, uint32_t subscriptionId)
{
    const auto it = s.subscriptions.find(subscriptionId);
    if (it == s.subscriptions.end()) return;
    Subscription& sub = *it->second;
    while (!sub.items.empty()) {
        deleteMonitoredItem(sub, sub.items.begin()->first);
        --s.monitoredItems;
    }
    backend_.removeGroup(sub.group);
    s.subscriptions.erase(it);
}

void Engine::deleteMonitoredItem(Subscription& sub, uint32_t itemId)
{
    const auto it = sub.items.find(itemId);
    if (it == sub.items.end()) return;
    MonitoredItem& item = it->second;
    if (item.handle != kNoHandle) {
        backend_.removeItem(sub.group, item.handle);  // deactivates an active item first
        sub.byHandle.erase(item.handle);
    } else {
        --sub.sampledItems;
    }
    if (item.dirty) std::erase(sub.dirty, itemId);
    sub.items.erase(it);
}

void Engine::setItemMode(Subscription& sub, MonitoredItem& item, int32_t mode)
{
    item.mode = static_cast<MonitoringMode>(mode);
    if (item.handle != kNoHandle) {
        const bool active = item.mode != MonitoringMode::Disabled;
        if (active != item.active) {
            backend_.setItemActive(sub.group, item.handle, active);
            item.active = active;
        }
    }
    if (item.mode == MonitoringMode::Disabled) {
        item.queue.clear();
        item.lastSample.clear();
    }
    if (item.mode == MonitoringMode::Reporting && !item.queue.empty() && !item.dirty) {
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
    Session* s = sessionFor(ctx, true);
    if (s == nullptr) return;
    const auto subIt = s->subscriptions.find(subId);
    if (subIt == s->subscriptions.end()) return sendFault(ctx, status::BadSubscriptionIdInvalid);
    if (timestamps < 0 || timestamps > 3) return sendFault(ctx, status::BadTimestampsToReturnInvalid);
    if (requests.empty()) return sendFault(ctx, status::BadNothingToDo);
    if (requests.size() > limits_.maxMonitoredItemsPerCall)
        return sendFault(ctx, status::BadTooManyOperations);
    Subscription& sub = *subIt->second;

    struct Result {
        StatusCode status = status::Good;
        uint32_t id = 0;
        double sampling = 0;
        uint32_t queueSize = 0;
    };
    std::vector<Result> results(requests.size());
    std::vector<MonitoredItem*> toActivate;
    for (size_t i = 0; i < requests.size(); ++i) {
        const auto& c = requests[i];
        Result& res = results[i];
        const auto node = space_.find(c.nodeId);
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
        } else if (!c.indexRange.empty()) {
            res.status = status::BadIndexRangeInvalid;
        } else if (!c.dataEncoding.name.empty()) {
            res.status = status::BadDataEncodingInvalid;
        } else if (node->isTag && c.attributeId == attr::Value && (node->accessLevel & 0x01) == 0) {
            res.status = status::BadNotReadable;
        } else if (const StatusCode f = checkFilter(c.params.filter); isBad(f)) {
            res.status = f;
        }
        if (isBad(res.status)) continue;

        MonitoredItem item;
        item.id = nextMonitoredItemId_++;
        item.clientHandle = c.params.clientHandle;
        item.nodeId = c.nodeId;
        item.attributeId = c.attributeId;
        item.timestamps = static_cast<TimestampsToReturn>(timestamps);
        item.queueSize = std::clamp<uint32_t>(c.params.queueSize, 1, limits_.maxQueueSize);
        item.discardOldest = c.params.discardOldest;
        item.samplingInterval = sub.interval;
        item.mode = MonitoringMode::Disabled;
        if (node->isTag && c.attributeId == attr::Value) {
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
        res.queueSize = item.queueSize;
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
            w.extensionObject(ExtensionObject{});
        }
        w.emptyArray();
    });
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
    Session* s = sessionFor(ctx, true);
    if (s == nullptr) return;
    const auto subIt = s->subscriptions.find(subId);
    if (subIt == s->subscriptions.end()) return sendFault(ctx, status::BadSubscriptionIdInvalid);
    if (timestamps < 0 || timestamps > 3) return sendFault(ctx, status::BadTimestampsToReturnInvalid);
    if (requests.empty()) return sendFault(ctx, status::BadNothingToDo);
    if (requests.size() > limits_.maxMonitoredItemsPerCall)
        return sendFault(ctx, status::BadTooManyOperations);
    Subscription& sub = *subIt->second;
    sendResponse(ctx, svc::ModifyMonitoredItems, [&](Writer& w) {
        w.arrayLength(requests.size());
        for (const auto& m : requests) {
            const auto it = sub.items.find(m.id);
            StatusCode result =
                it == sub.items.end() ? status::BadMonitoredItemIdInvalid : checkFilter(m.params.filter);
            if (isBad(result)) {
                w.statusCode(result);
                w.u32(0);
                w.f64(0);
                w.u32(0);
                w.extensionObject(ExtensionObject{});
                continue;
            }
            MonitoredItem& item = it->second;
            item.clientHandle = m.params.clientHandle;
            item.timestamps = static_cast<TimestampsToReturn>(timestamps);
            item.queueSize = std::clamp<uint32_t>(m.params.queueSize, 1, limits_.maxQueueSize);
            item.discardOldest = m.params.discardOldest;
            while (item.queue.size() > item.queueSize)
                item.queue.pop_front();
            w.statusCode(status::Good);
            w.f64(item.samplingInterval);
            w.u32(item.queueSize);
            w.extensionObject(ExtensionObject{});
        }
        w.emptyArray();
    });
}

void Engine::setMonitoringMode(RequestContext& ctx, Reader& r)
{
    const uint32_t subId = r.u32();
    const int32_t mode = r.i32();
    const auto ids = r.array<uint32_t>([](Reader& x) { return x.u32(); }, 4);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    Session* s = sessionFor(ctx, true);
    if (s == nullptr) return;
    const auto subIt = s->subscriptions.find(subId);
    if (subIt == s->subscriptions.end()) return sendFault(ctx, status::BadSubscriptionIdInvalid);
    if (mode < 0 || mode > 2) return sendFault(ctx, status::BadMonitoringModeInvalid);
    if (ids.empty()) return sendFault(ctx, status::BadNothingToDo);
    if (ids.size() > limits_.maxMonitoredItemsPerCall) return sendFault(ctx, status::BadTooManyOperations);
    Subscription& sub = *subIt->second;
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
    Session* s = sessionFor(ctx, true);
    if (s == nullptr) return;
    const auto subIt = s->subscriptions.find(subId);
    if (subIt == s->subscriptions.end()) return sendFault(ctx, status::BadSubscriptionIdInvalid);
    if (ids.empty()) return sendFault(ctx, status::BadNothingToDo);
    if (ids.size() > limits_.maxMonitoredItemsPerCall) return sendFault(ctx, status::BadTooManyOperations);
    Subscription& sub = *subIt->second;
    std::vector<StatusCode> results;
    for (const uint32_t id : ids) {
        if (!sub.items.contains(id)) {
            results.push_back(status::BadMonitoredItemIdInvalid);
            continue;
        }
        deleteMonitoredItem(sub, id);
        --s->monitoredItems;
        results.push_back(status::Good);
    }
    sendResponse(ctx, svc::DeleteMonitoredItems, [&](Writer& w) {
        w.arrayLength(results.size());
        for (const StatusCode c : results)
            w.statusCode(c);
        w.emptyArray();
    });
}

// ---- Notifications ---------------------------------------------------------------------------

void Engine::enqueue(Subscription& sub, MonitoredItem& item, DataValue value)
{
    applyTimestamps(value, item.timestamps);
    if (item.queue.size() >= item.queueSize) {
        if (item.discardOldest)
            item.queue.pop_front();
        else
            item.queue.pop_back();
    }
    item.queue.push_back(std::move(value));
    if (item.mode == MonitoringMode::Reporting && !item.dirty) {
        item.dirty = true;
        sub.dirty.push_back(item.id);
    }
}

void Engine::onDataChange(uint32_t sessionKey, uint32_t subscriptionId, std::vector<ItemChange> changes)
{
    const auto sIt = sessions_.find(sessionKey);
    if (sIt == sessions_.end()) return;
    const auto subIt = sIt->second->subscriptions.find(subscriptionId);
    if (subIt == sIt->second->subscriptions.end()) return;
    Subscription& sub = *subIt->second;
    const DateTime t = now();
    for (auto& c : changes) {
        const auto h = sub.byHandle.find(c.item);
        if (h == sub.byHandle.end()) continue;
        MonitoredItem& item = sub.items.at(h->second);
        if (item.mode == MonitoringMode::Disabled) continue;
        DataValue v = DataValue::ofValue(std::move(c.value.value), c.value.timestamp, t);
        v.status = statusFromQuality(c.value.quality);
        enqueue(sub, item, std::move(v));
    }
}

namespace {
void writeNotificationMessage(std::vector<uint8_t>& out, uint32_t sequence,
                              const std::vector<uint8_t>* dataChange)
{
    Writer w(out);
    w.u32(sequence);
    w.dateTime(now());
    if (dataChange == nullptr) {
        w.emptyArray();
        return;
    }
    w.arrayLength(1);
    w.nodeId(NodeId::num(svc::DataChangeNotification));
    w.u8(1);
    w.u32(static_cast<uint32_t>(dataChange->size()));
    w.bytes(*dataChange);
}
}  // namespace

bool Engine::sendNotification(Session& s, Subscription& sub, bool keepAlive)
{
    if (s.publishQueue.empty()) return false;
    PendingPublish p = std::move(s.publishQueue.front());
    s.publishQueue.pop_front();

    std::vector<uint8_t> message;
    bool more = false;
    if (keepAlive) {
        writeNotificationMessage(message, sub.nextSequence, nullptr);
    } else {
        // DataChangeNotification: monitored item notifications, then an empty diagnostics array.
        std::vector<uint8_t> body;
        body.reserve(64 + std::min<size_t>(sub.dirty.size(), sub.maxNotifications) * 24);
        Writer w(body);
        w.u32(0);  // count, patched below
        uint32_t count = 0;
        size_t consumed = 0;
        for (; consumed < sub.dirty.size(); ++consumed) {
            const auto it = sub.items.find(sub.dirty[consumed]);
            if (it == sub.items.end()) continue;
            MonitoredItem& item = it->second;
            if (count + item.queue.size() > sub.maxNotifications && count > 0) break;
            while (!item.queue.empty()) {
                w.u32(item.clientHandle);
                w.dataValue(item.queue.front());
                item.queue.pop_front();
                ++count;
            }
            item.dirty = false;
        }
        sub.dirty.erase(sub.dirty.begin(), sub.dirty.begin() + static_cast<ptrdiff_t>(consumed));
        more = !sub.dirty.empty();
        w.patchU32(0, count);
        w.emptyArray();
        const uint32_t sequence = sub.nextSequence;
        sub.nextSequence = sub.nextSequence >= 0xFFFFFFFEu ? 1 : sub.nextSequence + 1;
        writeNotificationMessage(message, sequence, &body);
        sub.retransmit.emplace(sequence, message);
        while (sub.retransmit.size() > limits_.maxRetransmissionQueue)
            sub.retransmit.erase(sub.retransmit.begin());
    }

    std::vector<uint8_t> out;
    out.reserve(message.size() + 128);
    Writer w(out);
    w.nodeId(NodeId::num(svc::Publish + 3));
    writeResponseHeader(w, p.requestHandle, status::Good);
    w.u32(sub.id);
    w.arrayLength(sub.retransmit.size());
    for (const auto& [seq, msg] : sub.retransmit)
        w.u32(seq);
    w.boolean(more);
    w.bytes(message);
    w.arrayLength(p.ackResults.size());
    for (const StatusCode c : p.ackResults)
        w.statusCode(c);
    w.emptyArray();
    send_(p.channelId, p.requestId, std::move(out));
    sub.keepAliveCounter = 0;
    sub.lifetimeCounter = 0;
    return true;
}

void Engine::publishingCycle(Session& s, Subscription& sub, Clock::time_point t)
{
    const auto interval = std::chrono::microseconds(static_cast<int64_t>(sub.interval * 1000));
    sub.nextCycle += interval;
    if (sub.nextCycle <= t) sub.nextCycle = t + interval;

    if (sub.sampledItems > 0) {
        for (auto& [itemId, item] : sub.items) {
            if (item.handle != kNoHandle || item.mode == MonitoringMode::Disabled) continue;
            const auto node = space_.find(item.nodeId);
            DataValue v = !node                             ? DataValue::ofStatus(status::BadNodeIdUnknown)
                          : item.attributeId == attr::Value ? readNonTagValue(*node)
                                                            : space_.readAttribute(*node, item.attributeId);
            // CurrentTime changes on every sample; everything else only when its value does.
            auto key = sampleKey(v);
            if (key == item.lastSample) continue;
            item.lastSample = std::move(key);
            if (v.serverTimestamp == 0) v.serverTimestamp = now();
            enqueue(sub, item, std::move(v));
        }
    }

    if (s.publishQueue.empty()) {
        if (++sub.lifetimeCounter > sub.lifetimeCount) {
            deleteSubscription(s, sub.id);  // expired: the client stopped asking for notifications
            return;
        }
    }
    const bool ready = sub.enabled && !sub.dirty.empty();
    if (ready) {
        if (!sendNotification(s, sub, false)) {
            sub.late = true;
            return;
        }
        for (size_t i = 0; i < kMaxPublishRepeat && !sub.dirty.empty() && sendNotification(s, sub, false);
             ++i) {
        }
        return;
    }
    if (++sub.keepAliveCounter >= sub.maxKeepAlive) {
        if (!sendNotification(s, sub, true)) sub.late = true;
    }
}

void Engine::answerLatePublish(Session& s)
{
    for (auto& [id, sub] : s.subscriptions) {
        if (s.publishQueue.empty()) return;
        if (!sub->late) continue;
        sub->late = false;
        const bool ready = sub->enabled && !sub->dirty.empty();
        sendNotification(s, *sub, !ready);
    }
}

void Engine::publish(RequestContext& ctx, Reader& r)
{
    struct Ack {
        uint32_t subscriptionId = 0;
        uint32_t sequence = 0;
    };
    const auto acks = r.array<Ack>(
        [](Reader& x) {
            Ack a;
            a.subscriptionId = x.u32();
            a.sequence = x.u32();
            return a;
        },
        8);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    Session* s = sessionFor(ctx, true);
    if (s == nullptr) return;
    PendingPublish p;
    p.channelId = ctx.channelId;
    p.requestId = ctx.requestId;
    p.requestHandle = ctx.requestHandle;
    p.deadline = ctx.timeoutHint == 0 ? Clock::time_point::max()
                                      : Clock::now() + std::chrono::milliseconds(ctx.timeoutHint);
    for (const auto& a : acks) {
        const auto it = s->subscriptions.find(a.subscriptionId);
        if (it == s->subscriptions.end()) {
            p.ackResults.push_back(status::BadSubscriptionIdInvalid);
            continue;
        }
        p.ackResults.push_back(it->second->retransmit.erase(a.sequence) ? status::Good
                                                                        : status::BadSequenceNumberUnknown);
    }
    if (s->subscriptions.empty()) return sendFault(ctx, status::BadNoSubscription);
    if (s->publishQueue.size() >= limits_.maxPublishRequestsPerSession) {
        PendingPublish oldest = std::move(s->publishQueue.front());
        s->publishQueue.pop_front();
        sendFault(RequestContext{oldest.channelId, oldest.requestId, {}, oldest.requestHandle, 0},
                  status::BadTooManyPublishRequests);
    }
    s->publishQueue.push_back(std::move(p));
    answerLatePublish(*s);
}

void Engine::republish(RequestContext& ctx, Reader& r)
{
    const uint32_t subId = r.u32();
    const uint32_t sequence = r.u32();
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    Session* s = sessionFor(ctx, true);
    if (s == nullptr) return;
    const auto it = s->subscriptions.find(subId);
    if (it == s->subscriptions.end()) return sendFault(ctx, status::BadSubscriptionIdInvalid);
    const auto msg = it->second->retransmit.find(sequence);
    if (msg == it->second->retransmit.end()) return sendFault(ctx, status::BadMessageNotAvailable);
    sendResponse(ctx, svc::Republish, [&](Writer& w) { w.bytes(msg->second); });
}

Engine::Clock::time_point Engine::tick(Clock::time_point t)
{
    auto next = t + std::chrono::seconds(1);
    std::vector<uint32_t> expired;
    for (auto& [key, s] : sessions_) {
        if (t - s->lastActivity > std::chrono::milliseconds(static_cast<int64_t>(s->timeoutMs))) {
            expired.push_back(key);
            continue;
        }
        while (!s->publishQueue.empty() && s->publishQueue.front().deadline <= t) {
            PendingPublish p = std::move(s->publishQueue.front());
            s->publishQueue.pop_front();
            sendFault(RequestContext{p.channelId, p.requestId, {}, p.requestHandle, 0}, status::BadTimeout);
        }
        std::vector<uint32_t> due;
        for (auto& [id, sub] : s->subscriptions)
            if (sub->nextCycle <= t) due.push_back(id);
        for (const uint32_t id : due) {
            const auto it = s->subscriptions.find(id);
            if (it != s->subscriptions.end()) publishingCycle(*s, *it->second, t);
        }
        for (auto& [id, sub] : s->subscriptions)
            next = std::min(next, sub->nextCycle);
        if (!s->publishQueue.empty()) next = std::min(next, s->publishQueue.front().deadline);
    }
    for (const uint32_t key : expired)
        closeSession(key);
    return next;
}

}  // namespace opcua
