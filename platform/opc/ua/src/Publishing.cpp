// Notifications: data changes queued per monitored item, publishing cycles, keep-alives,
// lifetimes and the answers to queued Publish requests.
#include <algorithm>

#include "EngineInternal.h"

namespace orva::opcua {

namespace {
constexpr size_t kMaxPublishRepeat = 64;  // messages sent back to back for one late subscription

std::vector<uint8_t> sampleKey(const DataValue& v)
{
    std::vector<uint8_t> out;
    Writer w(out);
    w.statusCode(v.status);
    if (v.hasValue) w.variant(v.value);
    return out;
}
}  // namespace

void Engine::enqueue(Subscription& sub, MonitoredItem& item, DataValue value)
{
    applyTimestamps(value, item.timestamps);
    item.queue.push(std::move(value));
    if (item.mode == MonitoringMode::Reporting && !item.dirty) {
        item.dirty = true;
        sub.dirty.push_back(item.id);
    }
}

Engine::Subscription* Engine::findSubscription(uint32_t sessionKey, uint32_t subscriptionId)
{
    Session* session = sessions_->find(sessionKey);
    if (session == nullptr) return nullptr;
    const auto it = session->subscriptions.find(subscriptionId);
    return it == session->subscriptions.end() ? nullptr : it->second.get();
}

void Engine::onDataChange(uint32_t sessionKey, uint32_t subscriptionId, std::vector<ItemChange> changes)
{
    Subscription* found = findSubscription(sessionKey, subscriptionId);
    if (found == nullptr) return;
    Subscription& sub = *found;
    const DateTime t = now();
    const auto arrival = Clock::now();
    for (auto& c : changes) {
        const auto h = sub.byHandle.find(c.item);
        if (h == sub.byHandle.end()) continue;
        MonitoredItem& item = sub.items.at(h->second);
        if (item.mode == MonitoringMode::Disabled) continue;
        DataValue v = DataValue::ofValue(std::move(c.value.value), c.value.timestamp, t);
        v.status = c.value.status;
        offerSample(sub, item, std::move(v), arrival);
    }
}

namespace {
// A NotificationMessage with a DataChangeNotification and an EventNotificationList, each when
// given; neither is a keep-alive.
void writeNotificationMessage(std::vector<uint8_t>& out, uint32_t sequence,
                              const std::vector<uint8_t>* dataChange, const std::vector<uint8_t>* events)
{
    Writer w(out);
    w.u32(sequence);
    w.dateTime(now());
    w.arrayLength((dataChange != nullptr ? 1 : 0) + (events != nullptr ? 1 : 0));
    const auto notification = [&](uint32_t typeId, const std::vector<uint8_t>& body) {
        w.nodeId(NodeId::num(typeId));
        w.u8(1);
        w.u32(static_cast<uint32_t>(body.size()));
        w.bytes(body);
    };
    if (dataChange != nullptr) notification(svc::DataChangeNotification, *dataChange);
    if (events != nullptr) notification(svc::EventNotificationList, *events);
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
        writeNotificationMessage(message, sub.nextSequence, nullptr, nullptr);
    } else {
        // DataChangeNotification: monitored item notifications, then an empty diagnostics array;
        // EventNotificationList: the event field lists of the items on event notifiers.
        std::vector<uint8_t> body;
        body.reserve(64 + std::min<size_t>(sub.dirty.size(), sub.maxNotifications) * 24);
        Writer w(body);
        w.u32(0);  // count, patched below
        std::vector<uint8_t> eventBody;
        Writer ew(eventBody);
        ew.u32(0);  // count, patched below
        uint32_t count = 0;
        uint32_t eventCount = 0;
        size_t consumed = 0;
        for (; consumed < sub.dirty.size(); ++consumed) {
            const auto it = sub.items.find(sub.dirty[consumed]);
            if (it == sub.items.end()) continue;
            MonitoredItem& item = it->second;
            const size_t queued = item.events ? item.events->events.size() : item.queue.size();
            if (count + eventCount + queued > sub.maxNotifications && count + eventCount > 0) break;
            while (!item.queue.empty()) {
                w.u32(item.clientHandle);
                w.dataValue(item.queue.front());
                item.queue.pop_front();
                ++count;
            }
            if (item.events) {
                for (const auto& fields : item.events->events) {
                    ew.u32(item.clientHandle);
                    ew.arrayLength(fields.size());
                    for (const auto& field : fields)
                        ew.variant(field);
                    ++eventCount;
                }
                item.events->events.clear();
                item.events->overflowQueued = false;
            }
            item.dirty = false;
        }
        sub.dirty.erase(sub.dirty.begin(), sub.dirty.begin() + static_cast<ptrdiff_t>(consumed));
        more = !sub.dirty.empty();
        w.patchU32(0, count);
        w.emptyArray();
        ew.patchU32(0, eventCount);
        const uint32_t sequence = sub.nextSequence;
        sub.nextSequence = sub.nextSequence >= 0xFFFFFFFEu ? 1 : sub.nextSequence + 1;
        writeNotificationMessage(message, sequence, count > 0 || eventCount == 0 ? &body : nullptr,
                                 eventCount > 0 ? &eventBody : nullptr);
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
            if (item.handle != kNoHandle || item.events || item.mode == MonitoringMode::Disabled) continue;
            const auto node = space_.find(item.nodeId);
            DataValue v = !node                             ? DataValue::ofStatus(status::BadNodeIdUnknown)
                          : item.attributeId == attr::Value ? readNonTagValue(*node)
                                                            : space_.readAttribute(*node, item.attributeId);
            if (item.range.isSet() && v.hasValue && isBad(applyRange(item.range, v.value)))
                v = DataValue::ofStatus(status::BadIndexRangeNoData);
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

Engine::Clock::time_point Engine::tick(Clock::time_point t)
{
    auto next = t + std::chrono::seconds(1);
    std::vector<uint32_t> expired;
    for (auto& [key, s] : *sessions_) {
        if (t - s->lastActivity > std::chrono::milliseconds(static_cast<int64_t>(s->timeoutMs))) {
            expired.push_back(key);
            continue;
        }
        while (!s->publishQueue.empty() && s->publishQueue.front().deadline <= t) {
            PendingPublish p = std::move(s->publishQueue.front());
            s->publishQueue.pop_front();
            sendFault(replyContext(p), status::BadTimeout);
        }
        // Samples due now go into this cycle's notifications.
        for (auto& [id, sub] : s->subscriptions)
            if (!sub->held.empty()) next = std::min(next, sampleHeldItems(*s, *sub, t));
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

}  // namespace orva::opcua
