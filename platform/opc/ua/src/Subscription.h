#pragma once
// A subscription and its monitored items. A subscription is one backend group; a monitored item
// on a tag's value is one item of that group, and the group polls at the fastest sampling interval
// of its items (the publishing interval while it has none). Every subscription belongs to one
// session.

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "SampleQueue.h"
#include "events/EventFilter.h"
#include "opcua/DataChangeFilter.h"
#include "opcua/Engine.h"
#include "opcua/NumericRange.h"

namespace orva::opcua {

enum class TimestampsToReturn : int32_t { Source = 0, Server = 1, Both = 2, Neither = 3 };
enum class MonitoringMode : int32_t { Disabled = 0, Sampling = 1, Reporting = 2 };

// What an item on an event notifier keeps: its filter and the queued event field lists. Apart from
// the item, so that the many items on values stay small.
struct EventQueue {
    std::shared_ptr<const EventFilter> filter;
    std::deque<std::vector<Variant>> events;
    bool overflowQueued = false;  // an EventQueueOverflow event waits in the queue
};

struct Engine::MonitoredItem {
    uint32_t id = 0;
    uint32_t clientHandle = 0;
    NodeId nodeId;
    uint32_t attributeId = attr::Value;
    ItemHandle handle = kNoHandle;  // backend item for tag values; otherwise the item is sampled here
    MonitoringMode mode = MonitoringMode::Reporting;
    bool active = false;  // backend item active
    TimestampsToReturn timestamps = TimestampsToReturn::Source;
    double samplingInterval = 0;
    bool followsPublishing = false;  // asked for -1: samples at the publishing interval, also when it changes
    SampleQueue queue;
    DataChangeRule filter;
    NumericRange range;
    bool dirty = false;               // listed in the subscription's dirty list
    std::vector<uint8_t> lastSample;  // sampled items: the last value reported, encoded

    // Tag items are sampled from the values the group delivers: a value that arrives before the
    // item's next sampling time is held until then (a later one replaces it).
    // (Apart from the item, as most items need neither: the many items stay small.)
    std::unique_ptr<DataValue> lastReported;  // what the filter compares with
    std::unique_ptr<DataValue> held;
    bool listedAsHeld = false;  // in the subscription's held list
    Clock::time_point nextSample;
    // A new item waits for a value read after it was made (or a Bad one) until freshDeadline.
    bool awaitingFresh = false;
    DateTime activatedAt = 0;
    Clock::time_point freshDeadline;
    Clock::time_point nextFreshCheck;

    // Items on an event notifier: the queue's size and policy, the filter and the events.
    uint32_t queueSize = 1;
    bool discardOldest = true;
    std::unique_ptr<EventQueue> events;  // items on an event notifier only
};

struct Engine::Subscription {
    uint32_t id = 0;
    double interval = 0;
    uint32_t lifetimeCount = 0;
    uint32_t maxKeepAlive = 0;
    uint32_t maxNotifications = 0;
    bool enabled = true;
    uint8_t priority = 0;
    GroupHandle group = kNoHandle;
    std::map<uint32_t, MonitoredItem> items;
    std::unordered_map<ItemHandle, uint32_t> byHandle;
    std::vector<uint32_t> dirty;  // items with queued notifications, in arrival order
    std::vector<uint32_t> held;   // tag items with a held value or waiting for a fresh one
    uint32_t groupRate = 0;       // the backend group's update rate in force (ms)
    size_t sampledItems = 0;
    size_t eventItems = 0;
    uint32_t nextSequence = 1;
    std::map<uint32_t, std::vector<uint8_t>> retransmit;  // sequence number -> encoded NotificationMessage
    Clock::time_point nextCycle;
    uint32_t keepAliveCounter = 0;
    uint32_t lifetimeCounter = 0;
    bool late = false;  // a message is due but no Publish request was waiting
};

}  // namespace orva::opcua
