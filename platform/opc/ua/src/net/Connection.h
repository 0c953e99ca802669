#pragma once
// One TCP connection of the endpoint: its socket and buffers, the Hello / Acknowledge handshake
// with the limits both sides agreed, and the secure channel it carries (made by the Hello, owned
// here). The server's network thread owns every connection.

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "net/SecureChannel.h"
#include "opcua/Limits.h"
#include "opcua/Transport.h"

namespace orva::opcua {

struct Connection {
    using Clock = std::chrono::steady_clock;

    int fd = -1;
    std::vector<uint8_t> in;
    std::vector<uint8_t> out;
    size_t outPos = 0;
    bool helloDone = false;
    ChunkLimits peer;                // what the client accepts
    uint32_t receiveBufferSize = 0;  // largest chunk the client may send, as acknowledged
    std::string endpointUrl;         // the URL the client said it connected to in its Hello
    std::string peerAddress;         // the client's address, without port
    std::unique_ptr<SecureChannel> channel;
    Clock::time_point openDeadline;  // Hello and OpenSecureChannel must come before it
    bool closing = false;
    Clock::time_point closeDeadline;

    explicit Connection(int socket) : fd(socket), peerAddress(peerAddressOf(socket)) {}
    static std::string peerAddressOf(int socket);
    ~Connection();  // closes the socket
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    uint32_t channelId() const { return channel ? channel->id() : 0; }

    // Answers a Hello with an Acknowledge (queued in out) and makes the secure channel. Returns
    // the status that ends the connection when the Hello is bad, and why.
    StatusCode hello(std::span<const uint8_t> chunk, const ServerLimits& limits,
                     const ServerSecurity* security, std::string& reason);

    enum class Flush { Done, Pending, Failed };
    // Sends what the socket takes now.
    Flush flush();
    // Queues an ERR message; the connection closes once it is sent or the flush time is over.
    void queueError(StatusCode error, const std::string& reason);
};

}  // namespace orva::opcua
