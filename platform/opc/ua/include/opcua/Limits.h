#pragma once
// The limits that protect the server from clients asking too much. Each is enforced with its own
// status code (see the comments); the operation limits are also published under
// Server.ServerCapabilities so that clients can split their requests in time.

#include <cstdint>

namespace orva::opcua {

struct ServerLimits {
    uint32_t maxConnections = 64;  // further connections: ERR BadTcpServerTooBusy
    uint32_t maxSessions = 32;     // CreateSession: BadTooManySessions
    // One client address may hold only part of the connections and sessions, so a client that
    // leaks them cannot starve the others.
    uint32_t maxConnectionsPerAddress = 32;        // further connections from it: ERR BadTcpServerTooBusy
    uint32_t maxSessionsPerAddress = 16;           // CreateSession from it: BadTooManySessions
    uint32_t maxSubscriptionsPerSession = 16;      // CreateSubscription: BadTooManySubscriptions
    uint32_t maxMonitoredItemsPerSession = 50000;  // CreateMonitoredItems: BadTooManyMonitoredItems per item
    uint32_t maxNodesPerRead = 10000;              // larger requests: BadTooManyOperations
    uint32_t maxNodesPerWrite = 1000;
    uint32_t maxNodesPerBrowse = 1000;
    uint32_t maxNodesPerRegisterNodes = 1000;
    uint32_t maxNodesPerTranslate = 1000;
    uint32_t maxMonitoredItemsPerCall = 10000;
    uint32_t maxNodesPerMethodCall = 1000;
    uint32_t maxReferencesPerNode = 1000;         // more: a continuation point
    uint16_t maxBrowseContinuationPoints = 8;     // per session; more: BadNoContinuationPoints
    uint32_t maxPublishRequestsPerSession = 16;   // the oldest is answered BadTooManyPublishRequests
    uint32_t maxRetransmissionQueue = 32;         // kept notification messages per subscription
    uint32_t maxNotificationsPerPublish = 10000;  // a larger request (or 0) is revised to this
    uint32_t maxQueueSize = 100;                  // per monitored item
    uint32_t receiveBufferSize = 65536;           // chunk size accepted (ACK receive buffer)
    uint32_t sendBufferSize = 65536;              // largest chunk sent
    uint32_t maxMessageSize = 16u * 1024 * 1024;  // request body: BadRequestTooLarge; also largest response
    uint32_t maxChunkCount = 0;                   // chunks of one request; 0: what maxMessageSize needs
    double minPublishingInterval = 50;            // ms; requests are revised into [min, max]
    double maxPublishingInterval = 3600000;
    double minSessionTimeout = 10000;  // ms
    double maxSessionTimeout = 3600000;
    uint32_t minTokenLifetime = 1000;  // ms; secure channel token lifetimes revised into range
    uint32_t maxTokenLifetime = 3600000;
    uint32_t helloTimeoutMs = 10000;  // a connection must say Hello and open a channel in time
};

}  // namespace orva::opcua
