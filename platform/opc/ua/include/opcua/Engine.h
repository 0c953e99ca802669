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
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "opcua/AddressSpace.h"
#include "opcua/Backend.h"
#include "opcua/Limits.h"

namespace orva::opcua {

struct SecurityPolicy;
enum class SecurityMode : int32_t;
struct ChannelSecurity;
class ServerSecurity;

struct ServerInfo {
    std::string applicationUri = "urn:orva:gateway";
    std::string productUri = "urn:orva:gateway";
    std::string applicationName = "ORVA S7 gateway";
    std::string manufacturerName = "ORVA Automation";
    std::string softwareVersion = "1.1.0";
    std::string buildNumber = "1";
    std::string namespaceUri = "urn:orva:gateway:tags";
    std::string endpointUrl;  // filled in by the server from its address and port when empty
    std::vector<EventTypeDefinition> eventTypes;  // the application's event types (namespace 1)
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

    // A complete request message (encoding id first) received on a secure channel. endpointUrl is
    // the URL the client said it connected to (its Hello); the endpoints it is told of use its host.
    // security: the channel's policy, mode, client certificate and the client's address, which
    // counts its sessions against the per-address limit (null: SecurityPolicy None, in-process).
    void handleMessage(uint32_t channelId, uint32_t requestId, std::span<const uint8_t> body,
                       std::string_view endpointUrl = {}, const ChannelSecurity* security = nullptr);
    // The server's certificate, offered endpoints and users; without it the engine offers one
    // None endpoint to anonymous clients that may write.
    void setSecurity(std::shared_ptr<const ServerSecurity> security);
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

    // Puts the server into state Shutdown with the reason, visible in Server.ServerStatus, whose
    // SecondsTillShutdown counts down the grace time.
    void beginShutdown(const std::string& reason, std::chrono::milliseconds grace = {});
    // Ends every session (their subscriptions and backend clients).
    void closeAllSessions();

    // Reports an event through the Server object to every monitored item whose filter it passes.
    // Callable from any thread: the event is queued and delivered on the engine's thread.
    void reportEvent(Event event);

    size_t sessionCount() const;
    ServerState state() const { return state_; }
    const ServerLimits& limits() const { return limits_; }

    struct Session;
    struct Subscription;
    struct MonitoredItem;
    struct PendingRead;
    struct RequestContext;

    // What a service needs before its handler runs.
    enum class SessionUse : uint8_t {
        None,       // discovery, CreateSession
        Attach,     // ActivateSession: the session by its token, from any secure channel
        Created,    // CloseSession: a session on its own channel, activated or not
        Activated,  // every other service
    };
    // One row of the service table: the request's encoding id, its handler, the session it needs
    // and the limit of operations (nodes, items, methods) per call; a request with no operation
    // gets BadNothingToDo, one with more than the limit BadTooManyOperations.
    struct Service {
        uint32_t requestType = 0;
        void (Engine::*handler)(RequestContext&, class Reader&) = nullptr;
        SessionUse session = SessionUse::Activated;
        uint32_t ServerLimits::*operationLimit = nullptr;  // null: no limit beyond the message size
    };
    static const Service* findService(uint32_t requestType);

private:
    // Work handed over from the backend's threads. Callbacks hold the inbox, not the engine, so a
    // completion that arrives after the engine is gone is dropped instead of touching freed state.
    struct Inbox {
        std::mutex lock;
        std::vector<std::function<void()>> work;
        std::function<void()> wake;
        bool closed = false;
        void post(std::function<void()> w);
    };
    class SessionTable;

    void sendResponse(const RequestContext& ctx, uint32_t typeId,
                      const std::function<void(class Writer&)>& body,
                      StatusCode serviceResult = status::Good);
    void sendFault(const RequestContext& ctx, StatusCode status);
    // Finds the session the request names as the service needs it; sends the fault when it fails.
    bool attachSession(RequestContext& ctx, SessionUse use);
    // Checks the number of operations of a request against the service's limit; sends the fault
    // when it fails.
    bool admitOperations(RequestContext& ctx, size_t count);
    // The session's subscription that a monitored-item request names, once its own argument
    // check and the operation limit pass; null after the fault has been sent.
    Subscription* itemSubscription(RequestContext& ctx, uint32_t subscriptionId, StatusCode argumentStatus,
                                   size_t operations);

