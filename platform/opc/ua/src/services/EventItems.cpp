// Monitored items on the Server object's EventNotifier: their filters, and the events reported to
// them, queued per item with the overflow event OPC UA defines.
#include "EngineInternal.h"

namespace orva::opcua {

namespace {
constexpr uint32_t kSubscribeToEvents = 0x01;

bool isEventFilter(const ExtensionObject& filter)
{
    return filter.typeId.isNumeric(kEventFilterEncoding);
}
bool isNullFilter(const ExtensionObject& filter)
{
    return filter.typeId.isNull() && filter.encoding == 0;
}
}  // namespace

std::optional<StatusCode> Engine::prepareEventItem(const Node& node, uint32_t attributeId,
                                                   const ExtensionObject& filter,
                                                   std::shared_ptr<const EventFilter>& eventFilter,
                                                   ExtensionObject& filterResult) const
{
    // An event filter belongs on an event notifier, a data-change filter never does.
    if (attributeId != attr::EventNotifier) {
        if (isEventFilter(filter)) return status::BadFilterNotAllowed;
        return std::nullopt;
    }
    if ((node.eventNotifier & kSubscribeToEvents) == 0) {
        if (isEventFilter(filter)) return status::BadNotSupported;
        return std::nullopt;  // the attribute's value, sampled like any other
    }
    if (!isEventFilter(filter))
        return isNullFilter(filter) ? status::BadEventFilterInvalid : status::BadFilterNotAllowed;
    auto decoded = std::make_shared<EventFilter>();
    if (!decodeEventFilter(filter, *decoded)) return status::BadEventFilterInvalid;
    const EventFilterCheck check = checkEventFilter(*decoded, space_);
    if (!check.allGood()) filterResult = eventFilterResult(check);
    if (isBad(check.status)) return check.status;
    eventFilter = std::move(decoded);
    return status::Good;
}

uint32_t Engine::reviseEventQueueSize(uint32_t requested) const
{
    // Events are not sampled: a queue of 0 or 1 asks for the server's usual depth.
    return requested <= 1 ? limits_.maxQueueSize : std::min(requested, limits_.maxQueueSize);
}

void Engine::reportEvent(Event event)
{
    inbox_->post([this, event = std::move(event)] { deliverEvent(event); });
}

void Engine::deliverEvent(const Event& e)
{
    const DateTime received = now();
    EventRecord record;
    record.eventType = e.eventType;
    const std::string eventId = randomBytes(16);
    const auto field = [&](const char* name, Variant v) {
        record.fields.emplace_back(QualifiedName{0, name}, std::move(v));
    };
    field("EventId", Variant::of(BuiltinType::ByteString, eventId));
    field("EventType", Variant::of(BuiltinType::NodeId, e.eventType));
    field("SourceNode",
          Variant::of(BuiltinType::NodeId, e.sourceNode.isNull() ? NodeId::num(id::Server) : e.sourceNode));
    field("SourceName", Variant::string(e.sourceName));
    field("Time", Variant::dateTime(e.time != 0 ? e.time : received));
    field("ReceiveTime", Variant::dateTime(received));
    field("Message", Variant::of(BuiltinType::LocalizedText, e.message));
    field("Severity", Variant::of(BuiltinType::UInt16, uint64_t{e.severity}));
    for (const auto& f : e.fields)
        record.fields.emplace_back(f.name, f.value);

    for (auto& [key, session] : *sessions_) {
        for (auto& [subId, sub] : session->subscriptions) {
            if (sub->eventItems == 0) continue;
            for (auto& [itemId, item] : sub->items) {
                if (!item.events || item.mode == MonitoringMode::Disabled) continue;
                const EventFilter& filter = *item.events->filter;
                if (!passes(filter, record, space_)) continue;
                enqueueEvent(*sub, item, selectFields(filter, record, space_));
            }
        }
    }
}

void Engine::enqueueEvent(Subscription& sub, MonitoredItem& item, std::vector<Variant> fields)
{
    EventQueue& queue = *item.events;
    if (queue.events.size() >= item.queueSize) {
        // Full: the loss is marked once by an EventQueueOverflow event, which the where clause does
        // not hold back; it stays until the queue has been delivered.
        std::vector<Variant> overflow;
        if (!queue.overflowQueued) {
            EventRecord record;
            record.eventType = NodeId::num(id::EventQueueOverflowEventType);
            const DateTime t = now();
            record.fields = {
                {QualifiedName{0, "EventId"}, Variant::of(BuiltinType::ByteString, randomBytes(16))},
                {QualifiedName{0, "EventType"}, Variant::of(BuiltinType::NodeId, record.eventType)},
                {QualifiedName{0, "SourceNode"}, Variant::of(BuiltinType::NodeId, NodeId::num(id::Server))},
                {QualifiedName{0, "SourceName"}, Variant::string("Internal/EventQueueOverflow")},
                {QualifiedName{0, "Time"}, Variant::dateTime(t)},
                {QualifiedName{0, "ReceiveTime"}, Variant::dateTime(t)},
                {QualifiedName{0, "Message"},
                 Variant::of(BuiltinType::LocalizedText, LocalizedText{"", "Event queue overflow"})},
                {QualifiedName{0, "Severity"}, Variant::of(BuiltinType::UInt16, uint64_t{1})}};
            overflow = selectFields(*queue.filter, record, space_);
        }
        if (item.discardOldest) {
            // The oldest event makes way (the overflow event keeps the front); a new overflow event
            // takes the place of one more.
            queue.events.erase(queue.events.begin() + (queue.overflowQueued ? 1 : 0));
            if (!overflow.empty()) {
                queue.events.erase(queue.events.begin());
                queue.events.push_front(std::move(overflow));
                queue.overflowQueued = true;
            }
            queue.events.push_back(std::move(fields));
        } else if (!overflow.empty()) {
            // The new event is lost; the newest queued one makes way for the overflow event.
            queue.events.back() = std::move(overflow);
            queue.overflowQueued = true;
        }
    } else {
        queue.events.push_back(std::move(fields));
    }
    if (item.mode == MonitoringMode::Reporting && !item.dirty) {
        item.dirty = true;
        sub.dirty.push_back(item.id);
    }
}

}  // namespace orva::opcua
