#pragma once
// State kept by the engine per session, subscription and monitored item, and the encodings of the
// structures that more than one service writes.

#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "opcua/Binary.h"
#include "opcua/Engine.h"
#include "opcua/Transport.h"

namespace opcua {

// Encoding ids (binary) of the services; the response id is the request id + 3.
namespace svc {
inline constexpr uint32_t ServiceFault = 397, FindServers = 422, GetEndpoints = 428, OpenSecureChannel = 446,
                          CloseSecureChannel = 452, CreateSession = 461, ActivateSession = 467,
                          CloseSession = 473, Browse = 527, BrowseNext = 533, Translate = 554,
                          RegisterNodes = 560, UnregisterNodes = 566, Read = 631, Write = 673,
                          CreateMonitoredItems = 751, ModifyMonitoredItems = 763, SetMonitoringMode = 769,
                          DeleteMonitoredItems = 781, CreateSubscription = 787, ModifySubscription = 793,
                          SetPublishingMode = 799, Publish = 826, Republish = 832, DeleteSubscriptions = 847;
inline constexpr uint32_t AnonymousIdentityToken = 321, AnonymousIdentityTokenType = 319,
                          DataChangeNotification = 811, DataChangeFilter = 724, ServerStatusDataType = 864;
}  // namespace svc

enum class TimestampsToReturn : int32_t { Source = 0, Server = 1, Both = 2, Neither = 3 };
enum class MonitoringMode : int32_t { Disabled = 0, Sampling = 1, Reporting = 2 };

struct Engine::RequestContext {
    uint32_t channelId = 0;
    uint32_t requestId = 0;
    NodeId authenticationToken;
    uint32_t requestHandle = 0;
    uint32_t timeoutHint = 0;
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
    uint32_t queueSize = 1;
    bool discardOldest = true;
    double samplingInterval = 0;
    std::deque<DataValue> queue;
    bool dirty = false;               // listed in the subscription's dirty list
    std::vector<uint8_t> lastSample;  // sampled items: the last value reported, encoded
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
    size_t sampledItems = 0;
    uint32_t nextSequence = 1;
    std::map<uint32_t, std::vector<uint8_t>> retransmit;  // sequence number -> encoded NotificationMessage
    Clock::time_point nextCycle;
    uint32_t keepAliveCounter = 0;
    uint32_t lifetimeCounter = 0;
    bool late = false;  // a message is due but no Publish request was waiting
};

struct PendingPublish {
    uint32_t channelId = 0;
    uint32_t requestId = 0;
    uint32_t requestHandle = 0;
    Engine::Clock::time_point deadline;  // max() when the client gave no timeout
    std::vector<StatusCode> ackResults;
};

struct ReferenceDescription {
    NodeId referenceType;
    bool isForward = true;
    NodeId target;
    QualifiedName browseName;
    LocalizedText displayName;
    NodeClass nodeClass = NodeClass::Unspecified;
    NodeId typeDefinition;
};

struct ContinuationPoint {
    std::vector<ReferenceDescription> remaining;
    uint32_t maxReferences = 0;
    uint32_t resultMask = 0x3F;
};

struct Engine::Session {
    uint32_t key = 0;
    NodeId sessionId;
    NodeId authenticationToken;
    uint32_t channelId = 0;
    bool activated = false;
    double timeoutMs = 0;
    Clock::time_point lastActivity;
    ClientHandle client = kNoHandle;
    std::string name;
    std::map<uint32_t, std::unique_ptr<Subscription>> subscriptions;
    std::deque<PendingPublish> publishQueue;
    std::map<std::string, ContinuationPoint> continuationPoints;
    uint32_t nextContinuationPoint = 1;
    size_t monitoredItems = 0;
};

struct Engine::PendingRead {
    RequestContext ctx;
    uint32_t sessionKey = 0;
    ClientHandle client = kNoHandle;
    double maxAge = 0;
    TimestampsToReturn timestamps = TimestampsToReturn::Source;
    std::vector<DataValue> results;
    std::vector<size_t> slots;  // result index of each backend item
    std::vector<std::string> itemIds;
};

void writeResponseHeader(Writer& w, uint32_t requestHandle, StatusCode serviceResult);
void writeReferenceDescription(Writer& w, const ReferenceDescription& r, uint32_t resultMask);
// Keeps the time stamps the client asked for.
void applyTimestamps(DataValue& v, TimestampsToReturn which);

}  // namespace opcua