    // Services: discovery.
    void findServers(RequestContext& ctx, Reader& r);
    void getEndpoints(RequestContext& ctx, Reader& r);
    // Session.
    void createSession(RequestContext& ctx, Reader& r);
    void activateSession(RequestContext& ctx, Reader& r);
    void closeSession(RequestContext& ctx, Reader& r);
    // View.
    void browse(RequestContext& ctx, Reader& r);
    void browseNext(RequestContext& ctx, Reader& r);
    void translate(RequestContext& ctx, Reader& r);
    void registerNodes(RequestContext& ctx, Reader& r);
    void unregisterNodes(RequestContext& ctx, Reader& r);
    // Attribute.
    void read(RequestContext& ctx, Reader& r);
    void write(RequestContext& ctx, Reader& r);
    // Subscription.
    void createSubscription(RequestContext& ctx, Reader& r);
    void modifySubscription(RequestContext& ctx, Reader& r);
    void setPublishingMode(RequestContext& ctx, Reader& r);
    void deleteSubscriptions(RequestContext& ctx, Reader& r);
    void publish(RequestContext& ctx, Reader& r);
    void republish(RequestContext& ctx, Reader& r);
    // Monitored item.
    void createMonitoredItems(RequestContext& ctx, Reader& r);
    void modifyMonitoredItems(RequestContext& ctx, Reader& r);
    void setMonitoringMode(RequestContext& ctx, Reader& r);
    void deleteMonitoredItems(RequestContext& ctx, Reader& r);
    // Method.
    void call(RequestContext& ctx, Reader& r);
    StatusCode getMonitoredItems(const Session& session, uint32_t subscriptionId, std::vector<Variant>& out);
    // Events.
    std::optional<StatusCode> prepareEventItem(const Node& node, uint32_t attributeId,
                                               const ExtensionObject& filter,
                                               std::shared_ptr<const struct EventFilter>& eventFilter,
                                               ExtensionObject& filterResult) const;
    uint32_t reviseEventQueueSize(uint32_t requested) const;
    void deliverEvent(const Event& event);
    void enqueueEvent(Subscription& sub, MonitoredItem& item, std::vector<Variant> fields);

    // Helpers.
    // The server's endpoint URL with the host the client used (the request's URL, else its Hello's).
    std::string endpointUrlFor(const RequestContext& ctx, std::string_view requested) const;
    void writeEndpoint(Writer& w, std::string_view url) const;
    void writeApplicationDescription(Writer& w, std::string_view url) const;
    Variant serverValue(uint32_t nodeId) const;
    uint32_t secondsTillShutdown() const;
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
    // Sampling of tag items (Sampling.cpp).
    double reviseSamplingInterval(double requested, const Subscription& sub, const Node& node) const;
    void updateGroupRate(Subscription& sub);
    void startFreshWait(Subscription& sub, MonitoredItem& item);
    bool isFresh(const MonitoredItem& item, const DataValue& v) const;
    void offerSample(Subscription& sub, MonitoredItem& item, DataValue&& v, Clock::time_point t);
    void takeSample(Subscription& sub, MonitoredItem& item, DataValue&& v, Clock::time_point t);
    void listAsHeld(Subscription& sub, MonitoredItem& item);
    // Samples the held values that are due; returns when the next one is.
    Clock::time_point sampleHeldItems(Session& s, Subscription& sub, Clock::time_point t);
    // Reads the cache of items waiting for a fresh first value (one backend read for all).
    void requestFreshCheck(Session& s, Subscription& sub, std::vector<uint32_t> itemIds);
    Subscription* findSubscription(uint32_t sessionKey, uint32_t subscriptionId);

    // Session security: the endpoints offered, signatures, identity tokens.
    void writeEndpoints(Writer& w, std::string_view url) const;
    void writeEndpoint(Writer& w, std::string_view url, const SecurityPolicy& policy,
                       SecurityMode mode) const;
    size_t endpointCount() const;
    StatusCode checkCreateSession(const RequestContext& ctx, const std::string& applicationUri,
                                  const std::string& clientNonce, const std::string& clientCertificate) const;
    StatusCode checkClientSignature(const RequestContext& ctx, const Session& s, const std::string& algorithm,
                                    const std::string& signature) const;
    // tokenSignature: the user token signature's algorithm and bytes (X.509 tokens).
    StatusCode logon(const RequestContext& ctx, Session& s, const ExtensionObject& token,
                     const std::pair<std::string, std::string>& tokenSignature);
    StatusCode userNameLogon(const RequestContext& ctx, Session& s, Reader& token);
    StatusCode certificateLogon(const RequestContext& ctx, Session& s, Reader& token,
                                const std::pair<std::string, std::string>& tokenSignature);

    Backend& backend_;
    ServerInfo info_;
    std::shared_ptr<const ServerSecurity> security_;
    struct FailedLogons {
        uint32_t count = 0;
        Clock::time_point notBefore;
    };
    std::map<std::string, FailedLogons> failedLogons_;  // by client address
    ServerLimits limits_;
    SendFn send_;
    AddressSpace space_;
    std::shared_ptr<Inbox> inbox_;
    std::function<void()> lastSessionClosed_;

    std::unique_ptr<SessionTable> sessions_;
    uint32_t nextSubscriptionId_ = 1;
    uint32_t nextMonitoredItemId_ = 1;
    ServerState state_ = ServerState::Running;
    std::string shutdownReason_;
    Clock::time_point shutdownAt_;  // end of the shutdown grace
    DateTime startTime_;
};

}  // namespace orva::opcua
