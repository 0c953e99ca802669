#pragma once
// A small OPC UA client (SecurityPolicy None, anonymous): builds requests, parses responses and
// speaks opc.tcp with a deadline on every wait. The tests, the benchmark and tools/uaclient use it;
// it also lets tests send deliberately wrong bytes (sendRaw, sequence and token fields).

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "opcua/Binary.h"
#include "opcua/Transport.h"

namespace orva::opcua {

// Builds a request body: encoding id, request header, then the service's fields.
std::vector<uint8_t> makeRequest(uint32_t typeId, const NodeId& authToken, uint32_t requestHandle,
                                 const std::function<void(Writer&)>& fields, uint32_t timeoutHint = 0);

struct Response {
    uint32_t typeId = 0;
    uint32_t requestHandle = 0;
    StatusCode serviceResult = status::BadUnexpectedError;
    std::vector<uint8_t> bytes;
    size_t bodyOffset = 0;  // first byte after the response header
    bool ok = false;

    Reader body() const { return Reader(std::span(bytes).subspan(bodyOffset)); }
};
Response parseResponse(std::vector<uint8_t> bytes);

// Request fields of the services the tests use most.
void writeReadRequest(Writer& w, double maxAge, const std::vector<std::pair<NodeId, uint32_t>>& nodes,
                      int32_t timestamps = 2);
// An ActivateSession body with an anonymous identity token under the server's policy id.
void writeAnonymousActivate(Writer& w, const std::string& policyId = "anonymous");
// The policy id of the anonymous token of the unsecured endpoint among the endpoints of a
// CreateSession response (the reader at the endpoints); fallback when there is none.
std::string anonymousPolicyId(Reader& r, const std::string& fallback);
void writeCreateSession(Writer& w, double timeoutMs = 60000);
// A CreateSubscription request, publishing enabled, priority 0.
void writeCreateSubscription(Writer& w, double publishingIntervalMs, uint32_t lifetimeCount,
                             uint32_t keepAliveCount);
// A CreateMonitoredItems request reporting the Value of each node; an item's client handle is
// its index in `nodes`.
struct MonitoringOptions {
    int32_t timestamps = 2;          // both
    double samplingIntervalMs = -1;  // the publishing interval
    uint32_t queueSize = 1;
};
void writeCreateMonitoredItems(Writer& w, uint32_t subscriptionId, const std::vector<NodeId>& nodes,
                               const MonitoringOptions& options = {});
// A Publish request acknowledging the given sequence numbers of one subscription.
void writePublishRequest(Writer& w, uint32_t subscriptionId, const std::vector<uint32_t>& acks);

// The data changes a Publish response carries, by the monitored items' client handles.
struct DataChange {
    uint32_t clientHandle = 0;
    DataValue value;
};
struct PublishedChanges {
    std::vector<DataChange> changes;
    // The notification message to acknowledge with the next Publish; none for a keep-alive.
    std::optional<uint32_t> sequenceToAcknowledge;
};
PublishedChanges parsePublishResponse(const Response& response);

class TcpClient {
public:
    TcpClient() = default;
    ~TcpClient();
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    bool connect(uint16_t port) { return connect("127.0.0.1", port); }
    // Connects to a numeric IPv4 or IPv6 address (or "localhost").
    bool connect(const std::string& address, uint16_t port);
    void close();
    bool sendRaw(const std::vector<uint8_t>& bytes);
    // Reads one complete chunk (header and body); nullopt on close or after the deadline.
    std::optional<std::vector<uint8_t>> readChunk(
        std::chrono::milliseconds deadline = std::chrono::seconds(5));
    // True when the server closed the connection before the deadline.
    bool waitClosed(std::chrono::milliseconds deadline = std::chrono::seconds(5));

    // Hello with the given buffer sizes; returns the acknowledge.
    std::optional<Acknowledge> hello(uint32_t receiveBuffer = 65536, uint32_t sendBuffer = 65536,
                                     uint32_t maxMessage = 0, uint32_t maxChunks = 0);
    // Opens (or renews) the secure channel; returns the token id, 0 on failure.
    uint32_t open(uint32_t lifetimeMs = 600000, bool renew = false);
    // Sends a message body in as many chunks as the limits need; returns the request id.
    uint32_t send(const std::vector<uint8_t>& body, uint32_t chunkBody = 0);
    // Receives the next complete response message (assembling chunks).
    std::optional<Response> receive(std::chrono::milliseconds deadline = std::chrono::seconds(5));
    std::optional<Response> call(const std::vector<uint8_t>& body)
    {
        send(body);
        return receive();
    }

    // CreateSession and ActivateSession; returns the authentication token.
    std::optional<NodeId> session();

    uint32_t channelId = 0;
    uint32_t tokenId = 0;
    uint32_t sequence = 1;
    uint32_t nextRequestId = 1;
    uint32_t sendBuffer = 65536;
    std::vector<uint32_t> receivedSequences;
    StatusCode lastError = status::Good;  // from an ERR message
    // When set, connect() binds this local IPv4 address first (e.g. 127.0.0.2: another client host).
    std::string sourceAddress;

private:
    int fd_ = -1;
    std::vector<uint8_t> in_;
};

}  // namespace orva::opcua
