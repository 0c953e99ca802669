// Subscription services: CreateSubscription, ModifySubscription, SetPublishingMode,
// DeleteSubscriptions, Publish and Republish. A subscription is one backend group whose update rate
// is the publishing interval.
#include <algorithm>
#include <cmath>

#include "EngineInternal.h"

namespace orva::opcua {

double Engine::revisePublishingInterval(double requested) const
{
    if (!(requested >= limits_.minPublishingInterval)) return limits_.minPublishingInterval;  // also NaN
    return std::min(requested, limits_.maxPublishingInterval);
}

namespace {
uint32_t toRateMs(double interval)
{
    return static_cast<uint32_t>(std::llround(interval));
}

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
    Session* s = ctx.session;
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
    sub->groupRate = revisedRate;
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
    Session* s = ctx.session;
    const auto it = s->subscriptions.find(subId);
    if (it == s->subscriptions.end()) return sendFault(ctx, status::BadSubscriptionIdInvalid);
    Subscription& sub = *it->second;
    const double revised = revisePublishingInterval(interval);
    sub.interval = revised;
    // Items that asked for the publishing interval follow it; the others keep their own.
    for (auto& [itemId, item] : sub.items)
        if (item.handle == kNoHandle || item.followsPublishing) item.samplingInterval = sub.interval;
    updateGroupRate(sub);
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
    Session* s = ctx.session;
    if (!admitOperations(ctx, ids.size())) return;
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
    Session* s = ctx.session;
    if (!admitOperations(ctx, ids.size())) return;
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
            sendFault(replyContext(p), status::BadNoSubscription);
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
    Session* s = ctx.session;
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
        sendFault(replyContext(oldest), status::BadTooManyPublishRequests);
    }
    s->publishQueue.push_back(std::move(p));
    answerLatePublish(*s);
}

void Engine::republish(RequestContext& ctx, Reader& r)
{
    const uint32_t subId = r.u32();
    const uint32_t sequence = r.u32();
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    Session* s = ctx.session;
    const auto it = s->subscriptions.find(subId);
    if (it == s->subscriptions.end()) return sendFault(ctx, status::BadSubscriptionIdInvalid);
    const auto msg = it->second->retransmit.find(sequence);
    if (msg == it->second->retransmit.end()) return sendFault(ctx, status::BadMessageNotAvailable);
    sendResponse(ctx, svc::Republish, [&](Writer& w) { w.bytes(msg->second); });
}

}  // namespace orva::opcua
