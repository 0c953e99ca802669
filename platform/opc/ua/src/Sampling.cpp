// Sampling of monitored tag values. The subscription's group polls at the fastest sampling interval
// of its items and delivers every changed value; each item takes a sample at its own interval from
// what arrives (a value that comes early is held until the item's next sampling time, a later one
// replaces it), cuts it to the item's index range, and queues it when its filter says it changed.
// A new item starts from a value read after it was made: a cached value older than its sampling
// interval waits (bounded) for the next read of its block, while a Bad status is reported at once;
// a tag still not read when the wait ends reports BadWaitingForInitialData, never a made-up value.

#include <algorithm>
#include <cmath>

#include "EngineInternal.h"

namespace orva::opcua {

namespace {

using Clock = Engine::Clock;

Clock::duration millis(double ms)
{
    return std::chrono::microseconds(static_cast<int64_t>(ms * 1000));
}

// How long a new item waits for a fresh value: long enough for the communication thread to
// register the tag and read its block on a busy machine, short enough for a client to notice
// nothing at all. (The wait ends earlier with the first value read.)
constexpr auto kFreshWait = std::chrono::seconds(2);

// Keeps v in slot, reusing the value already there.
void keep(std::unique_ptr<DataValue>& slot, DataValue&& v)
{
    if (slot)
        *slot = std::move(v);
    else
        slot = std::make_unique<DataValue>(std::move(v));
}

}  // namespace

double Engine::reviseSamplingInterval(double requested, const Subscription& sub, const Node& node) const
{
    // Values the engine samples itself (attributes, server status) follow the publishing cycle.
    if (!node.isTag) return sub.interval;
    if (std::isnan(requested) || requested < 0) requested = sub.interval;  // -1: the publishing interval
    const double minimum = std::max(node.minimumSamplingInterval, limits_.minPublishingInterval);
    return std::min(std::max(requested, minimum), limits_.maxPublishingInterval);
}

void Engine::updateGroupRate(Subscription& sub)
{
    double fastest = sub.interval;
    bool anyTag = false;
    for (const auto& [id, item] : sub.items) {
        if (item.handle == kNoHandle) continue;
        fastest = anyTag ? std::min(fastest, item.samplingInterval) : item.samplingInterval;
        anyTag = true;
    }
    const auto rate = static_cast<uint32_t>(std::llround(fastest));
    if (rate != sub.groupRate) sub.groupRate = backend_.setGroupRate(sub.group, rate);
}

void Engine::listAsHeld(Subscription& sub, MonitoredItem& item)
{
    if (item.listedAsHeld) return;
    item.listedAsHeld = true;
    sub.held.push_back(item.id);
}

void Engine::startFreshWait(Subscription& sub, MonitoredItem& item)
{
    const auto t = Clock::now();
    item.awaitingFresh = true;
    item.activatedAt = now();
    item.freshDeadline = t + kFreshWait;
    item.nextFreshCheck = t + millis(item.samplingInterval);
    item.held.reset();
    item.lastReported.reset();
    item.nextSample = t;
    listAsHeld(sub, item);
}

bool Engine::isFresh(const MonitoredItem& item, const DataValue& v) const
{
    if (v.status == status::Uncertain || v.status == status::BadWaitingForInitialData) return false;
    if (isBad(v.status)) return true;  // the PLC could not be read: say so at once
    const auto age = static_cast<DateTime>(item.samplingInterval * 10000);  // DateTime ticks are 100 ns
    return v.sourceTimestamp != 0 && v.sourceTimestamp >= item.activatedAt - age;
}

void Engine::offerSample(Subscription& sub, MonitoredItem& item, DataValue&& v, Clock::time_point t)
{
    if (item.awaitingFresh) {
        if (!isFresh(item, v)) {
            keep(item.held, std::move(v));
            return;
        }
        item.awaitingFresh = false;
        item.held.reset();
        return takeSample(sub, item, std::move(v), t);
    }
    // An item sampling at the group's rate takes every delivery: each is one poll of the PLC. A
    // slower item takes one per interval; early by at most a quarter interval counts as on time,
    // as deliveries jitter.
    const auto interval = millis(item.samplingInterval);
    if (item.samplingInterval <= sub.groupRate || t + interval / 4 >= item.nextSample)
        return takeSample(sub, item, std::move(v), t);
    keep(item.held, std::move(v));
    listAsHeld(sub, item);
}

void Engine::takeSample(Subscription& sub, MonitoredItem& item, DataValue&& v, Clock::time_point t)
{
    const auto interval = millis(item.samplingInterval);
    item.nextSample = std::max(item.nextSample + interval, t + interval - interval / 4);
    if (item.range.isSet() && v.hasValue) {
        const StatusCode cut = applyRange(item.range, v.value);
        if (isBad(cut)) v = DataValue::ofStatus(cut);
    }
    // The group delivers a value only when its value or status changed since its last delivery;
    // an item that takes every delivery whole passes any filter without deadband but Status.
    const bool everyDeliveryPasses =
        item.samplingInterval <= sub.groupRate && !item.range.isSet() &&
        item.filter.trigger != DataChangeTrigger::Status &&
        !(item.filter.deadband == DeadbandType::Absolute && item.filter.deadbandValue > 0);
    if (everyDeliveryPasses) {
        item.lastReported.reset();
    } else {
        if (item.lastReported && !passesFilter(item.filter, *item.lastReported, v)) return;
        keep(item.lastReported, DataValue(v));
    }
    enqueue(sub, item, std::move(v));
}

Clock::time_point Engine::sampleHeldItems(Session& s, Subscription& sub, Clock::time_point t)
{
    auto next = Clock::time_point::max();
    std::vector<uint32_t> still;
    std::vector<uint32_t> toCheck;
    for (const uint32_t id : sub.held) {
        const auto it = sub.items.find(id);
        if (it == sub.items.end()) continue;
        MonitoredItem& item = it->second;
        if (item.mode == MonitoringMode::Disabled) {
            item.listedAsHeld = false;
            continue;
        }
        if (item.awaitingFresh) {
            if (t >= item.freshDeadline) {
                // No read of the block in time: the cache's value is what the server knows, with
                // its time stamp; one that was never read is reported as such, not as a value.
                item.awaitingFresh = false;
                if (item.held) {
                    DataValue v = std::move(*item.held);
                    item.held.reset();
                    if (v.status == status::Uncertain) {
                        v = DataValue::ofStatus(status::BadWaitingForInitialData);
                        v.serverTimestamp = now();
                    }
                    takeSample(sub, item, std::move(v), t);
                }
            } else {
                if (t >= item.nextFreshCheck) {
                    // An unchanged value read again is not delivered as a change: look at the
                    // cache's time stamp. (A value never read changes its status when it is.)
                    item.nextFreshCheck = t + millis(item.samplingInterval);
                    if (item.held && item.held->status != status::Uncertain) toCheck.push_back(id);
                }
                next = std::min({next, item.freshDeadline, item.nextFreshCheck});
                still.push_back(id);
                continue;
            }
        }
        if (item.held && t + millis(item.samplingInterval) / 4 >= item.nextSample) {
            DataValue v = std::move(*item.held);
            item.held.reset();
            takeSample(sub, item, std::move(v), t);
        }
        if (item.held) {
            next = std::min(next, item.nextSample);
            still.push_back(id);
        } else {
            item.listedAsHeld = false;
        }
    }
    sub.held = std::move(still);
    if (!toCheck.empty()) requestFreshCheck(s, sub, std::move(toCheck));
    return next;
}

void Engine::requestFreshCheck(Session& s, Subscription& subscription, std::vector<uint32_t> itemIds)
{
    std::vector<std::string> tags;
    tags.reserve(itemIds.size());
    for (const uint32_t id : itemIds)
        tags.push_back(subscription.items.at(id).nodeId.text);
    const uint32_t sessionKey = s.key;
    const uint32_t subscriptionId = subscription.id;
    backend_.read(s.client, tags, false,
                  [this, inbox = inbox_, sessionKey, subscriptionId,
                   itemIds = std::move(itemIds)](std::vector<ItemValue> values) mutable {
                      inbox->post([this, sessionKey, subscriptionId, itemIds = std::move(itemIds),
                                   values = std::move(values)]() mutable {
                          Subscription* sub = findSubscription(sessionKey, subscriptionId);
                          if (sub == nullptr) return;
                          const auto t = Clock::now();
                          for (size_t k = 0; k < itemIds.size() && k < values.size(); ++k) {
                              const auto it = sub->items.find(itemIds[k]);
                              if (it == sub->items.end() || !it->second.awaitingFresh) continue;
                              DataValue d =
                                  DataValue::ofValue(std::move(values[k].value), values[k].timestamp, now());
                              d.status = values[k].status;
                              offerSample(*sub, it->second, std::move(d), t);
                          }
                      });
                  });
}

}  // namespace orva::opcua
