#pragma once
// A session: made by CreateSession, bound to the secure channel that activated it last, owner of
// its subscriptions, its queued Publish requests and its browse continuation points. The session
// table owns every session; a session outlives its secure channel until its timeout.

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Subscription.h"
#include "opcua/Security.h"

namespace orva::opcua {

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
    std::string clientAddress;  // where it was created from, for the per-address session limit
    bool activated = false;
    double timeoutMs = 0;
    Clock::time_point lastActivity;
    ClientHandle client = kNoHandle;
    std::string name;
    std::string serverNonce;        // the last one the client was given, for its next signature
    std::string clientCertificate;  // the leaf the session was created with (secured channels)
    Access access = Access::Write;  // what the user who activated it may do
    std::map<uint32_t, std::unique_ptr<Subscription>> subscriptions;
    std::deque<PendingPublish> publishQueue;
    std::map<std::string, ContinuationPoint> continuationPoints;
    uint32_t nextContinuationPoint = 1;
    size_t monitoredItems = 0;
};

// The sessions of the server, by key, with the lookup by authentication token every request makes.
class Engine::SessionTable {
public:
    using Map = std::map<uint32_t, std::unique_ptr<Session>>;

    // A new session with the next key; the caller fills in the rest.
    Session& create()
    {
        auto s = std::make_unique<Session>();
        s->key = nextKey_++;
        return *sessions_.emplace(s->key, std::move(s)).first->second;
    }
    Session* find(uint32_t key)
    {
        const auto it = sessions_.find(key);
        return it == sessions_.end() ? nullptr : it->second.get();
    }
    Session* byToken(const NodeId& token)
    {
        for (auto& [key, s] : sessions_)
            if (s->authenticationToken == token) return s.get();
        return nullptr;
    }
    bool contains(uint32_t key) const { return sessions_.contains(key); }
    void erase(uint32_t key) { sessions_.erase(key); }
    size_t size() const { return sessions_.size(); }
    bool empty() const { return sessions_.empty(); }
    uint32_t firstKey() const { return sessions_.begin()->first; }
    Map::iterator begin() { return sessions_.begin(); }
    Map::iterator end() { return sessions_.end(); }

private:
    Map sessions_;
    uint32_t nextKey_ = 1;
};

}  // namespace orva::opcua
