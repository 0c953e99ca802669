#pragma once
// The service layer of the server: sessions, browsing, reads, writes and subscriptions, with no
// knowledge of sockets. The network side hands it complete request messages per secure channel and
// gets response messages back through the send function. All calls come from one thread; the
// backend's completions are queued and applied there by processInbox().

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "opcua/AddressSpace.h"
#include "opcua/Backend.h"
#include "opcua/Limits.h"

namespace opcua {

struct ServerInfo {
    std::string applicationUri = "urn:orva:gateway";
    std::string productUri = "urn:orva:gateway";
    std::string applicationName = "ORVA S7 gateway";
    std::string manufacturerName = "ORVA Automation";
    std::string softwareVersion = "1.1.0";
    std::string buildNumber = "1";
    std::string namespaceUri = "urn:orva:gateway:tags";
    std::string endpointUrl;  // filled in by the server from its address and port when empty
};

enum class ServerState : int32_t {
    Running = 0,
    Failed = 1,
    NoConfiguration = 2,
    Suspended = 3,
    Shutdown = 4
};

class Engine {
public:
    using Clock = std::chrono::steady_clock;
    using SendFn = std::function<void(uint32_t channelId, uint32_t requestId, std::vector<uint8_t> body)>;

    Engine(Backend& backend, ServerInfo info, ServerLimits limits, SendFn send);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // A complete request message (encoding id first) received on a secure channel.
    void handleMessage(uint32_t channelId, uint32_t requestId, std::span<const uint8_t> body);
    // The channel is gone: its pending responses are dropped, its sessions wait for a new channel
    // until their timeout.
    void channelClosed(uint32_t channelId);
    // Applies the backend's completions and data changes received since the last call.
    void processInbox();
    // Runs publishing cycles and timeouts that are due; returns the time of the next one.
    Clock::time_point tick(Clock::time_point now);

    // Called from any thread when the inbox got work; the network thread sets it to wake its loop.
    void setWakeup(std::function<void()> wakeup);
    // Called once each time the number of sessions drops to zero.
    void setLastSessionClosedHook(std::function<void()> hook) { lastSessionClosed_ = std::move(hook); }

    // Puts the server into state Shutdown with the reason, visible in Server.ServerStatus.
    void beginShutdown(const std::string& reason);
    // Ends every session (their subscriptions and backend clients).
    void closeAllSessions();

    size_t sessionCount() const { return sessions_.size(); }
    ServerState state() const { return state_; }
    const ServerLimits& limits() const { return limits_; }

    struct Session;
    struct Subscription;
    struct MonitoredItem;
    struct PendingRead;

private:
    struct RequestContext;
    // Work handed over from the backend's threads. Callbacks hold the inbox, not the engine, so a
    // completion that arrives after the engine is gone is dropped instead of touching freed state.
    struct Inbox {
        std::mutex lock;
        std::vector<std::function<void()>> work;
        std::function<void()> wake;
        bool closed = false;
        void post(std::function<void()> w);
    };

    void dispatch(uint32_t typeId, RequestContext& ctx, class Reader& r);
    void sendResponse(const RequestContext& ctx, uint32_t typeId,
                      const std::function<void(class Writer&)>& body,
                      StatusCode serviceResult = status::Good);
    void sendFault(const RequestContext& ctx, StatusCode status);
    Session* sessionFor(RequestContext& ctx, bool requireActivated);

    // Services.
    void findServers(RequestContext& ctx, Reader& r);
    void getEndpoints(RequestContext& ctx, Reader& r);
    void createSession(RequestContext& ctx, Reader& r);
    void activateSession(RequestContext& ctx, Reader& r);
    void closeSession(RequestContext& ctx, Reader& r);
    void browse(RequestContext& ctx, Reader& r);
    void browseNext(RequestContext& ctx, Reader& r);
    void translate(RequestContext& ctx, Reader& r);
    void registerNodes(RequestContext& ctx, Reader& r, bool unregister);
    void read(RequestContext& ctx, Reader& r);
    void write(RequestContext& ctx, Reader& r);
    void createSubscription(RequestContext& ctx, Reader& r);
    void modifySubscription(RequestContext& ctx, Reader& r);
    void setPublishingMode(RequestContext& ctx, Reader& r);
    void deleteSubscriptions(RequestContext& ctx, Reader& r);
    void createMonitoredItems(RequestContext& ctx, Reader& r);
    void modifyMonitoredItems(RequestContext& ctx, Reader& r);
    void setMonitoringMode(RequestContext& ctx, Reader& r);
    void deleteMonitoredItems(RequestContext& ctx, Reader& r);
    void publish(RequestContext& ctx, Reader& r);
    void republish(RequestContext& ctx, Reader& r);

    // Helpers.
    void writeEndpoint(Writer& w) const;
    void writeApplicationDescription(Writer& w) const;
    Variant serverValue(uint32_t nodeId) const;
    DataValue readNonTagValue(const Node& node) const;
    void finishRead(const std::shared_ptr<PendingRead>& pending);
    void closeSession(uint32_t sessionKey);
    void deleteSubscription(Session& s, uint32_t subscriptionId);
    void deleteMonitoredItem(Subscription& sub, uint32_t itemId);
    void setItemMode(Subscription& sub, MonitoredItem& item, int32_t mode);
    void onDataChange(uint32_t sessionKey, uint32_t subscriptionId, std::vector<ItemChange> changes);
    void enqueue(Subscription& sub, MonitoredItem& item, DataValue value);
    void publishingCycle(Session& s, Subscription& sub, Clock::time_point now);
    bool sendNotification(Session& s, Subscription& sub, bool keepAlive);
    void answerLatePublish(Session& s);
    double revisePublishingInterval(double requested) const;

    Backend& backend_;
    ServerInfo info_;
    ServerLimits limits_;
    SendFn send_;
    AddressSpace space_;
    std::shared_ptr<Inbox> inbox_;
    std::function<void()> lastSessionClosed_;

    std::map<uint32_t, std::unique_ptr<Session>> sessions_;  // by session key
    uint32_t nextSessionKey_ = 1;
    uint32_t nextSubscriptionId_ = 1;
    uint32_t nextMonitoredItemId_ = 1;
    ServerState state_ = ServerState::Running;
    std::string shutdownReason_;
    DateTime startTime_;
};

}  // namespace opcua
